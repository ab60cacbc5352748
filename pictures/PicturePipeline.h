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
//      before anything of the picture itself; a file without a fitting preview gives none;
//   1. the current picture's first decode: a screen copy at the shown size, or, when the
//      picture is not larger than that, the picture itself at full size;
//   2. the current picture's full-size decode, once its first decode is done, or as soon as
//      it is under way (on another worker) when Show was told the picture's size and the
//      first decode is a reduced copy that does not take every core itself (see Sizes);
//   3. screen copies of the neighbours, in the order given (direction of travel first).
// So however fast requests come (a held key), at most the current picture's decodes and the
// neighbours' are pending. A new Show drops the old neighbours and cancels every running
// decode that is no longer wanted (its CancelFlag is set); a decode already running for the
// newly shown path, at a size that will do, is kept and its result delivered.
//
// Results. The current picture's results go to the callback given at construction, called
// on a worker thread, one call at a time and in the order they were produced (a stand-in
// before a screen copy, a screen copy before the full picture). Each carries the number that Show()
// returned for the request it answers; results arrive only for the picture current when they were
// produced, but one may still arrive after a later Show() has returned, so the receiver drops
// results whose number is not that of its latest Show(). Neighbours' results are never delivered,
// only kept.
//
// Memory. Finished screen copies (and the errors of files that failed) are kept under a byte
// budget; over it, copies nobody asks for now are dropped first (least recently asked for
// first), then the neighbours least wanted, never for a less wanted one; at most one full-size
// picture is kept, the current one's, and it is let go as soon as another path is shown. A
// full-size decode starts only once everything let go of has been freed and no other
// full-size decode is running, so two full pictures never take memory at once. A kept copy
// or error is used only if the file still has the identity (FileIdentity) it had when it was
// read; a file replaced or deleted meanwhile is read again. A neighbour that fails to decode
// reports nothing until it is shown; then its error is delivered like any other result.
//
// Sizes. With the decoders' readFacts, a worker reads a file's header before its decode
// starts, and the pipeline plans with it:
// - Every decode counts what it will hold at its peak: its pixels and what the decoder keeps
//   for the whole picture meanwhile (libjpeg's coefficients of a file in several scans). A
//   decode starts only while the running decodes, the kept full picture and the pixels
//   waiting to be freed, with it, stay within Options::decodeBytes, or when nothing else
//   holds memory; so one huge file is never decoded twice side by side (its screen copy and
//   its full picture wait for each other), however many workers there are. The current
//   picture's decodes go first: a neighbour's decode in their way is cancelled, and a
//   neighbour that would not fit beside the kept full picture is skipped.
// - A neighbour's copy is at most the size its picture takes in the window at fit (the FitSize
//   given to Ahead), however far the window is zoomed in, and a copy that the budget would
//   drop at once is not made.
// - A first decode at full size (a picture not larger than the shown size) is the full
//   decode itself, in the form the full picture is kept in.
// - A file whose decodes take every core (in stripes) has its full decode wait for its
//   first one: beside it, the full decode would only slow the screen copy.
//
// Priority. The full-size decode and the neighbours' run on a thread of their own at a lower
// scheduling priority (Options::backgroundNice), so that on a busy machine they do not slow
// the current picture's first decode; that thread ends with the decode, since an unprivileged
// process cannot raise a thread's priority again.
//
// Pixels are shared, never copied: the callback's result and the pipeline's store point to
// the same immutable DecodedPicture.
#pragma once

#include "picture/DecodedPicture.h"
#include "jpeg/JpegDecoder.h"
#include "pictures/FileIdentity.h"
#include "pictures/PictureDecoders.h"

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

enum class PictureKind {
    StandIn,    // the file's own preview: the picture's shape, but not its pixels
    ScreenCopy, // decoded at a reduced scale: pixels->Width() / fullWidth of the picture
    Full,       // the picture at its own size
};

// How a decode failed, from the type of the decoder's exception.
enum class PictureErrorType {
    None,
    Unreadable,  // std::runtime_error: the file could not be opened or read
    InvalidJpeg, // JpegError: the data are not a readable JPEG
    TooLarge,    // JpegTooLarge: above the decode limit
    Other,       // anything else (std::bad_alloc, ...)
};

