#pragma once
// Ownership of a block from LocalAlloc, such as the buffer FormatMessage allocates.
#include <windows.h>

#include "platform/UniqueResource.h"

namespace kesti::platform {

namespace detail {
template <class T>
void FreeLocal(T* block) noexcept {
    LocalFree(block);
}
} // namespace detail

template <class T>
using UniqueLocalMem = UniqueResource<NullableTraits<T*, &detail::FreeLocal<T>>>;

} // namespace kesti::platform
