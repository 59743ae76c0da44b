#pragma once
// A heap byte string behind a StringHandle.
#include <string>

namespace kesti {

struct BoundaryString {
    std::string bytes;
};

} // namespace kesti
