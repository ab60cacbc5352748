#include "colour/DisplayColours.h"

#include <algorithm>
#include <ctime>
#include <exception>

namespace tessaly {

namespace {

bool SameBytes(std::span<const std::uint8_t> a, std::span<const std::uint8_t> b) {
    return std::equal(a.begin(), a.end(), b.begin(), b.end());
}

// The CPU time the calling thread has used.
std::chrono::nanoseconds ThreadCpuTime() {
    timespec now{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &now);
    return std::chrono::seconds(now.tv_sec) + std::chrono::nanoseconds(now.tv_nsec);
}

} // namespace

PixelKind PixelKindOf(const JpegInfo& header) {
    if (header.cmyk)
        return PixelKind::Cmyk;
    return header.grayscale ? PixelKind::Grey : PixelKind::Rgb;
}

std::vector<std::uint8_t> ProfileOfCopies(const JpegInfo& header) {
    if (PixelKindOf(header) != PixelKind::Rgb || !header.iccProblem.empty() ||
        header.iccProfile.empty())
        return {};
    try {
        if (ColourProfile::FromIcc(header.iccProfile).ColourSpace() != ColourProfile::Space::Rgb)
            return {};
    } catch (const BrokenProfile&) {
        return {};
    }
    return header.iccProfile;
}

DisplayColours::DisplayColours(std::span<const std::uint8_t> displayProfile,
                               std::chrono::milliseconds linkCpuBound)
    : linkCpuBound_(linkCpuBound), display_(ColourProfile::Srgb()) {
    SetDisplayProfile(displayProfile);
}

DisplayColours::~DisplayColours() {
    {
        const std::lock_guard lock(jobsMutex_);
        stopping_ = true;
    }
    jobsChanged_.notify_all();
    if (worker_.joinable())
        worker_.join();
}

void DisplayColours::SetDisplayProfile(std::span<const std::uint8_t> displayProfile) {
    ColourProfile display = ColourProfile::Srgb();
    std::string problem;
    if (!displayProfile.empty()) {
        try {
            const std::chrono::nanoseconds start = ThreadCpuTime();
            ColourProfile opened = ColourProfile::FromIcc(displayProfile);
            ColourTransform check(ColourProfile::Srgb(), opened); // it must take sRGB pictures
            if (ThreadCpuTime() - start >= linkCpuBound_)
                throw BrokenProfile(TooCostlyReason());
            display = std::move(opened);
        } catch (const BrokenProfile& e) {
            problem = std::string("the display's colour profile is not used: ") + e.what();
        }
    }
    {
        const std::lock_guard lock(mutex_);
        display_ = std::move(display);
        displayProblem_ = std::move(problem);
        ++displayGeneration_;
        cache_.clear();
    }
    const std::lock_guard lock(listenersMutex_);
    for (const auto& [id, changed] : listeners_)
        changed();
}

void DisplayColours::SetDisplayProfileSoon(std::vector<std::uint8_t> displayProfile,
                                           std::function<void(const std::string&)> done) {
    Post([this, profile = std::move(displayProfile), done = std::move(done)] {
        SetDisplayProfile(profile);
        if (done)
            done(DisplayProblem());
    });
}

std::string DisplayColours::DisplayProblem() const {
    const std::lock_guard lock(mutex_);
    return displayProblem_;
}

std::uint64_t DisplayColours::AddDisplayListener(std::function<void()> changed) {
    const std::lock_guard lock(listenersMutex_);
    listeners_.emplace_back(nextListener_, std::move(changed));
    return nextListener_++;
}

void DisplayColours::RemoveDisplayListener(std::uint64_t id) {
    const std::lock_guard lock(listenersMutex_);
    listeners_.remove_if([id](const auto& listener) { return listener.first == id; });
}

std::optional<ColourConversion> DisplayColours::Known(std::span<const std::uint8_t>& pictureProfile,
                                                      PixelKind kind, std::string& problem) {
    if (kind == PixelKind::Cmyk && !pictureProfile.empty()) {
        problem = "the colour profile of a CMYK picture is not used (its inks are converted "
                  "to RGB without it)";
        pictureProfile = {};
    }
    if (SameBytes(pictureProfile, display_.Bytes()))
        return ColourConversion{nullptr, problem}; // sRGB on sRGB, or the display's own profile
    const auto hit = std::find_if(cache_.begin(), cache_.end(), [&](const Cached& c) {
        return c.kind == kind && SameBytes(c.pictureProfile, pictureProfile);
    });
    if (hit != cache_.end()) {
        cache_.splice(cache_.begin(), cache_, hit);
        ColourConversion known = hit->conversion;
        if (known.problem.empty())
            known.problem = problem;
        return known;
    }
    if (costly_.contains(std::vector<std::uint8_t>(pictureProfile.begin(), pictureProfile.end())))
        return ColourConversion{nullptr, TooCostlyReason()};
    return std::nullopt;
}

ColourConversion DisplayColours::ForPicture(std::span<const std::uint8_t> pictureProfile,
                                            PixelKind kind) {
    std::string problem;
    // Only a conversion to be made needs the display's profile: a known one is answered
    // without making any profile (making even sRGB's costs its tone curves).
    std::optional<ColourProfile> display;
    std::uint64_t generation = 0;
    {
        const std::lock_guard lock(mutex_);
        if (std::optional<ColourConversion> known = Known(pictureProfile, kind, problem))
            return *known;
        display = display_;
        generation = displayGeneration_;
    }
    const std::chrono::nanoseconds start = ThreadCpuTime();
    ColourConversion made = Make(pictureProfile, kind, *display);
    const bool tooLong = ThreadCpuTime() - start >= linkCpuBound_;
    const std::lock_guard lock(mutex_);
    if (tooLong && made.Needed()) {
        costly_.emplace(pictureProfile.begin(), pictureProfile.end());
        std::string known;
        return *Known(pictureProfile, kind, known);
    }
    if (generation == displayGeneration_) {
        cache_.push_front({{pictureProfile.begin(), pictureProfile.end()}, kind, made});
        if (cache_.size() > kCachedPairs)
            cache_.pop_back();
    }
    if (made.problem.empty())
        made.problem = problem;
    return made;
}

ColourConversion DisplayColours::ForPicture(const JpegInfo& header) {
    if (!header.iccProblem.empty())
        return {nullptr, header.iccProblem};
    return ForPicture(header.iccProfile, PixelKindOf(header));
}

std::optional<ColourConversion>
DisplayColours::ForPictureSoon(const JpegInfo& header,
                               std::function<void(const ColourConversion&)> ready) {
    if (!header.iccProblem.empty())
        return ColourConversion{nullptr, header.iccProblem};
    {
        std::span<const std::uint8_t> profile = header.iccProfile;
        std::string problem;
        const std::lock_guard lock(mutex_);
        if (std::optional<ColourConversion> known = Known(profile, PixelKindOf(header), problem))
            return known;
    }
    Post([this, profile = header.iccProfile, kind = PixelKindOf(header), ready = std::move(ready)] {
        ready(ForPicture(profile, kind));
    });
    return std::nullopt;
}

ColourConversion DisplayColours::Make(std::span<const std::uint8_t> pictureProfile, PixelKind kind,
                                      const ColourProfile& display) {
    try {
        const ColourProfile picture =
            pictureProfile.empty() ? ColourProfile::Srgb() : ColourProfile::FromIcc(pictureProfile);
        if (picture.ColourSpace() != ColourProfile::Space::Rgb &&
            !(picture.ColourSpace() == ColourProfile::Space::Grey && kind == PixelKind::Grey))
            throw BrokenProfile(picture.ColourSpace() == ColourProfile::Space::Grey
                                    ? "a grey colour profile on a colour picture"
                                    : "the colour profile is neither RGB nor grey");
        return {std::make_shared<const ColourTransform>(picture, display), {}};
    } catch (const BrokenProfile& e) {
        return {nullptr, e.what()};
    }
}

std::string DisplayColours::TooCostlyReason() const {
    return "linking the colour profile took " + std::to_string(linkCpuBound_.count()) +
           " ms of processor time or more";
}

void DisplayColours::Post(std::function<void()> job) {
    {
        const std::lock_guard lock(jobsMutex_);
        jobs_.push_back(std::move(job));
        if (!worker_.joinable())
            worker_ = std::thread([this] { Work(); });
    }
    jobsChanged_.notify_one();
}

void DisplayColours::Work() {
    for (;;) {
        std::function<void()> job;
        {
            std::unique_lock lock(jobsMutex_);
            jobsChanged_.wait(lock, [this] { return stopping_ || !jobs_.empty(); });
            if (stopping_)
                return;
            job = std::move(jobs_.front());
            jobs_.pop_front();
        }
        try {
            job();
        } catch (const std::exception&) {
            // Out of memory in a link: the picture stays as decoded, the worker goes on.
        }
    }
}

} // namespace tessaly
