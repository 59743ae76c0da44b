#pragma once
// The host's value vectors: fixed-length lists whose elements are missing, a byte string or a
// 32-bit float. A vector is the row of a value table and crosses the boundary as it is.
#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <variant>
#include <vector>

namespace kesti {

// The type codes the host sees; string is 1 and float is 2.
enum class ValueType : std::uint32_t { Null = 0, String = 1, Float = 2 };

// A string element kept behind one pointer, so that an element stays 16 bytes and floats
// never allocate; copies are deep, as every element is held by value.
class TextValue {
public:
    explicit TextValue(std::string text) : text_(std::make_unique<std::string>(std::move(text))) {}
    TextValue(const TextValue& other) : text_(std::make_unique<std::string>(*other.text_)) {}
    TextValue(TextValue&&) noexcept = default;
    TextValue& operator=(const TextValue& other) {
        text_ = std::make_unique<std::string>(*other.text_);
        return *this;
    }
    TextValue& operator=(TextValue&&) noexcept = default;
    const std::string& Text() const { return *text_; }

private:
    std::unique_ptr<std::string> text_;
};

using ValueElement = std::variant<std::monostate, TextValue, float>;

class ValueVector {
public:
    explicit ValueVector(std::size_t length) : elements_(length) {}

    std::size_t Length() const { return elements_.size(); }
    bool IsValidIndex(std::size_t index) const { return index < elements_.size(); }

    ValueType TypeAt(std::size_t index) const;
    // The element's float or text; null when the element holds the other kind or nothing.
    const float* FloatAt(std::size_t index) const { return std::get_if<float>(&elements_[index]); }
    const std::string* StringAt(std::size_t index) const;

    void SetNull(std::size_t index) { elements_[index] = std::monostate{}; }
    void SetFloat(std::size_t index, float value) { elements_[index] = value; }
    void SetString(std::size_t index, std::string text) { elements_[index] = TextValue(std::move(text)); }

    const ValueElement& At(std::size_t index) const { return elements_[index]; }
    void Set(std::size_t index, ValueElement element) { elements_[index] = std::move(element); }

private:
    std::vector<ValueElement> elements_;
};

} // namespace kesti
