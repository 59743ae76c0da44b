#pragma once
// The host's tag array, checked and copied.
#include <cstdint>
#include <vector>

#include "interface/Handles.h"

namespace kesti {

// True when every one of the count handles is non-null.
inline bool AllTagsPresent(const TagHandle* tags, std::uint32_t count) {
    for (std::uint32_t i = 0; i < count; ++i)
        if (tags[i] == nullptr) return false;
    return true;
}

inline std::vector<Tag*> TagList(const TagHandle* tags, std::uint32_t count) {
    std::vector<Tag*> list;
    list.reserve(count);
    for (std::uint32_t i = 0; i < count; ++i) list.push_back(FromHandle(tags[i]));
    return list;
}

// The current time as the boundary carries it: seconds since 1970, low 32 bits.
std::uint32_t CurrentBoundaryTime();

} // namespace kesti
