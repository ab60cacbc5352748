// The picture pipeline: reads and decodes pictures on worker threads, so that the GUI thread
// only asks for pictures and receives them.
//
// Threads. The main window owns one PicturePipeline, made on the GUI thread. It starts its
// worker threads at once (as many as cores, at least 1 and at most 4); the destructor
// cancels what is running, waits for every worker to finish and returns only then, so no
// decoder or callback runs once it has returned. Show() and Ahead() are called
// on the GUI thread (from any one thread in fact) and never wait for a decode.
//
// Work. Nothing is queued as such: the pipeline keeps what is wanted (the current picture,
// from Show, and the neighbours, from Ahead) and each free worker takes the most urgent piece
// of it that is neither done nor being done, in this order:
//   0. the current picture's stand-in, when the decoders can make one (decodePreview) and
//      nothing kept answers its first decode: the file's own preview, a quick job of a
//      millisecond or so that never reads the picture's data, delivered only if it comes
//      before anything of the picture itself; a file without a fitting preview gives none,
//      nor one whose decode would cost more than the screen copy it stands in for (see Sizes);
//   1. the current picture's first decode: a screen copy at the shown size, or, when
//      libjpeg's smallest scale that reaches the shown size is 8/8 (FirstDecodeIsFull), the
//      picture itself at full size; for the picture an early decode was started for (Seed),
//      its worker waits for that decode and takes its copy, with no stand-in before it and
//      the full decode after it;
//   2. the current picture's full-size decode, once its first decode is done, or as soon as
//      it is under way (on another worker) when Show was told the picture's size and the
//      first decode is a reduced copy that does not take every core itself (see Sizes);
//   3. screen copies of the neighbours, in the order given (direction of travel first).
// So however fast requests come (a held key), at most the current picture's decodes and the
// neighbours' are pending. A new Show drops the old neighbours and cancels every running
// decode that is no longer wanted (its CancelFlag is set); a decode already running for the
// newly shown path, at a size that will do (its full decode, a copy reaching the shown size,
// its stand-in before anything else came), is kept and its result delivered; the rest is
// cancelled. The planner (DecodePlanner.h) decides all of this from the books; the workers
// only ask it and run what it says.
//
// Results. The current picture's results go to the callback given at construction, called
// on a worker thread, one call at a time and in the order they were produced (a stand-in
// before a screen copy, a screen copy before the full picture). Each carries the number that Show()
// returned for the request it answers; results arrive only for the picture current when they were
// produced, but one may still arrive after a later Show() has returned, so the receiver drops
// results whose number is not that of its latest Show(). Neighbours' results are never delivered,
// only kept.
//
// Memory. Every picture the pipeline hands out is counted by its pixel ledger (PixelLedger.h)
// from its decode until its memory is really freed, wherever it is held meanwhile (a result
// not yet taken from the receiver's inbox, the window's picture, a kept copy); the receiver
// simply lets go of pixels, and the ledger's reaper frees them off the GUI thread, holding no
// lock. Finished screen copies (and the errors of files that failed) are kept under a byte
// budget (CopyCache.h): over it, copies nobody asks for now are dropped first (least recently
// asked for first), then the neighbours least wanted, and a copy is not kept at all rather
// than push out one worth more; a picture first decoded at full size is kept as the full
// picture, not as a copy. At most one full-size picture is kept outside the copy budget, the
// current one's, and it is let go of as soon as another path is shown (a neighbour decoded at
// full size ahead is a copy, within the budget, until it is shown). A full-size decode starts only
// once everything let go of has been freed and no other full-size decode is running, and counts
// every picture still held, so two full pictures never take memory at once. A kept copy
// or error is used only if the file still has the identity (FileIdentity) it had when it was
// read; a file replaced or deleted meanwhile is read again. A neighbour that fails to decode
// reports nothing until it is shown; then its error is delivered like any other result.
//
// Sizes. With the decoders' readFacts, a worker reads a file's header before its decode
// starts, and the pipeline plans with it:
// - Every decode counts what it will hold at its peak: its pixels and what the decoder keeps
//   for the whole picture meanwhile (libjpeg's coefficients of a file in several scans). A
//   decode starts only while the running decodes, the kept full picture and the pixels held
//   outside the copy budget or waiting to be freed, with it, stay within
//   Options::decodeBytes, or when nothing else holds memory; so one huge file is never decoded
//   twice side by side (its screen copy and its full picture wait for each other), however many
//   workers there are. The current picture's decodes go first: a neighbour's decode in their way is
//   cancelled, and a neighbour that would not fit beside the kept full picture is skipped.
// - A neighbour's copy is made at the size its own picture will be shown at (the FitSize
//   given to Ahead, from its own size and orientation, fitted or at the kept zoom, not
//   clamped to the current picture's shown size), and a copy that the budget would drop at
//   once is not made, nor one whose kept copy already answers that size. A neighbour shown
//   at its full size or larger (zoomed in) is decoded at full size in the form the full
//   picture is kept in: when it is shown, that copy is its first decode and its full
//   picture at once, and it leaves the copy budget to be the one full picture kept.
// - A first decode at full size is the full decode itself, in the form the full picture is
//   kept in.
// - The stand-in may cost (its pixels and, for a preview in several scans, libjpeg's
//   coefficients of the whole preview) at most what the screen copy it stands in for costs;
//   it is counted at that cost like any decode, and a preview that would cost more is not
//   used. Unknown facts: at most the copy budget.
// - A file whose decodes take every core (in stripes) has its full decode wait for its
//   first one: beside it, the full decode would only slow the screen copy.
//
// Priority. The full-size decode and the neighbours' run on a thread of their own at a lower
// scheduling priority (Options::backgroundNice), so that on a busy machine they do not slow
// the current picture's first decode; that thread ends with the decode, since an unprivileged
// process cannot raise a thread's priority again.
//
// Pixels are shared, never copied: the callback's result and the pipeline's store point to
// the same immutable DecodedPicture, counted once.
#pragma once