struct PictureResult {
    std::uint64_t request = 0; // the number Show() returned for the request this answers
    std::string path;
    FileIdentity identity; // the file as it was read
    PictureKind kind = PictureKind::ScreenCopy;
    std::shared_ptr<const DecodedPicture> pixels; // null when the decode failed
    // The picture's own size; 0 x 0 when the decode failed before the header was read.
    int fullWidth = 0;
    int fullHeight = 0;
    // A display copy: the full picture reduced to exactly the size it was asked for, the
    // same pixels as the window's own reduction of the full picture (neighbours decoded
    // ahead, when the decoders can make them).
    bool exact = false;
    // When the decode failed: the decoder's exception, its message and its kind; `kind` then
    // says which decode failed (ScreenCopy: the first one, whatever its scale). An error ends
    // the work for that request: no full-size decode follows a failed first decode.
    std::exception_ptr error;
    std::string errorText;
    PictureErrorType errorType = PictureErrorType::None;

    bool Ok() const { return pixels != nullptr; }
};

// The size (in the units of the shown sizes, the window's device pixels) a picture of
// width x height takes in the window at fit. Called on worker threads: it must not touch the
// window's state.
using FitSize = std::function<Size(int width, int height)>;

class PicturePipeline {
public:
    // Called on a worker thread, never two at once; must not throw (an exception ends the
    // program) and must not destroy the pipeline. It may call Show() and Ahead().
    using ResultCallback = std::function<void(PictureResult)>;

    struct Options {
        int threads = 0;                                // 0: DefaultThreadCount()
        std::size_t cacheBytes = std::size_t{48} << 20; // budget of the kept screen copies
        // What the running decodes, the kept full picture and the pixels waiting to be freed
        // may hold together (see Sizes above): the largest decode and a margin.
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

    // Screen copies at shownWidth x shownHeight for `paths`, most wanted first, kept for a
    // later Show(). Replaces the neighbours asked for before; the current picture is skipped.
    // With `fit`, no copy is larger than its picture at fit (see Sizes above).
    void Ahead(std::vector<std::string> paths, int shownWidth, int shownHeight, FitSize fit = {});

    // Lets go of pictures on a worker thread: freeing a full-size picture costs milliseconds
    // that the GUI thread should not spend. The pipeline lets go of what it drops the same way.
    void Release(std::shared_ptr<const DecodedPicture> pixels);

    // Decodes waiting for a free worker (not counting running ones).
    std::size_t PendingJobs() const;
    // Blocks until nothing is pending, running or being freed. For tests and benchmarks.
    void WaitUntilIdle();

    int ThreadCount() const { return static_cast<int>(workers_.size()); }
    // The number of cores, at least 1 and at most 4.
    static int DefaultThreadCount();

private:
    enum class JobKind { StandIn, First, Full, Neighbour };
    struct Job {
        JobKind kind;
        std::string path;
        int minWidth = 0;
        int minHeight = 0;
    };
    struct RunningJob {
        explicit RunningJob(Job j)
            : job(std::move(j)), reachWidth(job.minWidth), reachHeight(job.minHeight) {}
        Job job;
        CancelFlag cancel;
        std::uint64_t bytes = 0; // what it holds at its peak, once planned
        // The size its copy reaches: a neighbour's may stay below the size asked for.
        int reachWidth;
        int reachHeight;
    };
    // How a job is to be done, from its file's facts.
    struct Plan {
        enum class Action { Run, Wait, Skip } action = Action::Run;
        std::uint64_t bytes = 0; // what the decode holds at its peak
        int width = 0;           // the size decoded for (a neighbour's may be below the request)
        int height = 0;
        bool full = false; // decoded at full size through decodeFull
    };
    struct KnownFacts {
        FileIdentity identity;
        PictureFacts facts;
    };
    // What a decode gave: pixels, or the error that stopped it.
    struct Decoded {
        std::shared_ptr<const DecodedPicture> pixels;
        int fullWidth = 0;
        int fullHeight = 0;
        bool exact = false; // a display copy (see PictureResult::exact)
        std::exception_ptr error;
        std::string errorText;
        PictureErrorType errorType = PictureErrorType::None;
    };
    // A kept screen copy or error.
    struct KeptCopy : Decoded {
        FileIdentity identity;
        int madeForWidth = 0; // the size asked for when it was decoded
        int madeForHeight = 0;
        bool reusable = true; // false: the file changed while it was decoded
        std::size_t bytes = 0;
        std::uint64_t lastUse = 0;
    };
    struct Current {
        std::string path;
        int width = 0;
        int height = 0;
        bool reduced = false; // the first decode is known to be a reduced copy
        bool standInTried = false;
        bool firstDelivered = false;
        bool fullDelivered = false;
    };
    struct Outcome; // what one job produced

