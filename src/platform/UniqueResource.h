#pragma once
// One owner for every kind of system resource: a value freed exactly once, by its traits'
// Close, when the owner goes. Movable, never copied; Put gives the slot of an output
// parameter. The traits name the value's Type, its Invalid value and IsValid.
#include <utility>

namespace kesti::platform {

template <class Traits>
class UniqueResource {
public:
    using Type = typename Traits::Type;

    UniqueResource() noexcept = default;
    explicit UniqueResource(Type value) noexcept : value_(value) {}
    ~UniqueResource() { Reset(); }
    UniqueResource(UniqueResource&& other) noexcept : value_(other.Release()) {}
    UniqueResource& operator=(UniqueResource&& other) noexcept {
        if (this != &other) Reset(other.Release());
        return *this;
    }
    UniqueResource(const UniqueResource&) = delete;
    UniqueResource& operator=(const UniqueResource&) = delete;

    Type Get() const noexcept { return value_; }
    bool IsValid() const noexcept { return Traits::IsValid(value_); }
    explicit operator bool() const noexcept { return IsValid(); }
    // For an output parameter: frees what is held and gives the slot to fill.
    Type* Put() noexcept {
        Reset();
        return &value_;
    }
    Type Release() noexcept { return std::exchange(value_, Traits::Invalid()); }
    void Reset(Type value = Traits::Invalid()) noexcept {
        if (IsValid()) Traits::Close(value_);
        value_ = value;
    }

private:
    Type value_ = Traits::Invalid();
};

// Traits for a resource whose only invalid value is null.
template <class T, void (*CloseFunction)(T) noexcept>
struct NullableTraits {
    using Type = T;
    static constexpr Type Invalid() noexcept { return nullptr; }
    static bool IsValid(Type value) noexcept { return value != nullptr; }
    static void Close(Type value) noexcept { CloseFunction(value); }
};

} // namespace kesti::platform
