#pragma once
// Ownership of what COM hands out: task-memory blocks and arrays, BSTRs and VARIANTs. Each
// owner frees exactly once, can be moved, and gives an output slot (Put) for the call that
// fills it. Nothing outside this folder calls CoTaskMemFree, SysFreeString or VariantClear.
#include <cstddef>
#include <cstring>
#include <utility>

#include <objbase.h>
#include <oleauto.h>

namespace kesti::platform {

// How an element of a task-memory array lets go of what it points to before the array goes.
// Plain values (HRESULT, OPCHANDLE, FILETIME, GUID, DWORD) own nothing.
template <class T>
struct TaskMemElement {
    static void Clear(T&) noexcept {}
};
template <>
struct TaskMemElement<wchar_t*> {
    static void Clear(wchar_t*& text) noexcept {
        CoTaskMemFree(text);
        text = nullptr;
    }
};
template <>
struct TaskMemElement<VARIANT> {
    static void Clear(VARIANT& value) noexcept { VariantClear(&value); }
};

// A block from CoTaskMemAlloc (or returned by a COM call), freed with CoTaskMemFree.
template <class T>
class UniqueCoTaskMem {
public:
    UniqueCoTaskMem() = default;
    explicit UniqueCoTaskMem(T* block) noexcept : block_(block) {}
    ~UniqueCoTaskMem() { Reset(); }
    UniqueCoTaskMem(UniqueCoTaskMem&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    UniqueCoTaskMem& operator=(UniqueCoTaskMem&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.block_, nullptr));
        return *this;
    }
    UniqueCoTaskMem(const UniqueCoTaskMem&) = delete;
    UniqueCoTaskMem& operator=(const UniqueCoTaskMem&) = delete;

    T* Get() const noexcept { return block_; }
    T& operator[](std::size_t i) const noexcept { return block_[i]; }
    explicit operator bool() const noexcept { return block_ != nullptr; }
    // For an output parameter: frees what is held and gives the slot to fill.
    T** Put() noexcept {
        Reset();
        return &block_;
    }
    T* Release() noexcept { return std::exchange(block_, nullptr); }
    void Reset(T* block = nullptr) noexcept {
        CoTaskMemFree(block_);
        block_ = block;
    }

private:
    T* block_ = nullptr;
};

// A task-memory string, such as an item id or a browse position that a server returns.
using UniqueCoTaskMemString = UniqueCoTaskMem<wchar_t>;

// A copy of the text in task memory, for [in, out] strings that the callee may free; null
// when memory is exhausted.
wchar_t* CopyToCoTaskMem(const wchar_t* text) noexcept;

// An array from task memory whose elements are cleared (TaskMemElement<T>) before the block
// is freed. The count is the number of elements the call filled.
template <class T>
class UniqueCoTaskMemArray {
public:
    UniqueCoTaskMemArray() = default;
    UniqueCoTaskMemArray(T* block, std::size_t count) noexcept : block_(block), count_(block ? count : 0) {}
    ~UniqueCoTaskMemArray() { Reset(); }
    UniqueCoTaskMemArray(UniqueCoTaskMemArray&& other) noexcept
        : block_(std::exchange(other.block_, nullptr)), count_(std::exchange(other.count_, 0)) {}
    UniqueCoTaskMemArray& operator=(UniqueCoTaskMemArray&& other) noexcept {
        if (this != &other) {
            Reset();
            block_ = std::exchange(other.block_, nullptr);
            count_ = std::exchange(other.count_, 0);
        }
        return *this;
    }
    UniqueCoTaskMemArray(const UniqueCoTaskMemArray&) = delete;
    UniqueCoTaskMemArray& operator=(const UniqueCoTaskMemArray&) = delete;

    // For an output parameter whose count the caller knows: frees what is held, and the
    // array will hold count elements once the call has filled the slot.
    T** Put(std::size_t count) noexcept {
        Reset();
        count_ = count;
        return &block_;
    }
    // For a call that reports its count itself: set it afterwards with SetCount.
    T** Put() noexcept { return Put(0); }
    void SetCount(std::size_t count) noexcept { count_ = count; }

