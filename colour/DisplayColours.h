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
// from any thread (a mutex guards the cache, and is never held while a transform is linked),
// and the transforms handed out are immutable and may be applied from any thread.
//
// Linking is bounded: a profile whose tables chain too many elements is refused before it is
// linked (ColourProfile), and a profile whose link took at least the link bound of the
// linking thread's CPU time (kLinkCpuBound unless the owner sets another) is not used for the
// rest of the run, whatever the cache keeps: it is then answered at once with the reason.
// A window does not wait for a link: ForPictureSoon and SetDisplayProfileSoon hand it to the
// colours' own worker thread, which says when it is done.
#pragma once

#include "colour/ColourProfile.h"
#include "colour/ColourTransform.h"
#include "jpeg/JpegHeader.h"

#include <chrono>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <set>
#include <span>
#include <string>
#include <thread>
#include <vector>

namespace tessaly {

// What a picture's decoded pixels are: colour, grey (three equal bytes) or CMYK (converted to
// RGB by the decoder without a profile).
enum class PixelKind { Rgb, Grey, Cmyk };

PixelKind PixelKindOf(const JpegInfo& header);

// The profile that goes with copies of a picture's decoded pixels when they leave the
// program (a saved or extracted JPEG, the clipboard): a colour picture's embedded profile,
// its bytes unchanged, when it is one the picture is shown with (an RGB profile that opens
// and is not refused: not a grey, CMYK, cut-off or too costly one); none for a grey or CMYK
// picture, whose decoded RGB pixels it does not describe.
std::vector<std::uint8_t> ProfileOfCopies(const JpegInfo& header);

// What a picture's pixels need before they are shown.
struct ColourConversion {
    // Null when the pixels are shown as decoded.
    std::shared_ptr<const ColourTransform> transform;
    // Why the picture's embedded profile is not used; empty when it is, or when it has none.
    std::string problem;

    bool Needed() const { return transform != nullptr; }
    // The picture's embedded profile is not used (refused, given up, or a CMYK picture's):
    // its copies leave without it.
    bool ProfileUnused() const { return transform == nullptr && !problem.empty(); }
};

class DisplayColours {
public:
    static constexpr std::size_t kCachedPairs = 8;
    // The CPU time a link may take before its profile is given up.
    static constexpr std::chrono::milliseconds kLinkCpuBound{250};

    // The display's ICC profile (the bytes the X server publishes); empty for none, which is
    // sRGB. A profile that cannot be used counts as none, and DisplayProblem() says why. A
    // link (the display's check included) that takes `linkCpuBound` or more of CPU time gives
    // its profile up; 0 gives up every profile that must be linked.
    explicit DisplayColours(std::span<const std::uint8_t> displayProfile = {},
                            std::chrono::milliseconds linkCpuBound = kLinkCpuBound);
    // Waits for the work handed to the worker.
    ~DisplayColours();
    DisplayColours(const DisplayColours&) = delete;
    DisplayColours& operator=(const DisplayColours&) = delete;

    // Replaces the display's profile (as above); the kept transforms go with the old one.
    void SetDisplayProfile(std::span<const std::uint8_t> displayProfile);
    // The same on the worker: until it is done the display stays as it was. Then the display
    // listeners are called, and `done` with DisplayProblem(), on the worker.
    void SetDisplayProfileSoon(std::vector<std::uint8_t> displayProfile,
                               std::function<void(const std::string& problem)> done);
    std::string DisplayProblem() const;

    // Calls `changed` on the worker each time the display's profile has been replaced (the
    // conversions handed out before are then for the old one). Removing waits for a call
    // under way, so that the listener's owner may go once it has returned.
    std::uint64_t AddDisplayListener(std::function<void()> changed);
    void RemoveDisplayListener(std::uint64_t id);

    // The conversion for a picture of `kind` whose embedded profile is `pictureProfile`
    // (empty: none). A CMYK picture's profile describes its inks, which the decoder has
    // already turned into RGB without it: it is not used (the problem says so) and the pixels
    // are taken as sRGB.
    ColourConversion ForPicture(std::span<const std::uint8_t> pictureProfile, PixelKind kind);
    // The same for a file's header: its profile and kind, or the reason the header read
    // refused the profile (the pixels then shown as decoded).
    ColourConversion ForPicture(const JpegInfo& header);
    // The conversion for the header when it needs no link or is kept already; otherwise
    // nullopt, and it is made on the worker, which calls `ready` with it there.
    std::optional<ColourConversion>
    ForPictureSoon(const JpegInfo& header, std::function<void(const ColourConversion&)> ready);

private:
    struct Cached {
        std::vector<std::uint8_t> pictureProfile;
        PixelKind kind;
        ColourConversion conversion;
    };

    // The kept conversion, or one that needs no link; nullopt when one must be made. Called
    // with the mutex held.
    std::optional<ColourConversion> Known(std::span<const std::uint8_t>& pictureProfile,
                                          PixelKind kind, std::string& problem);
    // Links without the mutex: the display profile as it was when asked.
    ColourConversion Make(std::span<const std::uint8_t> pictureProfile, PixelKind kind,
                          const ColourProfile& display);
    void Post(std::function<void()> job);
    void Work();
    // Why a profile whose link reached the bound is not used.
    std::string TooCostlyReason() const;

    const std::chrono::milliseconds linkCpuBound_;
    mutable std::mutex mutex_;
    ColourProfile display_;
    std::string displayProblem_;
    std::uint64_t displayGeneration_ = 0;
    std::list<Cached> cache_;                    // most recently used first
    std::set<std::vector<std::uint8_t>> costly_; // profiles whose link took too long

    std::mutex listenersMutex_; // held while listeners are called
    std::list<std::pair<std::uint64_t, std::function<void()>>> listeners_;
    std::uint64_t nextListener_ = 1;

    std::mutex jobsMutex_;
    std::condition_variable jobsChanged_;
    std::deque<std::function<void()>> jobs_;
    bool stopping_ = false;
    std::thread worker_; // last: started once everything it uses is made
};

} // namespace tessaly