#include "jpeg/JpegDecoder.h"
#include "picture/DecodedPicture.h"
#include "pictures/CopyCache.h"
#include "pictures/DecodePlanner.h"
#include "pictures/EarlyDecode.h"
#include "pictures/FileIdentity.h"
#include "pictures/PictureDecoders.h"
#include "pictures/PictureResult.h"
#include "pictures/PixelLedger.h"

#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <exception>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessaly {

class PicturePipeline {
public:
    // Called on a worker thread, never two at once; must not throw (an exception ends the
    // program) and must not destroy the pipeline. It may call Show() and Ahead().
    using ResultCallback = std::function<void(PictureResult)>;

    struct Options {
        int threads = 0;                                // 0: DefaultThreadCount()
        std::size_t cacheBytes = std::size_t{48} << 20; // budget of the kept screen copies
        // What the running decodes, the kept full picture and the pixels held outside the
        // copy cache may take together (see Sizes above): the largest decode and a margin.
        std::uint64_t decodeBytes = kMaxDecodeBytes + kDecodeMargin;
        // How much lower (a nice value) the full-size and the neighbours' decodes run; 0:
        // at the workers' own priority.
        int backgroundNice = 10;
    };

    PicturePipeline(PictureDecoders decoders, ResultCallback onResult);
    PicturePipeline(PictureDecoders decoders, ResultCallback onResult, Options options);
    ~PicturePipeline();
    PicturePipeline(const PicturePipeline&) = delete;
    PicturePipeline& operator=(const PicturePipeline&) = delete;

    // Makes `path` the current picture, shown at shownWidth x shownHeight: a screen copy
    // reaching that size is delivered first, then the full-size picture; a picture not larger
    // than that size is delivered at full size only. Drops the neighbours asked for before
    // and cancels decodes no longer wanted. Returns the request's number, carried by its
    // results; numbers increase from 1.
    // The picture's own size, when the caller knows it (0 otherwise), lets the full decode
    // start beside a first decode that is known to be a reduced copy.
    std::uint64_t Show(const std::string& path, int shownWidth, int shownHeight,
                       int pictureWidth = 0, int pictureHeight = 0);

