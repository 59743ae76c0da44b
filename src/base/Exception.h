#pragma once
// The plug-in's own exception type: a message and an optional cause, shared between copies.
// It deliberately has no standard-library base, so the exports' guards can tell it apart.
#include <memory>
#include <string>

namespace kesti {

class Exception {
public:
    explicit Exception(std::string message);
    Exception(std::string message, const Exception& cause);
    virtual ~Exception();

    Exception(const Exception&) = default;
    Exception& operator=(const Exception&) = default;

    // A heap copy of the same dynamic class; causes are stored this way.
    virtual std::unique_ptr<Exception> Clone() const;

    const std::string& Message() const { return message_; }
    const Exception* Cause() const { return cause_.get(); }

private:
    std::string message_;
    std::shared_ptr<const Exception> cause_;
};

class InvalidArgument : public Exception {
public:
    using Exception::Exception;
    ~InvalidArgument() override;
    std::unique_ptr<Exception> Clone() const override;
};

// The message of the exception, then the texts of its causes, one per line, outermost first.
std::string ExceptionText(const Exception& exception);

} // namespace kesti
