#pragma once
// Ownership of an open registry key: closed exactly once, when its owner goes.
#include <windows.h>

#include "platform/UniqueResource.h"

namespace kesti::platform {

namespace detail {
inline void CloseKey(HKEY key) noexcept { RegCloseKey(key); }
} // namespace detail

class RegistryKey : public UniqueResource<NullableTraits<HKEY, &detail::CloseKey>> {
public:
    using UniqueResource::UniqueResource;

    // Opens root\path for the access asked; an empty owner when the key cannot be opened.
    static RegistryKey Open(HKEY root, const char* path, REGSAM access) noexcept {
        RegistryKey key;
        if (RegOpenKeyExA(root, path, 0, access, key.Put()) != ERROR_SUCCESS) key.Release();
        return key;
    }
    // Opens root\path, creating what is missing; an empty owner on failure.
    static RegistryKey Create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS) noexcept {
        RegistryKey key;
        if (RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
            key.Release();
        return key;
    }
    static RegistryKey Create(HKEY root, const wchar_t* path, REGSAM access = KEY_ALL_ACCESS) noexcept {
        RegistryKey key;
        if (RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, key.Put(), nullptr) != ERROR_SUCCESS)
            key.Release();
        return key;
    }
};

} // namespace kesti::platform
