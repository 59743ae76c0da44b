#pragma once
// Ownership of a kernel handle: closed exactly once, when its owner goes.
#include <windows.h>

#include "platform/UniqueResource.h"

namespace kesti::platform {

struct KernelHandleTraits {
    using Type = HANDLE;
    static Type Invalid() noexcept { return nullptr; }
    // INVALID_HANDLE_VALUE (from CreateFile) and null both mean "no handle".
    static bool IsValid(Type handle) noexcept { return handle != nullptr && handle != INVALID_HANDLE_VALUE; }
    static void Close(Type handle) noexcept { CloseHandle(handle); }
};

using UniqueHandle = UniqueResource<KernelHandleTraits>;

} // namespace kesti::platform
