#include "jpeg/OrientationTurn.h"

#include <array>

namespace tessaly {
namespace {

// A code as the 2 x 2 matrix that maps a stored point (x, y) about the picture's centre to
// where it is shown, with y running down: {a, b, c, d} for (a x + b y, c x + d y).
using Matrix = std::array<int, 4>;

constexpr std::array<Matrix, 8> kShown = {{
    {1, 0, 0, 1},   // 1
    {-1, 0, 0, 1},  // 2: columns from the right
    {-1, 0, 0, -1}, // 3
    {1, 0, 0, -1},  // 4: rows from the bottom
    {0, 1, 1, 0},   // 5: transposed
    {0, -1, 1, 0},  // 6: a quarter clockwise
    {0, -1, -1, 0}, // 7: transversed
    {0, 1, -1, 0},  // 8: a quarter anticlockwise
}};

Matrix Times(const Matrix& m, const Matrix& n) {
    return {m[0] * n[0] + m[1] * n[2], m[0] * n[1] + m[1] * n[3], m[2] * n[0] + m[3] * n[2],
            m[2] * n[1] + m[3] * n[3]};
}

Matrix TurnMatrix(Turn turn) {
    switch (turn) {
    case Turn::Right:
        return kShown[5];
    case Turn::Left:
        return kShown[7];
    case Turn::Half:
        return kShown[2];
    case Turn::None:
        break;
    }
    return kShown[0];
}

} // namespace

Turn Reversed(Turn turn) {
    switch (turn) {
    case Turn::Right:
        return Turn::Left;
    case Turn::Left:
        return Turn::Right;
    default:
        return turn;
    }
}

Orientation Turned(Orientation orientation, Turn turn) {
    const Matrix shown = Times(TurnMatrix(turn), kShown[static_cast<int>(orientation) - 1]);
    for (std::size_t i = 0; i < kShown.size(); ++i)
        if (kShown[i] == shown)
            return static_cast<Orientation>(i + 1);
    return Orientation::AsStored; // unreachable: the eight codes are closed under turns
}

LosslessOp UprightOp(Orientation orientation) {
    switch (orientation) {
    case Orientation::AsStored:
        return LosslessOp::None;
    case Orientation::MirroredLeftRight:
        return LosslessOp::FlipLeftRight;
    case Orientation::HalfTurn:
        return LosslessOp::HalfTurn;
    case Orientation::MirroredTopBottom:
        return LosslessOp::FlipTopBottom;
    case Orientation::Transposed:
        return LosslessOp::Transpose;
    case Orientation::QuarterClockwise:
        return LosslessOp::QuarterClockwise;
    case Orientation::Transversed:
        return LosslessOp::Transverse;
    case Orientation::QuarterAnticlockwise:
        return LosslessOp::QuarterAnticlockwise;
    }
    return LosslessOp::None;
}

bool SwapsSides(LosslessOp op) {
    return op == LosslessOp::Transpose || op == LosslessOp::Transverse ||
           op == LosslessOp::QuarterClockwise || op == LosslessOp::QuarterAnticlockwise;
}

} // namespace tessaly
