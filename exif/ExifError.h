// The error a read of EXIF data raises to its caller.
#pragma once

#include <stdexcept>

namespace tessaly {

// The EXIF block was found but cannot be walked: it ends before its byte-order mark, or a
// version text that must be hexadecimal is not. Properties read until then keep their values.
class ExifReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

} // namespace tessaly
