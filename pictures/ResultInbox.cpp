#include "pictures/ResultInbox.h"

#include <utility>

namespace tessaly {

void ResultInbox::Put(PictureResult result) {
    const std::lock_guard lock(mutex_);
    results_.push_back(std::move(result));
}

std::vector<PictureResult> ResultInbox::TakeAll() {
    std::vector<PictureResult> taken;
    const std::lock_guard lock(mutex_);
    taken.swap(results_);
    return taken;
}

} // namespace tessaly
