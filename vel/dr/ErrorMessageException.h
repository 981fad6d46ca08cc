#pragma once
// Failures of the GLSL program wrapper. The message is the driver's info log,
// preceded by a header naming the shader kind for compilation failures.

#include <exception>
#include <string>
#include <utility>

namespace vel {
namespace dr {

class ErrorMessageException : public std::exception {
public:
    explicit ErrorMessageException(std::string message) : _message(std::move(message)) {}
    ~ErrorMessageException() override = default;
    const char* what() const noexcept override { return _message.c_str(); }

private:
    std::string _message;
};

// The family members add nothing; they let callers tell the stages apart.
class ShaderLoadingException : public ErrorMessageException {
public:
    using ErrorMessageException::ErrorMessageException;
};

class ShaderCompilationException : public ErrorMessageException {
public:
    using ErrorMessageException::ErrorMessageException;
};

class ShaderLinkageException : public ErrorMessageException {
public:
    using ErrorMessageException::ErrorMessageException;
};

}  // namespace dr
}  // namespace vel
