#include "pictures/ResultInbox.h"

#include <utility>

namespace tessaly {

void ResultInbox::Put(PictureResult result) {
    {
        const std::lock_guard lock(mutex_);
        results_.push_back(std::move(result));
    }
    arrived_.notify_all();
}

std::vector<PictureResult> ResultInbox::TakeAll() {
    std::vector<PictureResult> taken;
    const std::lock_guard lock(mutex_);
    taken.swap(results_);
    return taken;
}

bool ResultInbox::WaitForResult(std::chrono::milliseconds timeout) {
    std::unique_lock lock(mutex_);
    return arrived_.wait_for(lock, timeout, [this] { return !results_.empty(); });
}

} // namespace tessaly
