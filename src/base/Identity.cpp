#include "base/Identity.h"

namespace kesti {

const std::string& IdentityText() {
    static const std::string identity = "OpcHDAKesti (" __DATE__ " " __TIME__ ")";
    return identity;
}

} // namespace kesti
