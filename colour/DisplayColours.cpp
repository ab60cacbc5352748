#include "colour/DisplayColours.h"

#include <algorithm>

namespace tessaly {

namespace {

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

} // namespace

PixelKind PixelKindOf(const JpegInfo& header) {
    if (header.cmyk)
        return PixelKind::Cmyk;
    return header.grayscale ? PixelKind::Grey : PixelKind::Rgb;
}

std::vector<std::uint8_t> ProfileOfCopies(const JpegInfo& header) {
    if (PixelKindOf(header) != PixelKind::Rgb)
        return {};
    return header.iccProfile;
}

DisplayColours::DisplayColours(std::span<const std::uint8_t> displayProfile)
    : display_(ColourProfile::Srgb()) {
    SetDisplayProfile(displayProfile);
}

void DisplayColours::SetDisplayProfile(std::span<const std::uint8_t> displayProfile) {
    ColourProfile display = ColourProfile::Srgb();
    std::string problem;
    if (!displayProfile.empty()) {
        try {
            ColourProfile opened = ColourProfile::FromIcc(displayProfile);
            ColourTransform check(ColourProfile::Srgb(), opened); // it must take sRGB pictures
            display = std::move(opened);
        } catch (const BrokenProfile& e) {
            problem = std::string("the display's colour profile is not used: ") + e.what();
        }
    }
    const std::lock_guard lock(mutex_);
    display_ = std::move(display);
    displayProblem_ = std::move(problem);
    cache_.clear();
}

std::string DisplayColours::DisplayProblem() const {
    const std::lock_guard lock(mutex_);
    return displayProblem_;
}

ColourConversion DisplayColours::ForPicture(std::span<const std::uint8_t> pictureProfile,
                                            PixelKind kind) {
    const std::lock_guard lock(mutex_);
    const auto hit = std::find_if(cache_.begin(), cache_.end(), [&](const Cached& c) {
        return c.kind == kind && SameBytes(c.pictureProfile, pictureProfile);
    });
    if (hit != cache_.end()) {
        cache_.splice(cache_.begin(), cache_, hit);
        return hit->conversion;
    }
    cache_.push_front(
        {{pictureProfile.begin(), pictureProfile.end()}, kind, Make(pictureProfile, kind)});
    if (cache_.size() > kCachedPairs)
        cache_.pop_back();
    return cache_.front().conversion;
}

ColourConversion DisplayColours::ForPicture(const JpegInfo& header) {
    if (!header.iccProblem.empty())
        return {nullptr, header.iccProblem};
    return ForPicture(header.iccProfile, PixelKindOf(header));
}

// Called with the mutex held.
ColourConversion DisplayColours::Make(std::span<const std::uint8_t> pictureProfile,
                                      PixelKind kind) const {
    std::string problem;
    if (kind == PixelKind::Cmyk && !pictureProfile.empty()) {
        problem = "the colour profile of a CMYK picture is not used (its inks are converted "
                  "to RGB without it)";
        pictureProfile = {};
    }
    if (SameBytes(pictureProfile, display_.Bytes()))
        return {nullptr, problem}; // sRGB on sRGB, or the display's own profile
    try {
        const ColourProfile picture =
            pictureProfile.empty() ? ColourProfile::Srgb() : ColourProfile::FromIcc(pictureProfile);
        if (picture.ColourSpace() != ColourProfile::Space::Rgb &&
            !(picture.ColourSpace() == ColourProfile::Space::Grey && kind == PixelKind::Grey))
            throw BrokenProfile(picture.ColourSpace() == ColourProfile::Space::Grey
                                    ? "a grey colour profile on a colour picture"
                                    : "the colour profile is neither RGB nor grey");
        return {std::make_shared<const ColourTransform>(picture, display_), problem};
    } catch (const BrokenProfile& e) {
        return {nullptr, e.what()};
    }
}

} // namespace tessaly
