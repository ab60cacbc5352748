#include "thumbnails/ThumbnailService.h"

#include "jpeg/JpegDecoder.h"

#include <algorithm>
#include <cerrno>
#include <string_view>
#include <sys/resource.h>
#include <unistd.h>

namespace tessaly {

namespace {

// Raises the calling thread's nice value by `nice`; a failure leaves it as it was.
void LowerThisThread(int nice) {
    if (nice <= 0)
        return;
    const auto thread = static_cast<id_t>(::gettid());
    errno = 0;
    const int now = ::getpriority(PRIO_PROCESS, thread);
    if (errno == 0)
        ::setpriority(PRIO_PROCESS, thread, std::min(now + nice, 19));
}

int ScreenThreads(int asked) {
    if (asked > 0)
        return asked;
    return static_cast<int>(std::clamp(std::thread::hardware_concurrency(), 1u, 4u));
}

} // namespace

ThumbnailService::ThumbnailService(ThumbnailCache cache, Wake wake)
    : ThumbnailService(std::move(cache), std::move(wake), Options{}) {}

ThumbnailService::ThumbnailService(ThumbnailCache cache, Wake wake, Options options)
    : provider_(std::move(cache)), wake_(std::move(wake)), memoryBytes_(options.memoryBytes),
      backgroundNice_(options.backgroundNice) {
    const int threads = ScreenThreads(options.threads);
    workers_.reserve(static_cast<std::size_t>(threads) + 1);
    for (int i = 0; i < threads; ++i)
        workers_.emplace_back([this] { WorkerLoop(false); });
    workers_.emplace_back([this] { WorkerLoop(true); });
}

ThumbnailService::~ThumbnailService() {
    {
        const std::lock_guard lock(mutex_);
        stopping_ = true;
        StopRunning();
    }
    changed_.notify_all();
    for (std::thread& worker : workers_)
        worker.join();
}

void ThumbnailService::SetList(std::vector<std::string> paths, ThumbnailSize size) {
    {
        const std::lock_guard lock(mutex_);
        if (size == size_ && !paths_.empty()) {
            Remap(std::move(paths));
            paused_ = true;
            changed_.notify_all();
            return;
        }
        StopRunning();
        ++generation_;
        paths_ = std::move(paths);
        size_ = size;
        cells_.assign(paths_.size(), Cell::Unknown);
        nextDoneAt_.assign(paths_.size(), 0);
        showCount_ = 0;
        screenFirst_ = screenEnd_ = nextFirst_ = nextEnd_ = 0;
        restStarted_ = false;
        restCursor_ = 0;
        restLeft_ = paths_.size();
        kept_.clear();
        seen_.clear();
        keptBytes_ = 0;
        inbox_.clear();
        paused_ = true;
    }
    changed_.notify_all();
}

void ThumbnailService::Remap(std::vector<std::string> paths) {
    const std::size_t n = paths.size();
    // Each old cell's new place (kGone when its file is not listed any more); a file listed
    // twice takes its state to its first place.
    std::unordered_map<std::string_view, std::size_t> oldIndex;
    oldIndex.reserve(paths_.size());
    for (std::size_t j = 0; j < paths_.size(); ++j)
        oldIndex.try_emplace(paths_[j], j);
    std::vector<std::size_t> newIndex(paths_.size(), kGone);
    std::vector<Cell> cells(n, Cell::Unknown);
    for (std::size_t i = 0; i < n; ++i) {
        const auto old = oldIndex.find(paths[i]);
        if (old == oldIndex.end() || newIndex[old->second] != kGone)
            continue;
        newIndex[old->second] = i;
        cells[i] = cells_[old->second];
    }

    // The kept thumbnails in the same order of last sight.
    std::unordered_map<std::size_t, Kept> kept;
    std::list<std::size_t> seen;
    for (const std::size_t j : seen_) {
        Kept& was = kept_.at(j);
        if (newIndex[j] == kGone) {
            keptBytes_ -= was.bytes;
            continue;
        }
        seen.push_back(newIndex[j]);
        kept[newIndex[j]] = Kept{std::move(was.image), was.bytes, std::prev(seen.end())};
    }
    std::erase_if(inbox_, [&](ThumbnailNote& note) {
        note.index = newIndex[note.index];
        return note.index == kGone;
    });
    for (const auto& running : running_) {
        if (running->generation != generation_ || running->index == kGone)
            continue;
        running->index = newIndex[running->index];
        if (running->index == kGone)
            running->stop.store(true, std::memory_order_relaxed);
    }

    paths_ = std::move(paths);
    cells_ = std::move(cells);
    kept_ = std::move(kept);
    seen_ = std::move(seen);
    nextDoneAt_.assign(n, 0);
    // Nothing is on screen until the next Show; the background pass looks at every cell again
    // and passes those it knows at once.
    screenFirst_ = screenEnd_ = nextFirst_ = nextEnd_ = 0;
    restCursor_ = n > 0 ? std::min(restCursor_, n - 1) : 0;
    restLeft_ = n;
}

void ThumbnailService::Show(std::size_t first, std::size_t count, int direction) {
    {
        const std::lock_guard lock(mutex_);
        const std::size_t n = paths_.size();
        first = std::min(first, n);
        count = std::min(count, n - first);
        screenFirst_ = first;
        screenEnd_ = first + count;
        if (direction < 0) {
            nextFirst_ = first - std::min(first, count);
            nextEnd_ = first;
        } else {
            nextFirst_ = screenEnd_;
            nextEnd_ = std::min(n, screenEnd_ + count);
        }
        ++showCount_;
        if (!restStarted_) {
            restStarted_ = true;
            restCursor_ = first < n ? first : 0; // a Show past the end starts at the top
        }
        // Seen now: the cells on screen are the last to be dropped, in their order.
        for (std::size_t i = screenEnd_; i-- > screenFirst_;)
            Touch(i);
        paused_ = false;
    }
    changed_.notify_all();
}

void ThumbnailService::Cancel() {
    const std::lock_guard lock(mutex_);
    paused_ = true;
    StopRunning();
}

QImage ThumbnailService::Held(std::size_t index) {
    const std::lock_guard lock(mutex_);
    const auto kept = kept_.find(index);
    if (kept == kept_.end())
        return {};
    Touch(index);
    return kept->second.image;
}

ThumbnailService::State ThumbnailService::StateOf(std::size_t index) const {
    const std::lock_guard lock(mutex_);
    if (kept_.contains(index))
        return State::Ready;
    if (index < cells_.size() && cells_[index] == Cell::Failed)
        return State::Failed;
    return State::Waiting;
}

std::vector<ThumbnailNote> ThumbnailService::TakeResults() {
    const std::lock_guard lock(mutex_);
    std::vector<ThumbnailNote> notes;
    notes.swap(inbox_);
    return notes;
}

std::size_t ThumbnailService::HeldBytes() const {
    const std::lock_guard lock(mutex_);
    return keptBytes_;
}

void ThumbnailService::WaitUntilIdle() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return Idle(); });
}

