#include "model/Slideshow.h"

#include <algorithm>

namespace tessaly {

bool Slideshow::Start(Clock::time_point now, bool canStep) {
    if (!canStep)
        return false;
    running_ = true;
    last_ = now;
    due_ = now + interval_;
    return true;
}

void Slideshow::SetInterval(std::chrono::seconds interval) {
    interval_ = interval;
    due_ = last_ + interval_;
}

Slideshow::Tick Slideshow::OnTick(Clock::time_point now, Conditions conditions) {
    if (!running_)
        return Tick::None;
    if (!conditions.canStep) {
        running_ = false;
        return Tick::Ended;
    }
    if (now < due_)
        return Tick::Wait;
    if (conditions.held) {
        last_ = now;
        due_ = now + interval_;
        return Tick::Skip;
    }
    last_ = now;
    due_ += interval_;
    if (due_ <= now)
        due_ = now + interval_;
    return Tick::Step;
}

std::chrono::milliseconds Slideshow::UntilDue(Clock::time_point now) const {
    return std::max(std::chrono::milliseconds(0),
                    std::chrono::ceil<std::chrono::milliseconds>(due_ - now));
}

} // namespace tessaly
