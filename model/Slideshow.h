// The slideshow's clock, apart from any timer: when the next picture is due, which ticks step,
// which wait and which are skipped, and when the slideshow ends by itself. The window's timer
// calls Tick at the time UntilDue names, with the time of its own clock; tests hand in theirs.
//
// Steps are due at whole intervals from the start, so a step that takes its time does not push
// the later ones back; after a step that took longer than an interval (or a suspended machine)
// the next is due one interval after the late one.
#pragma once

#include <array>
#include <chrono>

namespace tessaly {

class Slideshow {
public:
    using Clock = std::chrono::steady_clock;
    // The intervals offered, in seconds, and the one a slideshow starts with.
    static constexpr std::array<int, 4> kIntervals{2, 3, 5, 10};
    static constexpr std::chrono::seconds kDefaultInterval{3};

    bool Running() const { return running_; }
    std::chrono::seconds Interval() const { return interval_; }

    // Starts at `now` (the first step is due one interval later) when the list can be stepped
    // through (`canStep`); false, and nothing starts, otherwise.
    bool Start(Clock::time_point now, bool canStep);
    void Stop() { running_ = false; }
    // A new interval; a running slideshow's next step is due one new interval after the last
    // change of picture.
    void SetInterval(std::chrono::seconds interval);

    // What keeps a due step from happening now.
    struct Conditions {
        bool canStep = true; // the list can still be stepped through
        bool held = false;   // a folder search runs, or a modal dialog or a popup is open
    };
    enum class Tick {
        None,  // not running: a timer left over
        Wait,  // not due yet: wait until UntilDue
        Skip,  // due but held: the step is skipped and the next is due one interval on
        Step,  // show the next picture
        Ended, // the list can no longer be stepped through: the slideshow stopped
    };
    Tick OnTick(Clock::time_point now, Conditions conditions);

    // How long from `now` until the next step is due (zero when it is overdue).
    std::chrono::milliseconds UntilDue(Clock::time_point now) const;

private:
    bool running_ = false;
    std::chrono::seconds interval_ = kDefaultInterval;
    Clock::time_point last_{}; // the last change of picture (or the start)
    Clock::time_point due_{};
};

} // namespace tessaly