bool ThumbnailService::WaitForResults(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return changed_.wait_for(lock, timeout, [this] { return !inbox_.empty(); });
}

bool ThumbnailService::Idle() {
    if (!running_.empty() || writing_ > 0)
        return false;
    Job job;
    return !NextJob(true, job);
}

bool ThumbnailService::OnScreen(std::size_t index) const {
    return index >= screenFirst_ && index < screenEnd_;
}

bool ThumbnailService::InNext(std::size_t index) const {
    return index >= nextFirst_ && index < nextEnd_;
}

bool ThumbnailService::NextJob(bool background, Job& job) {
    if (stopping_)
        return false;
    const auto write = [&] {
        if (writes_.empty())
            return false;
        job = {Kind::Write, 0, {}};
        return true;
    };
    if (paused_)
        return write();
    const auto wanted = [&](std::size_t i) {
        return cells_[i] != Cell::Running && cells_[i] != Cell::Failed && !kept_.contains(i);
    };
    for (std::size_t i = screenFirst_; i < screenEnd_; ++i)
        if (wanted(i)) {
            job = {Kind::Screen, i, paths_[i]};
            return true;
        }
    // Towards the direction of scrolling: nearest the screen first.
    const bool before = nextEnd_ == screenFirst_ && nextFirst_ < nextEnd_;
    for (std::size_t k = 0; k < nextEnd_ - nextFirst_; ++k) {
        const std::size_t i = before ? nextEnd_ - 1 - k : nextFirst_ + k;
        // Read once per Show: a next-screen cell dropped for memory is not read again and
        // again while the screen stays.
        if (wanted(i) && nextDoneAt_[i] != showCount_) {
            job = {Kind::Next, i, paths_[i]};
            return true;
        }
    }
    // The thumbnails handed over are written once the cells on screen and next are done.
    if (write())
        return true;
    if (!background)
        return false;
    // The cursor stays on the cell it hands out: once taken, the cell is running and the
    // next look passes it.
    while (restLeft_ > 0) {
        const std::size_t i = restCursor_;
        if (cells_[i] == Cell::Unknown && !kept_.contains(i)) {
            job = {Kind::Rest, i, paths_[i]};
            return true;
        }
        restCursor_ = restCursor_ + 1 == paths_.size() ? 0 : restCursor_ + 1;
        --restLeft_;
    }
    return false;
}

