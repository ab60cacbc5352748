// A Little CMS context of one profile or transform: lcms's objects made in it share nothing
// with other threads' (no global state), and the context keeps lcms's last error text, which
// says why a profile is refused.
#pragma once

#include <lcms2.h>
#include <string>

namespace tessaly::colour_detail {

class LcmsContext {
public:
    LcmsContext();
    ~LcmsContext();
    LcmsContext(const LcmsContext&) = delete;
    LcmsContext& operator=(const LcmsContext&) = delete;

    cmsContext Get() const { return context_; }
    // lcms's last error message in this context; empty when there was none.
    std::string LastError() const { return lastError_; }

private:
    static void OnError(cmsContext context, cmsUInt32Number code, const char* text);

    cmsContext context_;
    char lastError_[256] = {};
};

} // namespace tessaly::colour_detail
