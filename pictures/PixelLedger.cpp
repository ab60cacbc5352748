#include "pictures/PixelLedger.h"

#include <condition_variable>
#include <mutex>
#include <utility>
#include <vector>

namespace tessaly {

struct PixelLedger::State {
    struct Doomed {
        const DecodedPicture* pixels;
        std::uint64_t bytes;
    };

    mutable std::mutex mutex;
    std::condition_variable doomedArrived;
    std::vector<Doomed> doomed;
    std::uint64_t bytes = 0;
    int freeing = 0; // batches the reaper is freeing now
    bool reaping = true;

    // The deleter's half: freed by the reaper while it runs, here once it has stopped.
    void LetGo(const DecodedPicture* pixels, std::uint64_t size) {
        {
            const std::lock_guard lock(mutex);
            if (reaping) {
                doomed.push_back({pixels, size});
                doomedArrived.notify_one();
                return;
            }
        }
        delete pixels;
        const std::lock_guard lock(mutex);
        bytes -= size;
    }
};

PixelLedger::PixelLedger(std::function<void()> onFreed) : state_(std::make_shared<State>()) {
    reaper_ = std::thread([state = state_, onFreed = std::move(onFreed)] {
        std::unique_lock lock(state->mutex);
        for (;;) {
            state->doomedArrived.wait(lock,
                                      [&] { return !state->doomed.empty() || !state->reaping; });
            if (state->doomed.empty())
                return; // stopped, nothing left
            std::vector<State::Doomed> batch;
            batch.swap(state->doomed);
            ++state->freeing;
            lock.unlock();
            std::uint64_t freed = 0;
            for (const State::Doomed& d : batch) {
                delete d.pixels; // a full picture takes milliseconds: no lock held
                freed += d.bytes;
            }
            lock.lock();
            state->bytes -= freed;
            --state->freeing;
            lock.unlock();
            if (onFreed)
                onFreed();
            lock.lock();
        }
    });
}

PixelLedger::~PixelLedger() {
    {
        const std::lock_guard lock(state_->mutex);
        state_->reaping = false;
    }
    state_->doomedArrived.notify_one();
    reaper_.join();
}

std::shared_ptr<const DecodedPicture> PixelLedger::Adopt(DecodedPicture pixels) {
    const std::uint64_t size = pixels.SizeBytes();
    auto owned = std::make_unique<const DecodedPicture>(std::move(pixels));
    {
        const std::lock_guard lock(state_->mutex);
        state_->bytes += size;
    }
    return {owned.release(),
            [state = state_, size](const DecodedPicture* p) { state->LetGo(p, size); }};
}

std::uint64_t PixelLedger::Bytes() const {
    const std::lock_guard lock(state_->mutex);
    return state_->bytes;
}

bool PixelLedger::Freeing() const {
    const std::lock_guard lock(state_->mutex);
    return !state_->doomed.empty() || state_->freeing > 0;
}

} // namespace tessaly
