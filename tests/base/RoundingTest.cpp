#include "base/Rounding.h"

#include <gtest/gtest.h>

using namespace tessaly;

TEST(Rounding, RoundHalvesGoToEven) {
    EXPECT_EQ(Round(2.5L), 2);
    EXPECT_EQ(Round(3.5L), 4);
    EXPECT_EQ(Round(32.5L), 32);
    EXPECT_EQ(Round(33.5L), 34);
    EXPECT_EQ(Round(-2.5L), -2);
    EXPECT_EQ(Round(585.0L / 2), 292);
    EXPECT_EQ(Round(587.0L / 2), 294);
}

TEST(Rounding, TruncCutsTowardZero) {
    EXPECT_EQ(Trunc(2.9L), 2);
    EXPECT_EQ(Trunc(-2.9L), -2);
    EXPECT_EQ(Trunc(-65535.5L), -65535);
}
