#include "jpeg/JpegErrorManager.h"

#include <cstring>

namespace tessaly::jpeg_detail {
namespace {

extern "C" void OnFatalError(j_common_ptr cinfo) {
    auto* err = reinterpret_cast<ErrorManager*>(cinfo->err);
    (*cinfo->err->format_message)(cinfo, err->message);
    std::longjmp(err->jump, 1);
}

// Warnings (level -1) are counted; trace messages (level >= 0) are dropped.
extern "C" void OnMessage(j_common_ptr cinfo, int level) {
    if (level < 0)
        ++reinterpret_cast<ErrorManager*>(cinfo->err)->warnings;
}

extern "C" void OnOutputMessage(j_common_ptr) {}

} // namespace

jpeg_error_mgr* InstallErrorManager(ErrorManager& err) {
    std::memset(&err, 0, sizeof err);
    jpeg_std_error(&err.pub);
    err.pub.error_exit = OnFatalError;
    err.pub.emit_message = OnMessage;
    err.pub.output_message = OnOutputMessage;
    return &err.pub;
}

} // namespace tessaly::jpeg_detail
