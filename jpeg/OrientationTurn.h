// Turning a photo a quarter or a half turn as it is shown: the orientation code that shows the
// stored picture turned, and the lossless operation that turns the stored picture itself
// until it shows upright with code 1.
#pragma once

#include "picture/Orientation.h"

namespace tessaly {

enum class Turn {
    None,
    Right, // a quarter clockwise
    Left,  // a quarter anticlockwise
    Half,
};

// The turn that undoes `turn`.
Turn Reversed(Turn turn);

// The orientation that shows the picture `orientation` shows, turned by `turn`.
Orientation Turned(Orientation orientation, Turn turn);

// What a lossless transform does to the stored picture; each is its own inverse except the
// two quarter turns, which undo each other.
enum class LosslessOp {
    None,
    FlipLeftRight,
    FlipTopBottom,
    Transpose,  // rows become columns, about the diagonal from the top left
    Transverse, // about the other diagonal
    QuarterClockwise,
    HalfTurn,
    QuarterAnticlockwise,
};

// The operation after which the stored picture looks as `orientation` shows it, so that the
// result is shown upright with code 1.
LosslessOp UprightOp(Orientation orientation);

// Whether the operation makes rows of columns (the width becomes the height).
bool SwapsSides(LosslessOp op);

} // namespace tessaly
