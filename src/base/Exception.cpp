#include "base/Exception.h"

namespace kesti {

Exception::Exception(std::string message) : message_(std::move(message)) {}

Exception::~Exception() = default;

InvalidArgument::~InvalidArgument() = default;

} // namespace kesti
