#include "pictures/PicturePipeline.h"

#include "jpeg/JpegDecoder.h"
#include "pictures/LowPriority.h"

#include <algorithm>
#include <stdexcept>
#include <utility>

namespace tessaly {

namespace {

// What a kept entry costs beyond its pixels, so that kept errors count too.
constexpr std::size_t kEntryBytes = 4096;

void DescribeError(const std::exception_ptr& error, std::string& text, PictureErrorType& type) {
    try {
        std::rethrow_exception(error);
    } catch (const JpegTooLarge& e) {
        text = e.what();
        type = PictureErrorType::TooLarge;
    } catch (const JpegError& e) {
        text = e.what();
        type = PictureErrorType::InvalidJpeg;
    } catch (const std::runtime_error& e) {
        text = e.what();
        type = PictureErrorType::Unreadable;
    } catch (const std::exception& e) {
        text = e.what();
        type = PictureErrorType::Other;
    } catch (...) {
        text = "unknown error";
        type = PictureErrorType::Other;
    }
}

bool IsFullSize(const DecodedPicture& pixels, int fullWidth, int fullHeight) {
    return pixels.Width() == fullWidth && pixels.Height() == fullHeight;
}

// Bytes of a 24-bit bitmap of width x height, its rows padded to 4 bytes as Bitmap pads them.
std::uint64_t BitmapBytes(int width, int height) {
    const std::uint64_t row = (static_cast<std::uint64_t>(std::max(width, 1)) * 3 + 3) / 4 * 4;
    return row * static_cast<std::uint64_t>(std::max(height, 1));
}

// Bytes of what decodeScaled gives for a picture of `facts` asked for at width x height.
std::uint64_t ScaledBytes(const PictureFacts& facts, int width, int height) {
    JpegInfo info;
    info.width = facts.width;
    info.height = facts.height;
    const int eighths = ScaleEighthsFor(info, width, height);
    return BitmapBytes(ScaledDimension(facts.width, eighths),
                       ScaledDimension(facts.height, eighths));
}

} // namespace

struct PicturePipeline::Outcome : Decoded {
    bool cancelled = false;
    bool deferred = false;  // planned and found to wait: nothing done
    bool skipped = false;   // a neighbour whose copy is not to be made
    bool fromStore = false; // answered from what was kept, nothing decoded
    bool stable = true;     // the file kept its identity while it was decoded
    FileIdentity identity;
};

PicturePipeline::PicturePipeline(PictureDecoders decoders, ResultCallback onResult)
    : PicturePipeline(std::move(decoders), std::move(onResult), Options{}) {}

PicturePipeline::PicturePipeline(PictureDecoders decoders, ResultCallback onResult, Options options)
    : decoders_(std::move(decoders)), onResult_(std::move(onResult)),
      cacheBytes_(options.cacheBytes), decodeBytes_(options.decodeBytes),
      backgroundNice_(options.backgroundNice) {
    if (!decoders_.decodeScaled || !decoders_.decodeFull || !onResult_)
        throw std::invalid_argument("picture pipeline: decoders and callback are required");
    const int threads = options.threads > 0 ? options.threads : DefaultThreadCount();
    workers_.reserve(static_cast<std::size_t>(threads));
    for (int i = 0; i < threads; ++i)
        workers_.emplace_back([this] { WorkerLoop(); });
}

PicturePipeline::~PicturePipeline() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        for (RunningJob& r : running_)
            r.cancel.Cancel();
    }
    changed_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

int PicturePipeline::DefaultThreadCount() {
    const unsigned cores = std::thread::hardware_concurrency();
    return static_cast<int>(std::clamp(cores, 1u, 4u));
}

std::uint64_t PicturePipeline::Show(const std::string& path, int shownWidth, int shownHeight,
                                    int pictureWidth, int pictureHeight) {
    std::uint64_t request = 0;
    {
        const std::lock_guard lock(mutex_);
        request = ++request_;
        if (fullPath_ != path) {
            Discard(std::move(full_));
            fullPath_.clear();
        }
        // The first decode is a reduced copy when libjpeg's 7/8 already reaches the shown size.
        const bool reduced = pictureWidth > 0 && pictureHeight > 0 &&
                             shownWidth <= ScaledDimension(pictureWidth, 7) &&
                             shownHeight <= ScaledDimension(pictureHeight, 7);
        current_ = Current{path, shownWidth, shownHeight, reduced};
        ahead_.clear();
        aheadTried_.clear();
        ForgetFacts();
        CancelUnwanted();
        Touch(path);
    }
    changed_.notify_all();
    return request;
}

