#include "base/Exception.h"

namespace kesti {

Exception::Exception(std::string message) : message_(std::move(message)) {}

Exception::Exception(std::string message, const Exception& cause)
    : message_(std::move(message)), cause_(cause.Clone()) {}

Exception::~Exception() = default;

std::unique_ptr<Exception> Exception::Clone() const { return std::make_unique<Exception>(*this); }

InvalidArgument::~InvalidArgument() = default;
std::unique_ptr<Exception> InvalidArgument::Clone() const { return std::make_unique<InvalidArgument>(*this); }

std::string ExceptionText(const Exception& exception) {
    std::string text = exception.Message();
    for (const Exception* cause = exception.Cause(); cause != nullptr; cause = cause->Cause()) {
        text += '\n';
        text += cause->Message();
    }
    return text;
}

} // namespace kesti
