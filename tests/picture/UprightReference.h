// The upright picture of a stored bitmap made the plain way, pixel by pixel, from the
// operations that name the orientation codes: mirror left to right, then turn clockwise.
#pragma once

#include "picture/Bitmap.h"
#include "picture/Orientation.h"

#include <cstring>

namespace tessaly::testing {

inline Bitmap TurnedClockwise(const Bitmap& in, int quarters) {
    Bitmap bmp = in;
    for (int q = 0; q < quarters; ++q) {
        Bitmap out(bmp.Height(), bmp.Width());
        for (int y = 0; y < bmp.Height(); ++y)
            for (int x = 0; x < bmp.Width(); ++x) // the left column becomes the top row
                std::memcpy(out.Row(x) + 3 * (bmp.Height() - 1 - y), bmp.Row(y) + 3 * x, 3);
        bmp = std::move(out);
    }
    return bmp;
}

inline Bitmap MirroredLeftRight(const Bitmap& in) {
    Bitmap out(in.Width(), in.Height());
    for (int y = 0; y < in.Height(); ++y)
        for (int x = 0; x < in.Width(); ++x)
            std::memcpy(out.Row(y) + 3 * (in.Width() - 1 - x), in.Row(y) + 3 * x, 3);
    return out;
}

// Code 2 mirror; 3 half turn; 4 mirror, half turn; 5 mirror, three quarters; 6 a quarter
// clockwise; 7 mirror, a quarter; 8 three quarters clockwise.
inline Bitmap ReferenceUpright(const Bitmap& stored, Orientation orientation) {
    switch (orientation) {
    case Orientation::AsStored:
        return stored;
    case Orientation::MirroredLeftRight:
        return MirroredLeftRight(stored);
    case Orientation::HalfTurn:
        return TurnedClockwise(stored, 2);
    case Orientation::MirroredTopBottom:
        return TurnedClockwise(MirroredLeftRight(stored), 2);
    case Orientation::Transposed:
        return TurnedClockwise(MirroredLeftRight(stored), 3);
    case Orientation::QuarterClockwise:
        return TurnedClockwise(stored, 1);
    case Orientation::Transversed:
        return TurnedClockwise(MirroredLeftRight(stored), 1);
    case Orientation::QuarterAnticlockwise:
        return TurnedClockwise(stored, 3);
    }
    return {};
}

inline constexpr Orientation kAllOrientations[] = {
    Orientation::AsStored,          Orientation::MirroredLeftRight,   Orientation::HalfTurn,
    Orientation::MirroredTopBottom, Orientation::Transposed,          Orientation::QuarterClockwise,
    Orientation::Transversed,       Orientation::QuarterAnticlockwise};

} // namespace tessaly::testing