void PicturePipeline::Ahead(std::vector<std::string> paths, int shownWidth, int shownHeight,
                            FitSize fit) {
    {
        const std::lock_guard lock(mutex_);
        ahead_ = std::move(paths);
        aheadWidth_ = shownWidth;
        aheadHeight_ = shownHeight;
        aheadFit_ = std::move(fit);
        aheadTried_.clear();
        ForgetFacts();
        CancelUnwanted();
        // The most wanted is touched last, so it is the last to be dropped for room.
        for (auto it = ahead_.rbegin(); it != ahead_.rend(); ++it)
            Touch(*it);
        if (current_)
            Touch(current_->path);
    }
    changed_.notify_all();
}

std::size_t PicturePipeline::PendingJobs() const {
    const std::lock_guard lock(mutex_);
    return WantedJobs().size();
}

void PicturePipeline::WaitUntilIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] {
        return running_.empty() && servedTurn_ == nextTurn_ && discarded_.empty() &&
               releasing_ == 0 && WantedJobs().empty();
    });
}

bool PicturePipeline::IsCopy(JobKind kind) {
    return kind == JobKind::First || kind == JobKind::Neighbour;
}

bool PicturePipeline::KeptFor(const std::string& path, int width, int height) const {
    if (full_ && fullPath_ == path)
        return true;
    const auto kept = copies_.find(path);
    return kept != copies_.end() && kept->second.reusable && Covers(kept->second, width, height);
}

bool PicturePipeline::IsAhead(const std::string& path) const {
    return std::find(ahead_.begin(), ahead_.end(), path) != ahead_.end();
}

bool PicturePipeline::Covers(const KeptCopy& copy, int width, int height) const {
    if (copy.error)
        return true; // an error answers any size
    return IsFullSize(*copy.pixels, copy.fullWidth, copy.fullHeight) ||
           (copy.pixels->Width() >= width && copy.pixels->Height() >= height);
}

bool PicturePipeline::CoversAhead(const KeptCopy& copy, int width, int height) const {
    return Covers(copy, width, height) ||
           (copy.madeForWidth >= width && copy.madeForHeight >= height);
}

void PicturePipeline::ForgetFacts() {
    std::erase_if(facts_, [this](const auto& known) {
        return !(current_ && current_->path == known.first) && !IsAhead(known.first);
    });
}

bool PicturePipeline::ForCurrent(const RunningJob& running) const {
    return current_ && running.job.path == current_->path;
}

std::uint64_t PicturePipeline::BytesInUse(bool withFull, bool withOthers) const {
    std::uint64_t bytes = discardedBytes_ + releasingBytes_;
    if (withFull && full_)
        bytes += full_->SizeBytes();
    for (const RunningJob& r : running_)
        if (withOthers || ForCurrent(r))
            bytes += r.bytes;
    return bytes;
}

std::size_t PicturePipeline::KeptBytesWorthMore(const std::string& path) const {
    const std::uint64_t worth = Worth(path, KeptCopy{});
    std::size_t bytes = 0;
    for (const auto& [keptPath, copy] : copies_)
        if (keptPath != path && Worth(keptPath, copy) > worth)
            bytes += copy.bytes;
    return bytes;
}

PicturePipeline::Plan PicturePipeline::PlanOf(const Job& job) const {
    const auto known = facts_.find(job.path);
    if (known == facts_.end()) {
        Plan plan;
        plan.width = job.minWidth;
        plan.height = job.minHeight;
        return plan;
    }
    return PlanOf(job, known->second.facts);
}

