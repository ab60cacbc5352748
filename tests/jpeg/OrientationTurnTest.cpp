// Turns of the eight orientation codes: quarter turns undo each other, four make none, and a
// mirrored picture stays mirrored.
#include "jpeg/OrientationTurn.h"

#include <gtest/gtest.h>

using namespace tessaly;

TEST(OrientationTurn, TurnsFormTheGroupOfTheSquare) {
    for (int code = 1; code <= 8; ++code) {
        const auto o = static_cast<Orientation>(code);
        SCOPED_TRACE(code);
        EXPECT_EQ(Turned(Turned(o, Turn::Right), Turn::Left), o);
        EXPECT_EQ(Turned(Turned(o, Turn::Right), Turn::Right), Turned(o, Turn::Half));
        EXPECT_EQ(Turned(Turned(Turned(o, Turn::Half), Turn::Right), Turn::Right), o);
        EXPECT_NE(Turned(o, Turn::Right), o);
        const bool mirrored = code == 2 || code == 4 || code == 5 || code == 7;
        const int turnedCode = static_cast<int>(Turned(o, Turn::Right));
        EXPECT_EQ(mirrored,
                  turnedCode == 2 || turnedCode == 4 || turnedCode == 5 || turnedCode == 7);
    }
    EXPECT_EQ(Turned(Orientation::AsStored, Turn::Right), Orientation::QuarterClockwise);
    EXPECT_EQ(Turned(Orientation::AsStored, Turn::Left), Orientation::QuarterAnticlockwise);
    EXPECT_EQ(Turned(Orientation::MirroredLeftRight, Turn::Right), Orientation::Transversed);
}
