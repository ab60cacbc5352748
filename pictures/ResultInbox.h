// Where the picture pipeline's workers leave results for the GUI thread.
//
// A worker puts a result in and then wakes the GUI thread by whatever means the window system
// offers, with nothing attached; the GUI thread takes out all that is there. The results
// themselves pass only through this mutex, so the hand-over from one thread to the other is
// plain to see (for ThreadSanitizer too) and a wake-up that finds the inbox empty is harmless.
#pragma once

#include "pictures/PicturePipeline.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <vector>

namespace tessaly {

class ResultInbox {
public:
    void Put(PictureResult result);
    // Everything put in so far, oldest first; the inbox is empty afterwards.
    std::vector<PictureResult> TakeAll();
    // Waits until something is in the inbox or `timeout` has passed; true when something is.
    bool WaitForResult(std::chrono::milliseconds timeout);

private:
    std::mutex mutex_;
    std::condition_variable arrived_;
    std::vector<PictureResult> results_;
};

} // namespace tessaly