PicturePipeline::Plan PicturePipeline::PlanOf(const Job& job, const PictureFacts& facts) const {
    using Action = Plan::Action;
    Plan plan;
    plan.width = job.minWidth;
    plan.height = job.minHeight;
    if (facts.width < 1 || facts.height < 1 || job.kind == JobKind::StandIn)
        return plan; // the decoder says what is wrong; a stand-in holds nothing of the picture
    std::uint64_t pixels = 0;
    switch (job.kind) {
    case JobKind::StandIn:
        break;
    case JobKind::Full:
        pixels = BitmapBytes(facts.width, facts.height);
        break;
    case JobKind::First:
        plan.full = facts.width <= job.minWidth && facts.height <= job.minHeight;
        pixels = plan.full ? BitmapBytes(facts.width, facts.height)
                           : ScaledBytes(facts, job.minWidth, job.minHeight);
        break;
    case JobKind::Neighbour: {
        if (aheadFit_) {
            // The window fits the picture as it is shown; the pipeline works as it is stored.
            Size fit = facts.turned ? aheadFit_(facts.height, facts.width)
                                    : aheadFit_(facts.width, facts.height);
            if (facts.turned)
                std::swap(fit.width, fit.height);
            plan.width = std::clamp(fit.width, 1, std::max(plan.width, 1));
            plan.height = std::clamp(fit.height, 1, std::max(plan.height, 1));
        }
        const bool exact = decoders_.decodeDisplay && plan.width <= facts.width &&
                           plan.height <= facts.height &&
                           (plan.width != facts.width || plan.height != facts.height);
        pixels = exact ? BitmapBytes(plan.width, plan.height)
                       : ScaledBytes(facts, plan.width, plan.height);
        break;
    }
    }
    plan.bytes = facts.bufferBytes + pixels;
    if (job.kind == JobKind::Neighbour) {
        // A copy the budget would drop at once, or a decode that cannot fit beside the kept
        // full picture, is not made.
        if (kEntryBytes + pixels + KeptBytesWorthMore(job.path) > cacheBytes_ ||
            plan.bytes + (full_ ? full_->SizeBytes() : 0) > decodeBytes_)
            plan.action = Action::Skip;
    }
    // The current picture's own full picture is the one its decode replaces: not counted.
    const bool current = job.kind != JobKind::Neighbour;
    const std::uint64_t inUse = BytesInUse(!current, true);
    if (plan.action == Action::Run && inUse > 0 && inUse + plan.bytes > decodeBytes_)
        plan.action = Action::Wait;
    return plan;
}

void PicturePipeline::MakeRoomForCurrent(const std::vector<Job>& waiting) {
    for (const Job& job : waiting) {
        if (job.kind == JobKind::Neighbour)
            continue;
        const Plan plan = PlanOf(job);
        if (BytesInUse(false, false) + plan.bytes > decodeBytes_)
            continue; // waits for the current picture's own decodes or for freeing
        for (RunningJob& r : running_)
            if (!ForCurrent(r) && r.bytes > 0)
                r.cancel.Cancel();
    }
}

std::vector<PicturePipeline::Job> PicturePipeline::WantedJobs() const {
    std::vector<Job> jobs;
    // A copy under way for the path that reaches the size (asked for the size, when a
    // neighbour's request is checked).
    const auto runningCopy = [this](const std::string& path, int width, int height, bool asked) {
        return std::any_of(running_.begin(), running_.end(), [&](const RunningJob& r) {
            return r.job.path == path && IsCopy(r.job.kind) &&
                   (asked ? r.job.minWidth : r.reachWidth) >= width &&
                   (asked ? r.job.minHeight : r.reachHeight) >= height;
        });
    };
    if (current_) {
        const Current& c = *current_;
        const bool firstRunning = runningCopy(c.path, c.width, c.height, false);
        if (decoders_.decodePreview && !c.standInTried && !c.firstDelivered &&
            !KeptFor(c.path, c.width, c.height) &&
            std::none_of(running_.begin(), running_.end(), [&](const RunningJob& r) {
                return r.job.path == c.path && r.job.kind == JobKind::StandIn;
            }))
            jobs.push_back({JobKind::StandIn, c.path, c.width, c.height});
        if (!c.firstDelivered && !firstRunning)
            jobs.push_back({JobKind::First, c.path, c.width, c.height});
        // The full decode follows the first one or, when the first is known to be a reduced
        // copy, runs beside it on another worker once the first is under way: the sharp
        // picture then comes one full decode after the request, not after the screen copy
        // and the full decode one after the other. A first decode at full size is never
        // doubled, and one that takes every core is left to itself.
        // With readFacts, the first decode has read them before the full decode joins it.
        const auto facts = facts_.find(c.path);
        const bool beside =
            !decoders_.readFacts || (facts != facts_.end() && !facts->second.facts.everyCore);
        if (!c.fullDelivered && (c.firstDelivered || (firstRunning && c.reduced && beside))) {
            const bool running =
                std::any_of(running_.begin(), running_.end(), [&](const RunningJob& r) {
                    return r.job.path == c.path && r.job.kind == JobKind::Full;
                });
            if (!running)
                jobs.push_back({JobKind::Full, c.path, 0, 0});
        }
    }
    for (const std::string& path : ahead_) {
        if (current_ && path == current_->path)
            continue;
        if (aheadTried_.contains(path))
            continue;
        const auto kept = copies_.find(path);
        if (kept != copies_.end() && CoversAhead(kept->second, aheadWidth_, aheadHeight_))
            continue;
        if (runningCopy(path, aheadWidth_, aheadHeight_, true))
            continue;
        if (std::any_of(jobs.begin(), jobs.end(), [&](const Job& j) { return j.path == path; }))
            continue; // named twice
        jobs.push_back({JobKind::Neighbour, path, aheadWidth_, aheadHeight_});
    }
    return jobs;
}