    T* Get() const noexcept { return block_; }
    std::size_t Count() const noexcept { return block_ ? count_ : 0; }
    T& operator[](std::size_t i) const noexcept { return block_[i]; }
    T* begin() const noexcept { return block_; }
    T* end() const noexcept { return block_ + Count(); }
    explicit operator bool() const noexcept { return block_ != nullptr; }

    void Reset() noexcept {
        for (std::size_t i = 0; block_ != nullptr && i < count_; ++i) TaskMemElement<T>::Clear(block_[i]);
        CoTaskMemFree(block_);
        block_ = nullptr;
        count_ = 0;
    }

private:
    T* block_ = nullptr;
    std::size_t count_ = 0;
};

// The strings that a call such as IEnumString::Next writes into the caller's array of N;
// the fetched ones are freed with the batch.
template <std::size_t N>
class TaskMemStringBatch {
public:
    TaskMemStringBatch() = default;
    ~TaskMemStringBatch() {
        for (std::size_t i = 0; i < fetched_ && i < N; ++i) CoTaskMemFree(names_[i]);
    }
    TaskMemStringBatch(const TaskMemStringBatch&) = delete;
    TaskMemStringBatch& operator=(const TaskMemStringBatch&) = delete;

    static constexpr ULONG Capacity() noexcept { return static_cast<ULONG>(N); }
    wchar_t** Names() noexcept { return names_; }
    ULONG* Fetched() noexcept { return &fetched_; }
    // The number fetched, never more than the array holds.
    ULONG Count() const noexcept { return fetched_ < N ? fetched_ : static_cast<ULONG>(N); }
    const wchar_t* operator[](std::size_t i) const noexcept { return names_[i]; }

private:
    wchar_t* names_[N] = {};
    ULONG fetched_ = 0;
};

class UniqueBstr {
public:
    UniqueBstr() = default;
    explicit UniqueBstr(const wchar_t* text) : bstr_(SysAllocString(text)) {}
    ~UniqueBstr() { Reset(); }
    UniqueBstr(UniqueBstr&& other) noexcept : bstr_(std::exchange(other.bstr_, nullptr)) {}
    UniqueBstr& operator=(UniqueBstr&& other) noexcept {
        if (this != &other) Reset(std::exchange(other.bstr_, nullptr));
        return *this;
    }
    UniqueBstr(const UniqueBstr&) = delete;
    UniqueBstr& operator=(const UniqueBstr&) = delete;

    BSTR Get() const noexcept { return bstr_; }
    BSTR* Put() noexcept {
        Reset();
        return &bstr_;
    }
    BSTR Release() noexcept { return std::exchange(bstr_, nullptr); }
    void Reset(BSTR bstr = nullptr) noexcept {
        SysFreeString(bstr_);
        bstr_ = bstr;
    }

private:
    BSTR bstr_ = nullptr;
};

// A VARIANT cleared with VariantClear when its owner goes. Moving takes the value over
// without a copy and leaves the source empty.
class UniqueVariant {
public:
    UniqueVariant() noexcept { VariantInit(&value_); }
    ~UniqueVariant() { VariantClear(&value_); }
    UniqueVariant(UniqueVariant&& other) noexcept : UniqueVariant() { Adopt(other.value_); }
    UniqueVariant& operator=(UniqueVariant&& other) noexcept {
        if (this != &other) Adopt(other.value_);
        return *this;
    }
    UniqueVariant(const UniqueVariant&) = delete;
    UniqueVariant& operator=(const UniqueVariant&) = delete;

    // Takes over a VARIANT that COM handed out, leaving VT_EMPTY in its place.
    static UniqueVariant TakeFrom(VARIANT& value) noexcept {
        UniqueVariant owner;
        owner.Adopt(value);
        return owner;
    }

    VARIANT* Get() noexcept { return &value_; }
    const VARIANT* Get() const noexcept { return &value_; }
    const VARIANT& operator*() const noexcept { return value_; }
    // Clears what is held and gives the VARIANT to fill.
    VARIANT* Put() noexcept {
        Clear();
        return &value_;
    }
    void Clear() noexcept { VariantClear(&value_); }

private:
    void Adopt(VARIANT& value) noexcept {
        VariantClear(&value_);
        std::memcpy(&value_, &value, sizeof value_);
        VariantInit(&value);
    }

    VARIANT value_;
};

} // namespace kesti::platform
