#pragma once
// Ownership of what COM hands out: task-memory blocks, BSTRs and VARIANTs. Interface
// pointers are held in Microsoft::WRL::ComPtr.
#include <utility>

#include <objbase.h>
#include <oleauto.h>
#include <wrl/client.h>

namespace kesti::platform {

using Microsoft::WRL::ComPtr;

// A block from CoTaskMemAlloc (or returned by a COM call), freed with CoTaskMemFree.
template <class T>
class UniqueCoTaskMem {
public:
    UniqueCoTaskMem() = default;
    explicit UniqueCoTaskMem(T* block) : block_(block) {}
    ~UniqueCoTaskMem() { CoTaskMemFree(block_); }
    UniqueCoTaskMem(UniqueCoTaskMem&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    UniqueCoTaskMem& operator=(UniqueCoTaskMem&& other) noexcept {
        if (this != &other) {
            CoTaskMemFree(block_);
            block_ = std::exchange(other.block_, nullptr);
        }
        return *this;
    }
    UniqueCoTaskMem(const UniqueCoTaskMem&) = delete;
    UniqueCoTaskMem& operator=(const UniqueCoTaskMem&) = delete;

    T* Get() const { return block_; }
    T& operator[](std::size_t i) const { return block_[i]; }
    explicit operator bool() const { return block_ != nullptr; }
    // For an output parameter: frees what is held and gives the slot to fill.
    T** Put() {
        CoTaskMemFree(block_);
        block_ = nullptr;
        return &block_;
    }
    T* Release() { return std::exchange(block_, nullptr); }

private:
    T* block_ = nullptr;
};

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(const wchar_t* text) : bstr_(SysAllocString(text)) {}
    ~UniqueBstr() { SysFreeString(bstr_); }
    UniqueBstr(UniqueBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) {
            SysFreeString(bstr_);
            bstr_ = std::exchange(other.bstr_, nullptr);
        }
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR Get() const { return bstr_; }

private:
    BSTR bstr_ = nullptr;
};

// A VARIANT cleared with VariantClear when its owner goes.
class UniqueVariant {
public:
    UniqueVariant() { VariantInit(&value_); }
    ~UniqueVariant() { VariantClear(&value_); }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    VARIANT* Get() { return &value_; }
    const VARIANT& operator*() const { return value_; }
    void Clear() { VariantClear(&value_); }

private:
    VARIANT value_;
};

} // namespace kesti::platform
