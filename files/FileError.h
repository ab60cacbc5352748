// The failure of a step on the user's files, with a message for the user: one or more
// Japanese sentences (UTF-8) saying what was not done and why.
#pragma once

#include <stdexcept>
#include <string>

namespace tessaly {

class FileOperationError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// A cross-folder copy stopped because the caller cancelled it; nothing was changed.
class TransferCancelled : public FileOperationError {
public:
    TransferCancelled();
};

// The system's text for an errno value (in the language of the process's locale).
std::string ErrorText(int error);

// "<what>（<the system's text>）。": a sentence saying what failed and the system's reason.
[[noreturn]] void ThrowFileError(const std::string& what, int error);

} // namespace tessaly
