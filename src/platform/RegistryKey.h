#pragma once
// Ownership of an open registry key: closed exactly once, when its owner goes.
#include <utility>

#include <windows.h>

namespace kesti::platform {

class RegistryKey {
public:
    RegistryKey() = default;
    explicit RegistryKey(HKEY key) noexcept : key_(key) {}
    ~RegistryKey() { Reset(); }
    RegistryKey(RegistryKey&& other) noexcept : key_(std::exchange(other.key_, nullptr)) {}
    RegistryKey& operator=(RegistryKey&& other) noexcept {
        if (this != &other) {
            Reset();
            key_ = std::exchange(other.key_, nullptr);
        }
        return *this;
    }
    RegistryKey(const RegistryKey&) = delete;
    RegistryKey& operator=(const RegistryKey&) = delete;

    // Opens root\path for the access asked; an empty owner when the key cannot be opened.
    static RegistryKey Open(HKEY root, const char* path, REGSAM access) noexcept {
        HKEY key = nullptr;
        return RegOpenKeyExA(root, path, 0, access, &key) == ERROR_SUCCESS ? RegistryKey(key) : RegistryKey();
    }
    // Opens root\path, creating what is missing; an empty owner on failure.
    static RegistryKey Create(HKEY root, const char* path, REGSAM access = KEY_ALL_ACCESS) noexcept {
        HKEY key = nullptr;
        return RegCreateKeyExA(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr) == ERROR_SUCCESS
                   ? RegistryKey(key)
                   : RegistryKey();
    }
    static RegistryKey Create(HKEY root, const wchar_t* path, REGSAM access = KEY_ALL_ACCESS) noexcept {
        HKEY key = nullptr;
        return RegCreateKeyExW(root, path, 0, nullptr, 0, access, nullptr, &key, nullptr) == ERROR_SUCCESS
                   ? RegistryKey(key)
                   : RegistryKey();
    }

    HKEY Get() const noexcept { return key_; }
    HKEY* Put() noexcept {
        Reset();
        return &key_;
    }
    explicit operator bool() const noexcept { return key_ != nullptr; }
    void Reset() noexcept {
        if (key_ != nullptr) RegCloseKey(key_);
        key_ = nullptr;
    }

private:
    HKEY key_ = nullptr;
};

} // namespace kesti::platform
