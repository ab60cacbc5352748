// The display's colours and the conversions of pictures to them, for the application to own.
//
// A picture is converted from its embedded profile (none: sRGB) to the display's (none:
// sRGB) only where that changes something: a picture without a profile on a display without
// one, or one whose profile is the display's own, needs no conversion at all and is shown
// byte for byte as decoded. A profile that cannot be used is not fatal: the picture is shown
// unconverted, and the conversion says why, for the error stream.
//
// One Little CMS transform is made per pair of profiles (the display's and a picture's, told
// apart by their bytes) and kept for the pictures that follow: at most 8, the least recently
// used dropped first; a broken profile's reason is kept likewise. Every member may be called
// from any thread (a mutex guards the cache), and the transforms handed out are immutable and
// may be applied from any thread.
#pragma once

#include "colour/ColourProfile.h"
#include "colour/ColourTransform.h"
#include "jpeg/JpegHeader.h"

#include <cstdint>
#include <list>
#include <memory>
#include <mutex>
#include <span>
#include <string>
#include <vector>

namespace tessaly {

// What a picture's decoded pixels are: colour, grey (three equal bytes) or CMYK (converted to
// RGB by the decoder without a profile).
enum class PixelKind { Rgb, Grey, Cmyk };

PixelKind PixelKindOf(const JpegInfo& header);

// The profile that goes with copies of a picture's decoded pixels when they leave the
// program (a saved or extracted JPEG, the clipboard): a colour picture's embedded profile,
// its bytes unchanged; none for a grey or CMYK picture, whose decoded RGB pixels it does not
// describe.
std::vector<std::uint8_t> ProfileOfCopies(const JpegInfo& header);

// What a picture's pixels need before they are shown.
struct ColourConversion {
    // Null when the pixels are shown as decoded.
    std::shared_ptr<const ColourTransform> transform;
    // Why the picture's embedded profile is not used; empty when it is, or when it has none.
    std::string problem;

    bool Needed() const { return transform != nullptr; }
};

class DisplayColours {
public:
    static constexpr std::size_t kCachedPairs = 8;

    // The display's ICC profile (the bytes the X server publishes); empty for none, which is
    // sRGB. A profile that cannot be used counts as none, and DisplayProblem() says why.
    explicit DisplayColours(std::span<const std::uint8_t> displayProfile = {});
    DisplayColours(const DisplayColours&) = delete;
    DisplayColours& operator=(const DisplayColours&) = delete;

    // Replaces the display's profile (as above); the kept transforms go with the old one.
    void SetDisplayProfile(std::span<const std::uint8_t> displayProfile);
    std::string DisplayProblem() const;

    // The conversion for a picture of `kind` whose embedded profile is `pictureProfile`
    // (empty: none). A CMYK picture's profile describes its inks, which the decoder has
    // already turned into RGB without it: it is not used (the problem says so) and the pixels
    // are taken as sRGB.
    ColourConversion ForPicture(std::span<const std::uint8_t> pictureProfile, PixelKind kind);
    // The same for a file's header: its profile and kind, or the reason the header read
    // refused the profile (the pixels then shown as decoded).
    ColourConversion ForPicture(const JpegInfo& header);

private:
    struct Cached {
        std::vector<std::uint8_t> pictureProfile;
        PixelKind kind;
        ColourConversion conversion;
    };

    ColourConversion Make(std::span<const std::uint8_t> pictureProfile, PixelKind kind) const;

    mutable std::mutex mutex_;
    ColourProfile display_;
    std::string displayProblem_;
    std::list<Cached> cache_; // most recently used first
};

} // namespace tessaly
