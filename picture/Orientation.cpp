#include "picture/Orientation.h"

#include <cstdint>
#include <limits>
#include <stdexcept>

namespace tessaly {

namespace {

// Every orientation is an exchange of the axes (upright x is stored y) followed by a mirror
// of the stored columns and one of the stored rows.
struct Steps {
    bool swap;
    bool mirrorColumns;
    bool mirrorRows;
};

Steps StepsOf(Orientation orientation) {
    switch (orientation) {
    case Orientation::AsStored:
        return {false, false, false};
    case Orientation::MirroredLeftRight:
        return {false, true, false};
    case Orientation::HalfTurn:
        return {false, true, true};
    case Orientation::MirroredTopBottom:
        return {false, false, true};
    case Orientation::Transposed:
        return {true, false, false};
    case Orientation::QuarterClockwise:
        return {true, false, true};
    case Orientation::Transversed:
        return {true, true, true};
    case Orientation::QuarterAnticlockwise:
        return {true, true, false};
    }
    throw std::invalid_argument("not an orientation");
}

int Fit(std::int64_t value) {
    if (value < std::numeric_limits<int>::min() || value > std::numeric_limits<int>::max())
        throw std::out_of_range("a mapped coordinate does not fit an int");
    return static_cast<int>(value);
}

// A span [start, start + length) along an axis of `extent` pixels, mirrored when `mirror`.
std::int64_t Mirrored(bool mirror, std::int64_t start, std::int64_t length, int extent) {
    return mirror ? std::int64_t{extent} - start - length : start;
}

} // namespace

Orientation OrientationFromCode(std::uint32_t code) {
    if (code < 1 || code > 8)
        return Orientation::AsStored;
    return static_cast<Orientation>(code);
}

bool SwapsSides(Orientation orientation) {
    return StepsOf(orientation).swap;
}

UprightMapping::UprightMapping(Orientation orientation, Size stored)
    : orientation_(orientation), stored_(stored) {
    StepsOf(orientation); // refuses a value that is not one of the eight
}

Size UprightMapping::Upright() const {
    return SwapsSides(orientation_) ? Size{stored_.height, stored_.width} : stored_;
}

Point UprightMapping::ToStored(Point upright) const {
    const Rect r = ToStored(Rect{upright.x, upright.y, 1, 1});
    return {r.left, r.top};
}

Point UprightMapping::ToUpright(Point stored) const {
    const Rect r = ToUpright(Rect{stored.x, stored.y, 1, 1});
    return {r.left, r.top};
}

Rect UprightMapping::ToStored(Rect upright) const {
    const Steps steps = StepsOf(orientation_);
    const Rect across =
        steps.swap ? Rect{upright.top, upright.left, upright.height, upright.width} : upright;
    return {Fit(Mirrored(steps.mirrorColumns, across.left, across.width, stored_.width)),
            Fit(Mirrored(steps.mirrorRows, across.top, across.height, stored_.height)),
            across.width, across.height};
}

Rect UprightMapping::ToUpright(Rect stored) const {
    const Steps steps = StepsOf(orientation_);
    const Rect unmirrored{
        Fit(Mirrored(steps.mirrorColumns, stored.left, stored.width, stored_.width)),
        Fit(Mirrored(steps.mirrorRows, stored.top, stored.height, stored_.height)), stored.width,
        stored.height};
    return steps.swap ? Rect{unmirrored.top, unmirrored.left, unmirrored.height, unmirrored.width}
                      : unmirrored;
}

} // namespace tessaly
