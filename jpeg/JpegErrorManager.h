// The libjpeg error manager shared by the decoder and the encoder.
//
// libjpeg reports a fatal error through a callback that must not return. Each codec
// function keeps its libjpeg calls in one C-style function: it calls setjmp on `jump`
// before the first libjpeg call, keeps no C++ object with a destructor alive between that
// setjmp and the libjpeg calls, destroys the libjpeg object on every path and only then,
// back in C++ code, turns a failure into an exception. Warnings are counted, not shown.
#pragma once

#include <csetjmp>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <jpeglib.h>

namespace tessaly::jpeg_detail {

struct ErrorManager {
    jpeg_error_mgr pub; // must stay the first member: libjpeg sees only this
    std::jmp_buf jump;  // where a fatal error returns to
    char message[JMSG_LENGTH_MAX];
    int warnings;
    int scanLimitHit; // set by the progress monitor of the decoder
};

// Installs the callbacks into `err` and returns the pointer libjpeg wants in cinfo->err.
jpeg_error_mgr* InstallErrorManager(ErrorManager& err);

} // namespace tessaly::jpeg_detail