std::vector<PicturePipeline::Job> PicturePipeline::StartableJobs() {
    std::vector<Job> jobs = WantedJobs();
    const bool fullRunning = std::any_of(running_.begin(), running_.end(), [](const RunningJob& r) {
        return r.job.kind == JobKind::Full;
    });
    if (fullRunning || !discarded_.empty() || releasing_ > 0)
        std::erase_if(jobs, [](const Job& j) { return j.kind == JobKind::Full; });
    std::vector<Job> waiting;
    std::erase_if(jobs, [&](const Job& j) {
        if (PlanOf(j).action != Plan::Action::Wait)
            return false;
        waiting.push_back(j);
        return true;
    });
    MakeRoomForCurrent(waiting);
    return jobs;
}

void PicturePipeline::CancelUnwanted() {
    for (RunningJob& r : running_) {
        const bool current = current_ && r.job.path == current_->path;
        const bool ahead = IsCopy(r.job.kind) && IsAhead(r.job.path);
        if (!current && !ahead)
            r.cancel.Cancel();
    }
}

void PicturePipeline::Touch(const std::string& path) {
    const auto kept = copies_.find(path);
    if (kept != copies_.end())
        kept->second.lastUse = ++useClock_;
}

std::uint64_t PicturePipeline::Worth(const std::string& path, const KeptCopy& copy) const {
    // Copies nobody asks for now go first, least recently asked for first; then the
    // neighbours, least wanted first; the current picture's copy last.
    if (current_ && current_->path == path)
        return useClock_ + ahead_.size() + 2;
    const auto at = std::find(ahead_.begin(), ahead_.end(), path);
    if (at != ahead_.end())
        return useClock_ + 1 + static_cast<std::uint64_t>(ahead_.end() - at);
    return copy.lastUse;
}

void PicturePipeline::Keep(const std::string& path, KeptCopy copy) {
    copy.bytes = kEntryBytes + (copy.pixels ? copy.pixels->SizeBytes() : 0);
    copy.lastUse = ++useClock_;
    if (const auto old = copies_.find(path); old != copies_.end()) {
        copiesBytes_ -= old->second.bytes;
        Discard(std::move(old->second.pixels));
        copies_.erase(old);
    }
    copiesBytes_ += copy.bytes;
    copies_.emplace(path, std::move(copy));
    // Over the budget, the copies worth least are dropped, the new one too if it is one of them.
    while (copiesBytes_ > cacheBytes_) {
        const auto least =
            std::min_element(copies_.begin(), copies_.end(), [this](const auto& a, const auto& b) {
                return Worth(a.first, a.second) < Worth(b.first, b.second);
            });
        copiesBytes_ -= least->second.bytes;
        Discard(std::move(least->second.pixels));
        copies_.erase(least);
    }
}