    void WorkerLoop();
    std::vector<Job> WantedJobs() const;
    // The wanted jobs a worker may start now: a full-size decode waits until what was let go
    // of has been freed and no other full-size decode runs (one no longer wanted ends at its
    // decoder's next poll of the cancel flag), so that two full pictures never take memory at
    // once, even on two workers.
    // Jobs whose plan is to wait are held back; for the current picture's, the running
    // neighbours in their way are cancelled.
    std::vector<Job> StartableJobs();
    // What the job costs and whether it can start now; Run when the file's facts are unknown.
    Plan PlanOf(const Job& job) const;
    Plan PlanOf(const Job& job, const PictureFacts& facts) const;
    // Bytes held now by the running decodes of the current picture (and of other pictures,
    // when asked), the kept full picture (when asked) and the pixels waiting to be freed.
    std::uint64_t BytesInUse(bool withFull, bool withOthers) const;
    bool ForCurrent(const RunningJob& running) const;
    // Bytes of the kept copies worth more than a new copy of `path` would be.
    std::size_t KeptBytesWorthMore(const std::string& path) const;
    // Cancels the running decodes of other pictures when the current picture's job waits for
    // them.
    void MakeRoomForCurrent(const std::vector<Job>& waiting);
    void ForgetFacts();
    Outcome Run(RunningJob& running, std::unique_lock<std::mutex>& lock);
    std::optional<PictureResult> Complete(const Job& job, Outcome outcome);
    std::optional<PictureResult> CompleteStandIn(const Job& job, Outcome outcome);
    void Deliver(std::unique_lock<std::mutex>& lock, PictureResult result);
    void CancelUnwanted();
    void Discard(std::shared_ptr<const DecodedPicture> pixels);
    void ReleaseDiscarded(std::unique_lock<std::mutex>& lock);
    void Keep(const std::string& path, KeptCopy copy);
    std::uint64_t Worth(const std::string& path, const KeptCopy& copy) const;
    void Touch(const std::string& path);
    // A screen copy's decode (the current picture's first, or a neighbour's).
    static bool IsCopy(JobKind kind);
    // Something kept (the full picture, or a copy as it was read) may answer the first decode.
    bool KeptFor(const std::string& path, int width, int height) const;
    bool IsAhead(const std::string& path) const;
    // The copy answers a request for width x height: its pixels reach that size (or it is
    // the picture at full size, or an error).
    bool Covers(const KeptCopy& copy, int width, int height) const;
    // The copy was made for the neighbours' request of that size.
    bool CoversAhead(const KeptCopy& copy, int width, int height) const;

    const PictureDecoders decoders_;
    const ResultCallback onResult_;
    const std::size_t cacheBytes_;
    const std::uint64_t decodeBytes_;
    const int backgroundNice_;

    mutable std::mutex mutex_;
    std::condition_variable changed_; // the wanted work, the running jobs or the deliveries
    bool stopping_ = false;
    std::uint64_t request_ = 0;
    std::optional<Current> current_;
    std::vector<std::string> ahead_;
    // Neighbours decoded (or failed) since the last Ahead(): not tried again until the next,
    // even when their copy could not be kept.
    std::unordered_set<std::string> aheadTried_;
    int aheadWidth_ = 0;
    int aheadHeight_ = 0;
    FitSize aheadFit_;
    // Facts read from the headers of the current picture and the neighbours.
    std::unordered_map<std::string, KnownFacts> facts_;
    std::list<RunningJob> running_;
    std::unordered_map<std::string, KeptCopy> copies_;
    std::size_t copiesBytes_ = 0;
    std::uint64_t useClock_ = 0;
    // The one full-size picture kept: the current picture's, once decoded.
    std::string fullPath_;
    FileIdentity fullIdentity_;
    std::shared_ptr<const DecodedPicture> full_;
    // Pixels let go of, freed by the next free worker outside the lock.
    std::vector<std::shared_ptr<const DecodedPicture>> discarded_;
    std::uint64_t discardedBytes_ = 0;
    int releasing_ = 0; // workers freeing discarded pixels now
    std::uint64_t releasingBytes_ = 0;
    // Deliveries take numbered turns, so that the callback sees results in the order they
    // were produced even when two workers finish at once.
    std::uint64_t nextTurn_ = 0;
    std::uint64_t servedTurn_ = 0;

    std::vector<std::thread> workers_; // last: started once everything above exists
};

} // namespace tessaly
