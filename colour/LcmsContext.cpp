#include "colour/LcmsContext.h"

#include <cstring>
#include <new>

namespace tessaly::colour_detail {

LcmsContext::LcmsContext() : context_(cmsCreateContext(nullptr, this)) {
    if (context_ == nullptr)
        throw std::bad_alloc();
    cmsSetLogErrorHandlerTHR(context_, &LcmsContext::OnError);
}

LcmsContext::~LcmsContext() {
    cmsDeleteContext(context_);
}

// Called by lcms, from C: copies the text and nothing that could throw.
void LcmsContext::OnError(cmsContext context, cmsUInt32Number, const char* text) {
    auto* self = static_cast<LcmsContext*>(cmsGetContextUserData(context));
    if (self == nullptr || text == nullptr)
        return;
    std::strncpy(self->lastError_, text, sizeof self->lastError_ - 1);
    self->lastError_[sizeof self->lastError_ - 1] = '\0';
}

} // namespace tessaly::colour_detail
