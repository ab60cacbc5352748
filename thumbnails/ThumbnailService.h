// Thumbnails for a list of files, made on worker threads in order of need, for a grid that
// never waits for one.
//
// Threads. Made and owned on the GUI thread; every member may be called from any thread and
// none waits for a thumbnail (except the Wait* members, for tests and benchmarks). The
// workers start at once: `threads` at the caller's priority for what is on screen and next to
// it, and one at a lower priority (Options::backgroundNice, for good: an unprivileged process
// cannot raise a thread's priority again) that does the rest of the list when nothing more
// urgent is waiting. The destructor stops the running work, waits for every worker and
// returns only then, so no callback runs once it has returned.
//
// Work, most urgent first:
//   1. the cells on screen (Show's range), in their order;
//   2. the next screen in the direction of scrolling (as many cells beyond the range);
//   3. the rest of the list, once, in list order from where the first Show was, wrapping
//      round: only the cache is made or checked (nothing is kept in memory or reported).
// A cell's thumbnail comes from the shared cache, a larger cached one reduced, or is made
// and written there (ThumbnailProvider); a file that cannot be made into one is reported
// failed, once per list.
//
// Results. A worker that has a thumbnail for a cell of 1 or 2 keeps it in memory and puts a
// note in the inbox; when the inbox was empty it calls `wake` (on the worker thread; it must
// not call the service, only ask the GUI thread to call TakeResults, e.g. with a queued
// call). Notes of an older list are never handed out. A thumbnail made for such a cell is
// handed over first, and written to the cache once the cells of 1 and 2 are done (before the
// work of 3; the writes go on while work is cancelled).
//
// Memory. The pixels kept are capped at Options::memoryBytes: over it, the thumbnails least
// recently seen (Show's range, Held) are dropped first, never one on screen, so the cap holds
// whatever the length of the list unless one screen alone takes more. A thumbnail dropped
// and wanted again is read back from the cache.
#pragma once

#include "thumbnails/ThumbnailCache.h"
#include "thumbnails/ThumbnailProvider.h"

#include <QImage>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <list>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <unordered_map>
#include <vector>

namespace tessaly {

struct ThumbnailNote {
    std::size_t index = 0;
    bool failed = false; // the cell shows a broken picture; `error` says why
    std::string error;
};

class ThumbnailService {
public:
    using Wake = std::function<void()>;

    struct Options {
        int threads = 0; // workers for the cells on screen and next; 0: the cores, 1 to 4
        int backgroundNice = 10;
        std::size_t memoryBytes = std::size_t{64} << 20;
    };

    enum class State : std::uint8_t {
        Waiting, // not known yet: a placeholder
        Ready,   // Held() gives it (until dropped for memory: then Waiting again)
        Failed,
    };

    ThumbnailService(ThumbnailCache cache, Wake wake);
    ThumbnailService(ThumbnailCache cache, Wake wake, Options options);
    ~ThumbnailService();
    ThumbnailService(const ThumbnailService&) = delete;
    ThumbnailService& operator=(const ThumbnailService&) = delete;

    // A new list with thumbnails of `size`. At the size of the old list, what is known of a
    // file (its kept thumbnail, its failure, its notes, its running work) follows the file to
    // its place in the new list, so that a file added or removed costs only that file's work;
    // what belonged to files no longer listed is dropped and their running work stopped. At
    // another size everything is dropped. Nothing is made until the next Show.
    void SetList(std::vector<std::string> paths, ThumbnailSize size);

    // The file at `path` changed (turned, baked, rewritten): what is known of it (its kept
    // thumbnail, its failure, its notes, its running work) is forgotten, and its thumbnail is
    // checked against the cache and made again if need be at the next Show.
    void Changed(const std::string& path);

    // Cells [first, first + count) are on screen; `direction` > 0 when scrolling towards the
    // end of the list, < 0 towards its start, 0 when standing (the next screen then lies
    // after). Resumes work stopped by Cancel.
    void Show(std::size_t first, std::size_t count, int direction);

    // Stops all work (the running one soon, nothing more started) until the next Show; what
    // is kept stays.
    void Cancel();

    // The kept thumbnail of cell `index` (null when none), marked as just seen.
    QImage Held(std::size_t index);
    State StateOf(std::size_t index) const;

    // The notes put in since the last call, oldest first.
    std::vector<ThumbnailNote> TakeResults();

    // Bytes of the pixels kept.
    std::size_t HeldBytes() const;
    // Blocks until no work is running or left to start. For tests and benchmarks.
    void WaitUntilIdle();
    // Blocks until the inbox holds a note or `timeout` passed; true when it does.
    bool WaitForResults(std::chrono::milliseconds timeout);

private:
    enum class Kind { Screen, Next, Write, Rest };
    // What is known of a cell.
    enum class Cell : std::uint8_t { Unknown, Running, OnDisk, Failed };
    struct Job {
        Kind kind;
        std::size_t index;
        std::string path;
    };
    struct Running {
        std::uint64_t generation;
        std::size_t index; // kGone once the file left the list
        std::atomic<bool> stop{false};
    };
    static constexpr std::size_t kGone = static_cast<std::size_t>(-1);
    struct Kept {
        QImage image;
        std::size_t bytes = 0;
        std::list<std::size_t>::iterator seen; // its place in seen_
    };

    // The same size's new list: the cells' states, kept thumbnails, notes and running work
    // moved to the files' new places. Called with the mutex held.
    void Remap(std::vector<std::string> paths);
    void WorkerLoop(bool background);
    // Writes the oldest thumbnail handed over; called and returns with the mutex held.
    void WriteOne(std::unique_lock<std::mutex>& lock);
    // The most urgent job a worker may take now (a background one only for the background
    // worker); false when none. Called with the mutex held.
    bool NextJob(bool background, Job& job);
    bool OnScreen(std::size_t index) const;
    bool InNext(std::size_t index) const;
    void Keep(std::size_t index, QImage image);
    void Touch(std::size_t index);
    void DropOverCap();
    void StopRunning();
    // Nothing running and nothing to start (the background pass's cursor moves past the cells
    // that need nothing). Called with the mutex held.
    bool Idle();

    ThumbnailProvider provider_;
    Wake wake_;
    const std::size_t memoryBytes_;
    const int backgroundNice_;

    mutable std::mutex mutex_;
    std::condition_variable changed_; // work to take, work done, notes put in, stopping
    bool stopping_ = false;
    bool paused_ = true; // before the first Show, and after Cancel
    std::uint64_t generation_ = 0;
    std::vector<std::string> paths_;
    ThumbnailSize size_ = ThumbnailSize::Normal;
    std::vector<Cell> cells_;
    std::vector<std::uint32_t> nextDoneAt_; // the Show in which a next-screen cell was read
    std::uint32_t showCount_ = 0;
    std::size_t screenFirst_ = 0, screenEnd_ = 0;
    std::size_t nextFirst_ = 0, nextEnd_ = 0;
    bool restStarted_ = false;
    std::size_t restCursor_ = 0; // the next cell the background pass looks at
    std::size_t restLeft_ = 0;   // cells it has not looked at yet
    std::list<std::unique_ptr<Running>> running_;
    // Thumbnails handed over and waiting to be written to the cache, and those being written.
    std::deque<PendingThumbnailWrite> writes_;
    int writing_ = 0;
    std::unordered_map<std::size_t, Kept> kept_;
    std::list<std::size_t> seen_; // kept cells, least recently seen first
    std::size_t keptBytes_ = 0;
    std::vector<ThumbnailNote> inbox_;
    std::vector<std::thread> workers_;
};

} // namespace tessaly
