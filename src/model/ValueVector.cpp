#include "model/ValueVector.h"

namespace kesti {

// A string is tested first, then a float; anything else reads as missing.
ValueType ValueVector::TypeAt(std::size_t index) const {
    const ValueElement& element = elements_[index];
    if (std::holds_alternative<TextValue>(element)) return ValueType::String;
    if (std::holds_alternative<float>(element)) return ValueType::Float;
    return ValueType::Null;
}

const std::string* ValueVector::StringAt(std::size_t index) const {
    const TextValue* text = std::get_if<TextValue>(&elements_[index]);
    return text != nullptr ? &text->Text() : nullptr;
}

} // namespace kesti
