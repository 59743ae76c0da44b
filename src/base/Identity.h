#pragma once
#include <string>

namespace kesti {

// "OpcHDAKesti (<build date> <build time>)", as the compiler's __DATE__ and __TIME__ give them.
const std::string& IdentityText();

} // namespace kesti
