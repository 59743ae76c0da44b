#pragma once
// Ownership of a block from LocalAlloc, such as the buffer FormatMessage allocates.
#include <utility>

#include <windows.h>

namespace kesti::platform {

template <class T>
class UniqueLocalMem {
public:
    UniqueLocalMem() = default;
    ~UniqueLocalMem() { Reset(); }
    UniqueLocalMem(UniqueLocalMem&& other) noexcept : block_(std::exchange(other.block_, nullptr)) {}
    UniqueLocalMem& operator=(UniqueLocalMem&& other) noexcept {
        if (this != &other) {
            Reset();
            block_ = std::exchange(other.block_, nullptr);
        }
        return *this;
    }
    UniqueLocalMem(const UniqueLocalMem&) = delete;
    UniqueLocalMem& operator=(const UniqueLocalMem&) = delete;

    T* Get() const noexcept { return block_; }
    T** Put() noexcept {
        Reset();
        return &block_;
    }
    explicit operator bool() const noexcept { return block_ != nullptr; }
    void Reset() noexcept {
        if (block_ != nullptr) LocalFree(block_);
        block_ = nullptr;
    }

private:
    T* block_ = nullptr;
};

} // namespace kesti::platform
