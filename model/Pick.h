// The numbers of a pick window: where it goes, the size it shows the pick at, its caption and
// the hint over its picture.
#pragma once

#include "model/Geometry.h"

#include <optional>
#include <string>

namespace tessaly {

// The outer corner of a new pick window: 20 pixels right of and below `previous`, the
// corner of the pick window before it (or of the main window for the first).
Point NextPickCorner(Point previous);

// Where the pick windows go. The first goes beside the main window's corner as it was at the
// main window's first activation, once its frame is known (the window manager frames it a
// moment after it is shown); each later one beside the previous pick window's corner,
// wherever that window is now.
class PickPlacement {
public:
    // The main window was activated for the first time, its frame's corner at `corner`.
    void FirstActivation(Point corner);
    // The window manager has framed the main window; its frame's corner is at `corner`.
    void FrameSettled(Point corner);
    // The outer corner of a new pick window (NextPickCorner): `previousPick` is the corner of
    // the pick window before it (none for the first), `mainCorner` the main window's now.
    Point NextCorner(std::optional<Point> previousPick, Point mainCorner);

private:
    std::optional<Point> start_; // the main window's corner the first pick goes beside
    bool frameSettled_ = false;
    bool waitingForFrame_ = false; // activated before the frame was known
};

// The display size of a pick window for a pick of `pick` pixels beside a main window of
// outer size `mainOuter`: the actual size, or for a pick larger than the main window in
// either direction at most half the main window's outer size each way, aspect kept.
Size PickDisplaySize(Size pick, Size mainOuter);

// The caption "取出[n] サイズ(W,H)".
std::string PickCaption(int number, Size pick);

// The hint over a pick window's picture shown at `shown`: "p%表示 実サイズ(W,H)" as the pick
// shows it, and "p%(w,h)表示 実サイズ(W,H)", with the shown size, once the window is
// resized. p is the shown width in percent of the pick's, with one decimal.
enum class PickHintForm { AsPicked, Resized };
std::string PickHint(Size shown, Size pick, PickHintForm form);

} // namespace tessaly