void ThumbnailService::WorkerLoop(bool background) {
    if (background)
        LowerThisThread(backgroundNice_);
    std::unique_lock lock(mutex_);
    for (;;) {
        Job job;
        changed_.wait(lock, [&] { return stopping_ || NextJob(background, job); });
        if (stopping_)
            return;
        if (job.kind == Kind::Write) {
            WriteOne(lock);
            continue;
        }
        const Cell before = cells_[job.index];
        cells_[job.index] = Cell::Running;
        auto& running = *running_.emplace_back(std::make_unique<Running>(generation_, job.index));
        const auto mine = std::prev(running_.end());
        const ThumbnailSize size = size_;
        lock.unlock();

        ThumbnailOutcome outcome;
        bool stopped = false;
        try {
            // A cell's thumbnail is handed over before it is encoded and written.
            outcome = provider_.Provide(job.path, size, job.kind != Kind::Rest, &running.stop,
                                        job.kind != Kind::Rest);
        } catch (const JpegDecodeStopped&) {
            stopped = true;
        } catch (const std::exception& e) {
            outcome = {ThumbnailSource::Failed, {}, {}, job.path + ": " + e.what(), {}};
        }

        lock.lock();
        // The cell's place now: the list may have changed around the file meanwhile.
        const std::size_t index = running.index;
        const bool current = running.generation == generation_ && index != kGone;
        running_.erase(mine);
        if (!current) {
            changed_.notify_all();
            continue;
        }
        if (stopped) {
            cells_[index] = before;
            changed_.notify_all();
            continue;
        }
        cells_[index] = outcome.Ok() ? Cell::OnDisk : Cell::Failed;
        bool wakeNow = false;
        if (job.kind != Kind::Rest) {
            if (outcome.Ok() && !outcome.image.isNull()) {
                if (job.kind == Kind::Next)
                    nextDoneAt_[index] = showCount_;
                Keep(index, std::move(outcome.image));
            }
            wakeNow = inbox_.empty();
            inbox_.push_back({index, !outcome.Ok(), outcome.Ok() ? std::string() : outcome.error});
        }
        if (outcome.pending)
            writes_.push_back(std::move(*outcome.pending));
        changed_.notify_all();
        if (wakeNow && wake_) {
            lock.unlock();
            wake_();
            lock.lock();
        }
    }
}

void ThumbnailService::WriteOne(std::unique_lock<std::mutex>& lock) {
    ThumbnailOutcome outcome;
    outcome.pending = std::move(writes_.front());
    writes_.pop_front();
    ++writing_;
    lock.unlock();
    provider_.Write(outcome); // a cache that cannot be written costs only the reuse
    lock.lock();
    --writing_;
    changed_.notify_all();
}

void ThumbnailService::Keep(std::size_t index, QImage image) {
    const auto bytes = static_cast<std::size_t>(image.sizeInBytes());
    if (const auto old = kept_.find(index); old != kept_.end()) {
        keptBytes_ -= old->second.bytes;
        seen_.erase(old->second.seen);
        kept_.erase(old);
    }
    seen_.push_back(index);
    kept_[index] = Kept{std::move(image), bytes, std::prev(seen_.end())};
    keptBytes_ += bytes;
    DropOverCap();
}

void ThumbnailService::Touch(std::size_t index) {
    const auto kept = kept_.find(index);
    if (kept != kept_.end())
        seen_.splice(seen_.end(), seen_, kept->second.seen);
}

void ThumbnailService::DropOverCap() {
    auto it = seen_.begin();
    while (keptBytes_ > memoryBytes_ && it != seen_.end()) {
        const std::size_t index = *it;
        if (OnScreen(index)) {
            ++it;
            continue;
        }
        const auto kept = kept_.find(index);
        keptBytes_ -= kept->second.bytes;
        kept_.erase(kept);
        it = seen_.erase(it);
    }
}

void ThumbnailService::Changed(const std::string& path) {
    const std::lock_guard lock(mutex_);
    for (std::size_t i = 0; i < paths_.size(); ++i) {
        if (paths_[i] != path)
            continue;
        if (const auto kept = kept_.find(i); kept != kept_.end()) {
            keptBytes_ -= kept->second.bytes;
            seen_.erase(kept->second.seen);
            kept_.erase(kept);
        }
        std::erase_if(inbox_, [i](const ThumbnailNote& note) { return note.index == i; });
        for (const auto& running : running_) {
            if (running->generation == generation_ && running->index == i) {
                running->index = kGone; // what it makes is of the file as it was
                running->stop.store(true, std::memory_order_relaxed);
            }
        }
        cells_[i] = Cell::Unknown;
    }
    changed_.notify_all();
}

void ThumbnailService::StopRunning() {
    for (const auto& running : running_)
        running->stop.store(true, std::memory_order_relaxed);
}

} // namespace tessaly
