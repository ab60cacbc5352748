#include "pictures/PicturePipeline.h"

#include "jpeg/JpegDecoder.h"
#include "pictures/LowPriority.h"

#include <algorithm>
#include <limits>
#include <stdexcept>
#include <utility>

namespace tessaly {

namespace {

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

using Kind = DecodeJob::Kind;
using Action = DecodePlan::Action;

struct PicturePipeline::Outcome {
    std::shared_ptr<const DecodedPicture> pixels;
    int fullWidth = 0;
    int fullHeight = 0;
    bool exact = false;     // a display copy (see PictureResult::exact)
    bool keepDrawn = false; // see PictureResult::keepDrawn
    std::exception_ptr error;
    std::string errorText;
    PictureErrorType errorType = PictureErrorType::None;
    std::string streamCut; // DecodeNotes
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
      decodeBytes_(options.decodeBytes), backgroundNice_(options.backgroundNice),
      ledger_([this] { Freed(); }), copies_(options.cacheBytes) {
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
        for (RunningDecode& r : running_)
            r.cancel.Cancel();
    }
    work_.notify_all();
    turn_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
    // What the pipeline keeps goes to the reaper, which the ledger's destructor (next, as
    // members go) lets finish.
    copies_.Clear();
    full_.reset();
}

int PicturePipeline::DefaultThreadCount() {
    return WorkerThreadCount();
}

void PicturePipeline::Freed() {
    { const std::lock_guard lock(mutex_); } // a waiter has checked, or sees the new count
    work_.notify_all();
    idle_.notify_all();
}

PlannerView PicturePipeline::View() const {
    DecodeMemory memory;
    memory.limit = decodeBytes_;
    memory.fullBytes = full_ ? full_->SizeBytes() : 0;
    // The full picture may be a kept copy too (a small neighbour's, shown): one allocation.
    const KeptCopy* fullCopy = full_ ? copies_.Find(fullPath_) : nullptr;
    const bool fullIsCopy = fullCopy && fullCopy->pixels == full_;
    const std::uint64_t kept = copies_.PixelBytes() + (fullIsCopy ? 0 : memory.fullBytes);
    const std::uint64_t alive = ledger_.Bytes();
    // A full picture kept as the current picture's and also handed out is one allocation.
    memory.heldBytes = alive > kept ? alive - kept : 0;
    memory.freeing = ledger_.Freeing();
    return PlannerView{requests_,
                       facts_,
                       running_,
                       copies_,
                       fullPath_,
                       memory,
                       DecoderAbilities{static_cast<bool>(decoders_.decodePreview),
                                        static_cast<bool>(decoders_.decodeDisplay),
                                        static_cast<bool>(decoders_.readFacts)}};
}

std::optional<DecodeJob> PicturePipeline::NextJob() {
    const DecodeDecision decision = PlanNext(View());
    for (const RunningDecode* r : decision.cancel)
        const_cast<RunningDecode*>(r)->cancel.Cancel();
    return decision.start;
}

std::uint64_t PicturePipeline::Show(const std::string& path, int shownWidth, int shownHeight,
                                    int pictureWidth, int pictureHeight) {
    std::uint64_t request = 0;
    {
        const std::lock_guard lock(mutex_);
        request = ++request_;
        if (fullPath_ != path) {
            full_.reset(); // to the ledger's reaper, counted until freed
            fullPath_.clear();
        }
        const bool reduced =
            pictureWidth > 0 && pictureHeight > 0 &&
            !FirstDecodeIsFull(pictureWidth, pictureHeight, shownWidth, shownHeight);
        requests_.current = DecodeRequests::Current{path, shownWidth, shownHeight, reduced};
        if (seedOpen_ && seed_->Path() != path) {
            seed_->Cancel(); // the window shows another picture first
            seedOpen_ = false;
        }
        requests_.current->seeded = seedOpen_;
        requests_.ahead.clear();
        requests_.aheadTried.clear();
        copies_.SetWanted(path, {});
        ForgetFacts();
        NextJob(); // cancels what is no longer wanted at once
    }
    work_.notify_all();
    return request;
}

void PicturePipeline::Seed(std::unique_ptr<EarlyDecode> early) {
    const std::lock_guard lock(mutex_);
    if (seed_ || !early)
        return; // one early decode, for the first picture
    seed_ = std::move(early);
    seedOpen_ = true;
}

void PicturePipeline::Ahead(std::vector<std::string> paths, int shownWidth, int shownHeight,
                            FitSize fit) {
    {
        const std::lock_guard lock(mutex_);
        requests_.ahead = std::move(paths);
        requests_.aheadWidth = shownWidth;
        requests_.aheadHeight = shownHeight;
        requests_.aheadFit = std::move(fit);
        requests_.aheadTried.clear();
        copies_.SetWanted(requests_.current ? requests_.current->path : std::string(),
                          requests_.ahead);
        ForgetFacts();
        NextJob();
    }
    work_.notify_all();
}

std::size_t PicturePipeline::PendingJobs() const {
    const std::lock_guard lock(mutex_);
    return WantedJobs(View()).size();
}

bool PicturePipeline::StalledOnMemory() const {
    const std::lock_guard lock(mutex_);
    const DecodeDecision decision = PlanNext(View());
    return running_.empty() && !decision.start && decision.waitsForMemory;
}

void PicturePipeline::WaitUntilIdle() {
    std::unique_lock lock(mutex_);
    idle_.wait(lock, [this] {
        return running_.empty() && servedTurn_ == nextTurn_ && !ledger_.Freeing() &&
               WantedJobs(View()).empty();
    });
}

void PicturePipeline::ForgetFacts() {
    std::erase_if(facts_, [this](const auto& known) {
        return !requests_.IsCurrent(known.first) && !requests_.IsAhead(known.first);
    });
}

PicturePipeline::Outcome PicturePipeline::Run(RunningDecode& running,
                                              std::unique_lock<std::mutex>& lock) {
    const DecodeJob& job = running.job;
    const CancelFlag& cancel = running.cancel;
    Outcome out;
    lock.unlock();
    out.identity = IdentifyFile(job.path);
    lock.lock();
    if (job.kind == Kind::First) {
        // What was kept serves only while the file is still the one that was decoded.
        if (full_ && fullPath_ == job.path && fullIdentity_ == out.identity) {
            out.fromStore = true;
            out.pixels = full_;
            out.fullWidth = full_->Width();
            out.fullHeight = full_->Height();
            return out;
        }
        const KeptCopy* kept = copies_.Find(job.path);
        if (kept && kept->reusable && kept->identity == out.identity &&
            kept->Covers(job.minWidth, job.minHeight)) {
            out.fromStore = true;
            out.pixels = kept->pixels;
            out.fullWidth = kept->fullWidth;
            out.fullHeight = kept->fullHeight;
            out.exact = kept->exact;
            out.error = kept->error;
            out.errorText = kept->errorText;
            out.errorType = kept->errorType;
            return out;
        }
    }
    // The file's facts, read once for each identity the file has.
    const auto known = facts_.find(job.path);
    if (decoders_.readFacts &&
        (known == facts_.end() || !(known->second.identity == out.identity))) {
        std::optional<PictureFacts> facts;
        lock.unlock();
        try {
            facts = decoders_.readFacts(job.path);
        } catch (...) {
            // The decode reads the file again and reports what is wrong with it.
        }
        lock.lock();
        if (facts && (requests_.IsAhead(job.path) || requests_.IsCurrent(job.path)))
            facts_[job.path] = KnownFacts{out.identity, *facts};
        else
            facts_.erase(job.path);
        work_.notify_all(); // the full decode may now join a first one
    }
    const DecodePlan plan = PlanOf(View(), job);
    if (plan.action == Action::Wait) {
        out.deferred = true;
        return out;
    }
    // A neighbour whose kept copy (of the file as it is now) already answers the size it
    // will be shown at is not decoded again: the neighbours asked for are checked against the
    // shown picture's size before their facts are known, and a portrait neighbour's copy does
    // not reach a landscape picture's size.
    const KeptCopy* kept = job.kind == Kind::Neighbour ? copies_.Find(job.path) : nullptr;
    if (plan.action == Action::Skip || (kept && kept->reusable && kept->identity == out.identity &&
                                        kept->Covers(plan.width, plan.height))) {
        out.skipped = true;
        return out;
    }
    // The first decode of the picture an early decode was started for takes its copy, once.
    EarlyDecode* const seed = job.kind == Kind::First && !plan.full && seedOpen_ &&
                                      requests_.IsCurrent(job.path) && requests_.current->seeded
                                  ? seed_.get()
                                  : nullptr;
    if (seed)
        seedOpen_ = false;
    running.bytes = plan.bytes;
    // A decode at full size reaches any size the picture is shown at.
    running.reachWidth = plan.full ? std::numeric_limits<int>::max() : plan.width;
    running.reachHeight = plan.full ? std::numeric_limits<int>::max() : plan.height;
    if (const auto facts = facts_.find(job.path); facts != facts_.end()) {
        out.fullWidth = facts->second.facts.width;
        out.fullHeight = facts->second.facts.height;
    }
    lock.unlock();
    // Made here and adopted by the ledger under the lock, as the decode's own count ends.
    DecodedPicture made;
    bool decoded = false;
    const auto decode = [&] {
        cancel.ThrowIfCancelled();
        if (seed) {
            // Made from the file as it is now and reaching the size asked, it is the first
            // decode; otherwise the file is decoded here as usual.
            std::optional<EarlyDecode::Copy> early = seed->Take(cancel);
            if (early && early->identity == out.identity && early->pixels.Width() >= job.minWidth &&
                early->pixels.Height() >= job.minHeight) {
                out.fullWidth = early->facts.width;
                out.fullHeight = early->facts.height;
                out.keepDrawn = true;
                made = DecodedPicture(std::move(early->pixels));
                decoded = true;
                return;
            }
            cancel.ThrowIfCancelled();
        }
        if (job.kind == Kind::StandIn) {
            std::optional<Bitmap> preview =
                decoders_.decodePreview(job.path, job.minWidth, job.minHeight, plan.bytes, cancel,
                                        out.fullWidth, out.fullHeight);
            if (preview) {
                made = DecodedPicture(std::move(*preview));
                decoded = true;
            }
        } else if (job.kind == Kind::Full || plan.full) {
            made = decoders_.decodeFull(job.path, cancel);
            decoded = true;
            out.fullWidth = made.Width();
            out.fullHeight = made.Height();
        } else if (job.kind == Kind::Neighbour && decoders_.decodeDisplay) {
            made = decoders_.decodeDisplay(job.path, plan.width, plan.height, cancel, out.fullWidth,
                                           out.fullHeight, out.exact);
            decoded = true;
        } else {
            made = decoders_.decodeScaled(job.path, plan.width, plan.height, cancel, out.fullWidth,
                                          out.fullHeight);
            decoded = true;
        }
    };
    try {
        // The current picture's stand-in and first decode at the workers' priority, the full
        // decode and the neighbours' below it.
        if (job.kind == Kind::StandIn || job.kind == Kind::First)
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
    out.streamCut = std::move(cancel.Notes().streamCut);
    out.stable = IdentifyFile(job.path) == out.identity;
    lock.lock();
    if (decoded) // moved, not copied: nothing is freed here
        out.pixels = ledger_.Adopt(std::move(made));
    running.bytes = 0; // what it holds now is the ledger's
    return out;
}

std::optional<PictureResult> PicturePipeline::Complete(const DecodeJob& job, Outcome outcome) {
    if (outcome.cancelled || outcome.deferred)
        return std::nullopt; // dropped pixels go to the ledger's reaper
    if (job.kind == Kind::StandIn)
        return CompleteStandIn(job, std::move(outcome));
    if (outcome.skipped) {
        requests_.aheadTried.insert(job.path);
        return std::nullopt;
    }
    const bool fullSize =
        outcome.pixels && (job.kind == Kind::Full ||
                           IsFullSize(*outcome.pixels, outcome.fullWidth, outcome.fullHeight));
    if (job.kind == Kind::Neighbour)
        requests_.aheadTried.insert(job.path);
    // Copies are kept; a full-size first decode of the shown picture is kept as its full
    // picture below, not in the copy cache, where it would only push out neighbours' copies.
    const bool keptAsFull = fullSize && outcome.stable && requests_.IsCurrent(job.path);
    if (job.kind != Kind::Full && !outcome.fromStore && !keptAsFull) {
        KeptCopy copy;
        copy.pixels = outcome.pixels;
        copy.fullWidth = outcome.fullWidth;
        copy.fullHeight = outcome.fullHeight;
        copy.exact = outcome.exact;
        copy.error = outcome.error;
        copy.errorText = outcome.errorText;
        copy.errorType = outcome.errorType;
        copy.identity = outcome.identity;
        copy.reusable = outcome.stable;
        copy.madeForWidth = job.minWidth;
        copy.madeForHeight = job.minHeight;
        copies_.Keep(job.path, std::move(copy));
    }
    if (!requests_.IsCurrent(job.path))
        return std::nullopt; // kept (a screen copy) or dropped (a full picture), not delivered
    DecodeRequests::Current& c = *requests_.current;
    if (job.kind == Kind::Full) {
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
        fullPath_ = job.path;
        fullIdentity_ = outcome.identity;
        full_ = outcome.pixels;
        // A neighbour's copy made at full size (zoomed in) is the full picture now: held as
        // that, not also in the copy budget, where it would keep the next neighbours out.
        copies_.Forget(job.path);
    }
    PictureResult result;
    result.request = request_;
    result.path = job.path;
    result.identity = outcome.identity;
    result.kind = fullSize || job.kind == Kind::Full ? PictureKind::Full : PictureKind::ScreenCopy;
    result.pixels = std::move(outcome.pixels);
    result.fullWidth = outcome.fullWidth;
    result.fullHeight = outcome.fullHeight;
    result.exact = outcome.exact && !fullSize;
    result.keepDrawn = outcome.keepDrawn && !fullSize;
    result.error = std::move(outcome.error);
    result.errorText = std::move(outcome.errorText);
    result.errorType = outcome.errorType;
    result.streamCut = std::move(outcome.streamCut);
    return result;
}

std::optional<PictureResult> PicturePipeline::CompleteStandIn(const DecodeJob& job,
                                                              Outcome outcome) {
    if (!requests_.IsCurrent(job.path))
        return std::nullopt;
    DecodeRequests::Current& c = *requests_.current;
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
    turn_.wait(lock, [&] { return servedTurn_ == turn; });
    // A result overtaken by a newer Show() while it waited for its turn is dropped (its
    // pixels to the ledger's reaper).
    if (!stopping_ && result.request == request_) {
        lock.unlock();
        onResult_(std::move(result));
        lock.lock();
    }
    ++servedTurn_;
    turn_.notify_all();
    idle_.notify_all();
}

void PicturePipeline::WorkerLoop() {
    std::unique_lock lock(mutex_);
    for (;;) {
        std::optional<DecodeJob> job;
        work_.wait(lock, [&] {
            if (stopping_)
                return true;
            job = NextJob();
            return job.has_value();
        });
        if (stopping_)
            return;
        const auto running = running_.emplace(running_.end(), std::move(*job));
        Outcome outcome = Run(*running, lock);
        std::optional<PictureResult> result = Complete(running->job, std::move(outcome));
        running_.erase(running);
        work_.notify_all();
        idle_.notify_all();
        if (result)
            Deliver(lock, std::move(*result));
    }
}

} // namespace tessaly