    // Hands over the first picture's screen copy decoded since the program started (see
    // EarlyDecode.h), before the Show of its path: that Show's first decode takes the copy
    // instead of decoding again, when it was made for the file as it is and for the size shown;
    // and no stand-in comes before it, so that the copy is the first picture shown. A Show of
    // another path cancels it.
    void Seed(std::unique_ptr<EarlyDecode> early);

    // Screen copies at shownWidth x shownHeight for `paths`, most wanted first, kept for a
    // later Show(). Replaces the neighbours asked for before; the current picture is skipped.
    // With `fit`, each copy is made at the size its own picture will be shown at (see Sizes).
    void Ahead(std::vector<std::string> paths, int shownWidth, int shownHeight, FitSize fit = {});

    // Decodes waiting for a free worker (not counting running ones).
    std::size_t PendingJobs() const;
    // Nothing runs and a wanted decode waits for pixels held elsewhere to be freed. For tests.
    bool StalledOnMemory() const;
    // Blocks until nothing is pending, running or being freed. For tests and benchmarks.
    void WaitUntilIdle();

    int ThreadCount() const { return static_cast<int>(workers_.size()); }
    // The number of cores, at least 1 and at most 4 (WorkerThreadCount).
    static int DefaultThreadCount();

private:
    struct Outcome; // what one job produced

    void WorkerLoop();
    // The planner's view of the books; under the lock.
    PlannerView View() const;
    // Asks the planner, cancels what it says; the job to start, if any. Under the lock.
    std::optional<DecodeJob> NextJob();
    Outcome Run(RunningDecode& running, std::unique_lock<std::mutex>& lock);
    std::optional<PictureResult> Complete(const DecodeJob& job, Outcome outcome);
    std::optional<PictureResult> CompleteStandIn(const DecodeJob& job, Outcome outcome);
    void Deliver(std::unique_lock<std::mutex>& lock, PictureResult result);
    void ForgetFacts();
    // Pixels were freed: the waits for memory look again. On the ledger's reaper.
    void Freed();

    const PictureDecoders decoders_;
    const ResultCallback onResult_;
    const std::uint64_t decodeBytes_;
    const int backgroundNice_;

    mutable std::mutex mutex_;
    // Workers wait on `work_` for something to start (new requests, a decode ended, facts
    // read, pixels freed); deliveries wait on `turn_` for their turn; WaitUntilIdle waits on
    // `idle_`. Each is notified where what its waiters check can change.
    std::condition_variable work_;
    std::condition_variable turn_;
    std::condition_variable idle_;
    bool stopping_ = false;
    std::uint64_t request_ = 0;
    DecodeRequests requests_;
    // Facts read from the headers of the current picture and the neighbours.
    std::unordered_map<std::string, KnownFacts> facts_;
    std::list<RunningDecode> running_; // stable addresses: workers hold their own entry
    // The ledger outlives the copies and the full picture below (declared before them), so
    // that they are handed to its reaper when the pipeline goes; it is stopped after them.
    PixelLedger ledger_;
    CopyCache copies_;
    // The one full-size picture kept: the current picture's, once decoded.
    std::string fullPath_;
    FileIdentity fullIdentity_;
    std::shared_ptr<const DecodedPicture> full_;
    // Deliveries take numbered turns, so that the callback sees results in the order they
    // were produced even when two workers finish at once.
    std::uint64_t nextTurn_ = 0;
    std::uint64_t servedTurn_ = 0;

    // The early decode handed over by Seed, kept until the pipeline goes (its thread is joined
    // then, after the workers); `seedOpen_` while its copy may still be taken.
    std::unique_ptr<EarlyDecode> seed_;
    bool seedOpen_ = false;

    std::vector<std::thread> workers_; // last: started once everything above exists
};

} // namespace tessaly
