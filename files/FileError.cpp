#include "files/FileError.h"

#include <cstring>

namespace tessaly {

TransferCancelled::TransferCancelled()
    : FileOperationError("コピーを中止しました。ファイルは変更されていません。") {}

std::string ErrorText(int error) {
    char buffer[256];
    // The GNU strerror_r returns the text, which may or may not be in the buffer.
    return ::strerror_r(error, buffer, sizeof buffer);
}

void ThrowFileError(const std::string& what, int error) {
    throw FileOperationError(what + "（" + ErrorText(error) + "）。");
}

} // namespace tessaly
