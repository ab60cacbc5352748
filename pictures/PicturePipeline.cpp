#include "pictures/PicturePipeline.h"

#include "imaging/JpegDecoder.h"

#include <algorithm>
#include <stdexcept>

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

} // namespace

struct PicturePipeline::Outcome : Decoded {
    bool cancelled = false;
    bool fromStore = false; // answered from what was kept, nothing decoded
    bool stable = true;     // the file kept its identity while it was decoded
    FileIdentity identity;
};

PicturePipeline::PicturePipeline(PictureDecoders decoders, ResultCallback onResult)
    : PicturePipeline(std::move(decoders), std::move(onResult), Options{}) {}

PicturePipeline::PicturePipeline(PictureDecoders decoders, ResultCallback onResult, Options options)
    : decoders_(std::move(decoders)), onResult_(std::move(onResult)),
      cacheBytes_(options.cacheBytes) {
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
        CancelUnwanted();
        Touch(path);
    }
    changed_.notify_all();
    return request;
}

void PicturePipeline::Ahead(std::vector<std::string> paths, int shownWidth, int shownHeight) {
    {
        const std::lock_guard lock(mutex_);
        ahead_ = std::move(paths);
        aheadWidth_ = shownWidth;
        aheadHeight_ = shownHeight;
        aheadTried_.clear();
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
           (copy.madeForWidth >= width && copy.madeForHeight >= height) ||
           (copy.pixels->Width() >= width && copy.pixels->Height() >= height);
}

std::vector<PicturePipeline::Job> PicturePipeline::WantedJobs() const {
    std::vector<Job> jobs;
    const auto runningCopy = [this](const std::string& path, int width, int height) {
        return std::any_of(running_.begin(), running_.end(), [&](const RunningJob& r) {
            return r.job.path == path && IsCopy(r.job.kind) && r.job.minWidth >= width &&
                   r.job.minHeight >= height;
        });
    };
    if (current_) {
        const Current& c = *current_;
        const bool firstRunning = runningCopy(c.path, c.width, c.height);
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
        // doubled.
        if (!c.fullDelivered && (c.firstDelivered || (firstRunning && c.reduced))) {
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
        if (kept != copies_.end() && Covers(kept->second, aheadWidth_, aheadHeight_))
            continue;
        if (runningCopy(path, aheadWidth_, aheadHeight_))
            continue;
        if (std::any_of(jobs.begin(), jobs.end(), [&](const Job& j) { return j.path == path; }))
            continue; // named twice
        jobs.push_back({JobKind::Neighbour, path, aheadWidth_, aheadHeight_});
    }
    return jobs;
}

std::vector<PicturePipeline::Job> PicturePipeline::StartableJobs() const {
    std::vector<Job> jobs = WantedJobs();
    const bool fullRunning = std::any_of(running_.begin(), running_.end(), [](const RunningJob& r) {
        return r.job.kind == JobKind::Full;
    });
    if (fullRunning || !discarded_.empty() || releasing_ > 0)
        std::erase_if(jobs, [](const Job& j) { return j.kind == JobKind::Full; });
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

PicturePipeline::Outcome PicturePipeline::Run(const Job& job, const CancelFlag& cancel,
                                              std::unique_lock<std::mutex>& lock) {
    Outcome out;
    lock.unlock();
    out.identity = IdentifyFile(job.path);
    if (job.kind == JobKind::First) {
        // What was kept serves only while the file is still the one that was decoded.
        lock.lock();
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
        lock.unlock();
    }
    try {
        cancel.ThrowIfCancelled();
        DecodedPicture decoded;
        if (job.kind == JobKind::StandIn) {
            std::optional<Bitmap> preview = decoders_.decodePreview(
                job.path, job.minWidth, job.minHeight, cancel, out.fullWidth, out.fullHeight);
            if (preview)
                out.pixels = std::make_shared<const DecodedPicture>(std::move(*preview));
        } else if (job.kind == JobKind::Full) {
            decoded = decoders_.decodeFull(job.path, cancel);
            out.fullWidth = decoded.Width();
            out.fullHeight = decoded.Height();
        } else if (job.kind == JobKind::Neighbour && decoders_.decodeDisplay) {
            decoded = decoders_.decodeDisplay(job.path, job.minWidth, job.minHeight, cancel,
                                              out.fullWidth, out.fullHeight, out.exact);
        } else {
            decoded = decoders_.decodeScaled(job.path, job.minWidth, job.minHeight, cancel,
                                             out.fullWidth, out.fullHeight);
        }
        if (job.kind != JobKind::StandIn)
            out.pixels = std::make_shared<const DecodedPicture>(std::move(decoded));
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
    if (outcome.cancelled)
        return std::nullopt;
    if (job.kind == JobKind::StandIn)
        return CompleteStandIn(job, std::move(outcome));
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
        const bool madeForThisSize = job.minWidth >= c.width && job.minHeight >= c.height;
        if (!outcome.error && !fullSize && !madeForThisSize)
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
    if (pixels)
        discarded_.push_back(std::move(pixels));
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
        ++releasing_;
        lock.unlock();
        pixels.clear(); // freeing a full-size picture takes milliseconds: not under the lock
        lock.lock();
        --releasing_;
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
            Outcome outcome = Run(running->job, running->cancel, lock);
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
