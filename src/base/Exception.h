#pragma once
// The plug-in's own exception type: a message. It deliberately has no standard-library base,
// so the exports' guards can tell it apart; ComError adds the result code and the call.
#include <string>

namespace kesti {

class Exception {
public:
    explicit Exception(std::string message);
    virtual ~Exception();

    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;

    const std::string& Message() const { return message_; }

private:
    std::string message_;
};

class InvalidArgument : public Exception {
public:
    using Exception::Exception;
    ~InvalidArgument() override;
};

} // namespace kesti