PicturePipeline::Outcome PicturePipeline::Run(RunningJob& running,
                                              std::unique_lock<std::mutex>& lock) {
    const Job& job = running.job;
    const CancelFlag& cancel = running.cancel;
    Outcome out;
    lock.unlock();
    out.identity = IdentifyFile(job.path);
    lock.lock();
    if (job.kind == JobKind::First) {
        // What was kept serves only while the file is still the one that was decoded.
        if (full_ && fullPath_ == job.path && fullIdentity_ == out.identity) {
            out.fromStore = true;
            out.pixels = full_;
            out.fullWidth = full_->Width();
            out.fullHeight = full_->Height();
            return out;
        }
        const auto kept = copies_.find(job.path);
        if (kept != copies_.end() && kept->second.reusable &&
            kept->second.identity == out.identity &&
            Covers(kept->second, job.minWidth, job.minHeight)) {
            out.fromStore = true;
            static_cast<Decoded&>(out) = kept->second;
            return out;
        }
    }
    // The file's facts, read once for each identity the file has (not for the stand-in, which
    // reads no more than the file's marker segments).
    const auto known = facts_.find(job.path);
    if (job.kind != JobKind::StandIn && decoders_.readFacts &&
        (known == facts_.end() || !(known->second.identity == out.identity))) {
        std::optional<PictureFacts> facts;
        lock.unlock();
        try {
            facts = decoders_.readFacts(job.path);
        } catch (...) {
            // The decode reads the file again and reports what is wrong with it.
        }
        lock.lock();
        if (facts && (job.kind != JobKind::Neighbour || IsAhead(job.path) ||
                      (current_ && current_->path == job.path)))
            facts_[job.path] = KnownFacts{out.identity, *facts};
        else
            facts_.erase(job.path);
        changed_.notify_all(); // the full decode may now join a first one
    }
    const Plan plan = PlanOf(job);
    if (plan.action == Plan::Action::Wait) {
        out.deferred = true;
        return out;
    }
    if (plan.action == Plan::Action::Skip) {
        out.skipped = true;
        return out;
    }
    running.bytes = plan.bytes;
    running.reachWidth = plan.width;
    running.reachHeight = plan.height;
    if (const auto facts = facts_.find(job.path); facts != facts_.end()) {
        out.fullWidth = facts->second.facts.width;
        out.fullHeight = facts->second.facts.height;
    }
    lock.unlock();
    const auto decode = [&] {
        cancel.ThrowIfCancelled();
        DecodedPicture decoded;
        if (job.kind == JobKind::StandIn) {
            std::optional<Bitmap> preview = decoders_.decodePreview(
                job.path, job.minWidth, job.minHeight, cancel, out.fullWidth, out.fullHeight);
            if (preview)
                out.pixels = std::make_shared<const DecodedPicture>(std::move(*preview));
            return;
        }
        if (job.kind == JobKind::Full || plan.full) {
            decoded = decoders_.decodeFull(job.path, cancel);
            out.fullWidth = decoded.Width();
            out.fullHeight = decoded.Height();
        } else if (job.kind == JobKind::Neighbour && decoders_.decodeDisplay) {
            decoded = decoders_.decodeDisplay(job.path, plan.width, plan.height, cancel,
                                              out.fullWidth, out.fullHeight, out.exact);
        } else {
            decoded = decoders_.decodeScaled(job.path, plan.width, plan.height, cancel,
                                             out.fullWidth, out.fullHeight);
        }
        out.pixels = std::make_shared<const DecodedPicture>(std::move(decoded));
    };
    try {
        // The current picture's stand-in and first decode at the workers' priority, the full
        // decode and the neighbours' below it.
        if (job.kind == JobKind::StandIn || job.kind == JobKind::First)
            decode();
        else
            RunAtLowerPriority(backgroundNice_, decode);
    } catch (const DecodeCancelled&) {
        out.cancelled = true;
    } catch (const JpegDecodeStopped&) {
        out.cancelled = true;
    } catch (...) {
        out.error = std::current_exception();
        DescribeError(out.error, out.errorText, out.errorType);
    }
    out.cancelled = out.cancelled || cancel.Cancelled();
    out.stable = IdentifyFile(job.path) == out.identity;
    lock.lock();
    return out;
}

