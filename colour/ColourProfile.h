// An ICC colour profile opened with Little CMS: one embedded in a picture, the display's, or
// Little CMS's built-in sRGB (what a picture without a profile, and a display without one,
// are taken to be).
#pragma once

#include <cstdint>
#include <memory>
#include <span>
#include <stdexcept>
#include <vector>

namespace tessaly {

// The profile's bytes are not one Little CMS can convert with; what() says why.
class BrokenProfile : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

class ColourProfile {
public:
    // What the profile's device values are.
    enum class Space { Rgb, Grey, Other };

    // The most elements a conversion table may chain (real profiles have up to about five):
    // linking goes through all of them for every colour it samples.
    static constexpr std::uint32_t kMaxTableElements = 64;

    static ColourProfile Srgb();
    // Opens the bytes; throws BrokenProfile when they are cut off (the profile declares more
    // bytes than it has, or a tag reaches beyond it), when Little CMS cannot read the header
    // or the tag table, when it is not a profile of a device's colours (a device link, an
    // abstract or a named-colour profile), or when a conversion table chains more than
    // kMaxTableElements elements. Its tables are read when a transform is linked, not here.
    static ColourProfile FromIcc(std::span<const std::uint8_t> bytes);

    // The bytes it was opened from; empty for the built-in sRGB.
    const std::vector<std::uint8_t>& Bytes() const;
    bool IsBuiltInSrgb() const { return Bytes().empty(); }
    Space ColourSpace() const;

private:
    friend class ColourTransform;
    // The opened profile (an lcms cmsHPROFILE).
    void* Handle() const;

    struct Opened;
    explicit ColourProfile(std::shared_ptr<const Opened> opened) : opened_(std::move(opened)) {}

    // Shared by copies: the profile is never changed once opened.
    std::shared_ptr<const Opened> opened_;
};

} // namespace tessaly
