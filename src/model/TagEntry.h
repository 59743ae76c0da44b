#pragma once
// One requested tag and its column in the host's rows.
#include <cstdint>

namespace kesti {

class Tag;

struct TagEntry {
    Tag* tag;
    std::uint64_t column;
};

} // namespace kesti