std::optional<PictureResult> PicturePipeline::Complete(const Job& job, Outcome outcome) {
    if (outcome.cancelled || outcome.deferred)
        return std::nullopt;
    if (job.kind == JobKind::StandIn)
        return CompleteStandIn(job, std::move(outcome));
    if (outcome.skipped) {
        aheadTried_.insert(job.path);
        return std::nullopt;
    }
    const bool fullSize =
        outcome.pixels && (job.kind == JobKind::Full ||
                           IsFullSize(*outcome.pixels, outcome.fullWidth, outcome.fullHeight));
    if (job.kind == JobKind::Neighbour)
        aheadTried_.insert(job.path);
    if (job.kind != JobKind::Full && !outcome.fromStore) {
        KeptCopy copy;
        copy.identity = outcome.identity;
        copy.reusable = outcome.stable;
        static_cast<Decoded&>(copy) = outcome;
        copy.madeForWidth = job.minWidth;
        copy.madeForHeight = job.minHeight;
        Keep(job.path, std::move(copy));
    }
    if (!current_ || current_->path != job.path)
        return std::nullopt; // kept (a screen copy) or dropped (a full picture), not delivered
    Current& c = *current_;
    if (job.kind == JobKind::Full) {
        if (c.fullDelivered)
            return std::nullopt;
    } else {
        if (c.firstDelivered || c.fullDelivered)
            return std::nullopt;
        const bool reachesThisSize = outcome.pixels && outcome.pixels->Width() >= c.width &&
                                     outcome.pixels->Height() >= c.height;
        if (!outcome.error && !fullSize && !reachesThisSize)
            return std::nullopt; // a neighbour's copy too small for the size now shown
    }
    c.firstDelivered = true;
    if (fullSize || outcome.error)
        c.fullDelivered = true;
    if (fullSize && outcome.stable) {
        if (full_ != outcome.pixels)
            Discard(std::move(full_));
        fullPath_ = job.path;
        fullIdentity_ = outcome.identity;
        full_ = outcome.pixels;
    }
    PictureResult result;
    result.request = request_;
    result.path = job.path;
    result.identity = outcome.identity;
    result.kind =
        fullSize || job.kind == JobKind::Full ? PictureKind::Full : PictureKind::ScreenCopy;
    result.pixels = std::move(outcome.pixels);
    result.fullWidth = outcome.fullWidth;
    result.fullHeight = outcome.fullHeight;
    result.exact = outcome.exact && !fullSize;
    result.error = std::move(outcome.error);
    result.errorText = std::move(outcome.errorText);
    result.errorType = outcome.errorType;
    return result;
}

std::optional<PictureResult> PicturePipeline::CompleteStandIn(const Job& job, Outcome outcome) {
    if (!current_ || current_->path != job.path)
        return std::nullopt;
    Current& c = *current_;
    c.standInTried = true;
    // Only before anything of the picture itself; no preview, or a failed one, gives nothing:
    // the first decode reports the file's errors.
    if (!outcome.pixels || c.firstDelivered || c.fullDelivered)
        return std::nullopt;
    PictureResult result;
    result.request = request_;
    result.path = job.path;
    result.identity = outcome.identity;
    result.kind = PictureKind::StandIn;
    result.pixels = std::move(outcome.pixels);
    result.fullWidth = outcome.fullWidth;
    result.fullHeight = outcome.fullHeight;
    return result;
}

void PicturePipeline::Deliver(std::unique_lock<std::mutex>& lock, PictureResult result) {
    const std::uint64_t turn = nextTurn_++;
    changed_.wait(lock, [&] { return servedTurn_ == turn; });
    // A result overtaken by a newer Show() while it waited for its turn is dropped.
    if (!stopping_ && result.request == request_) {
        lock.unlock();
        onResult_(std::move(result));
        lock.lock();
    }
    ++servedTurn_;
    changed_.notify_all();
}

void PicturePipeline::Discard(std::shared_ptr<const DecodedPicture> pixels) {
    if (pixels) {
        discardedBytes_ += pixels->SizeBytes();
        discarded_.push_back(std::move(pixels));
    }
}

void PicturePipeline::Release(std::shared_ptr<const DecodedPicture> pixels) {
    {
        const std::lock_guard lock(mutex_);
        Discard(std::move(pixels));
    }
    changed_.notify_all();
}

void PicturePipeline::ReleaseDiscarded(std::unique_lock<std::mutex>& lock) {
    while (!discarded_.empty()) {
        std::vector<std::shared_ptr<const DecodedPicture>> pixels;
        pixels.swap(discarded_);
        const std::uint64_t bytes = std::exchange(discardedBytes_, 0);
        ++releasing_;
        releasingBytes_ += bytes;
        lock.unlock();
        pixels.clear(); // freeing a full-size picture takes milliseconds: not under the lock
        lock.lock();
        --releasing_;
        releasingBytes_ -= bytes;
    }
    changed_.notify_all();
}

void PicturePipeline::WorkerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        std::vector<Job> jobs;
        changed_.wait(lock, [&] {
            if (stopping_)
                return true;
            jobs = StartableJobs();
            return !jobs.empty() || !discarded_.empty();
        });
        if (stopping_)
            return;
        // A wanted picture goes before freeing old ones: freeing competes with it for the
        // process's memory map, and the freeing follows right after.
        if (!jobs.empty()) {
            const auto running = running_.emplace(running_.end(), std::move(jobs.front()));
            Outcome outcome = Run(*running, lock);
            std::optional<PictureResult> result = Complete(running->job, std::move(outcome));
            running_.erase(running);
            changed_.notify_all();
            if (result)
                Deliver(lock, std::move(*result));
        }
        ReleaseDiscarded(lock);
    }
}

} // namespace tessaly
