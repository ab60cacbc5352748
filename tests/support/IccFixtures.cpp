#include "tests/support/IccFixtures.h"

#include <algorithm>
#include <cstdint>
#include <lcms2.h>
#include <memory>
#include <stdexcept>

namespace tessaly::fixtures {

namespace {

struct CloseProfile {
    void operator()(void* profile) const { cmsCloseProfile(profile); }
};
struct FreeCurve {
    void operator()(cmsToneCurve* curve) const { cmsFreeToneCurve(curve); }
};

Bytes Saved(cmsHPROFILE made) {
    const std::unique_ptr<void, CloseProfile> profile(made);
    cmsUInt32Number size = 0;
    if (!profile || !cmsSaveProfileToMem(profile.get(), nullptr, &size))
        throw std::runtime_error("Little CMS cannot make the profile");
    Bytes bytes(size);
    if (!cmsSaveProfileToMem(profile.get(), bytes.data(), &size))
        throw std::runtime_error("Little CMS cannot save the profile");
    // Little CMS stamps the header with the time it was made (bytes 24 to 35): a fixed date
    // makes the same profile the same bytes whenever it is made, as the program compares
    // profiles by their bytes.
    constexpr std::size_t kDateOffset = 24;
    constexpr std::size_t kDateBytes = 12;
    if (bytes.size() >= kDateOffset + kDateBytes)
        std::fill_n(bytes.begin() + kDateOffset, kDateBytes, std::uint8_t{0});
    return bytes;
}

Bytes RgbProfile(cmsCIExyY white, cmsCIExyYTRIPLE primaries, double gamma) {
    const std::unique_ptr<cmsToneCurve, FreeCurve> curve(cmsBuildGamma(nullptr, gamma));
    cmsToneCurve* curves[3] = {curve.get(), curve.get(), curve.get()};
    return Saved(cmsCreateRGBProfile(&white, &primaries, curves));
}

constexpr cmsCIExyY kD65{0.3127, 0.3290, 1.0};

} // namespace

Bytes AdobeRgbProfile() {
    return RgbProfile(kD65, {{0.64, 0.33, 1.0}, {0.21, 0.71, 1.0}, {0.15, 0.06, 1.0}},
                      563.0 / 256.0);
}

Bytes SwappedRedGreenProfile() {
    return RgbProfile(kD65, {{0.30, 0.60, 1.0}, {0.64, 0.33, 1.0}, {0.15, 0.06, 1.0}}, 2.2);
}

Bytes GreyProfile() {
    const std::unique_ptr<cmsToneCurve, FreeCurve> curve(cmsBuildGamma(nullptr, 1.8));
    return Saved(cmsCreateGrayProfile(cmsD50_xyY(), curve.get()));
}

Bytes ChainedMatricesProfile(int matrices) {
    cmsHPROFILE profile = cmsCreate_sRGBProfile();
    cmsSetProfileVersion(profile, 4.3);
    cmsPipeline* chain = cmsPipelineAlloc(nullptr, 3, 3);
    constexpr cmsFloat64Number kIdentity[9] = {1, 0, 0, 0, 1, 0, 0, 0, 1};
    for (int i = 0; i < matrices; ++i)
        cmsPipelineInsertStage(chain, cmsAT_BEGIN,
                               cmsStageAllocMatrix(nullptr, 3, 3, kIdentity, nullptr));
    const bool written = cmsWriteTag(profile, cmsSigDToB0Tag, chain) != 0;
    cmsPipelineFree(chain);
    if (!written) {
        cmsCloseProfile(profile);
        throw std::runtime_error("Little CMS cannot write the chain of matrices");
    }
    return Saved(profile);
}

} // namespace tessaly::fixtures
