#include "base/Format.h"

#include <gtest/gtest.h>

using tessaly::Format;
using tessaly::FormatError;
using tessaly::FormatFixed;
using tessaly::FormatGeneral;

TEST(FormatFixed, TiesGoAwayFromZero) {
    EXPECT_EQ(FormatFixed(6.25L, 1), "6.3");
    EXPECT_EQ(FormatFixed(0.05L, 1), "0.1"); // 0.05 is just above .05 in binary anyway
    EXPECT_EQ(FormatFixed(-6.25L, 1), "-6.3");
    EXPECT_EQ(FormatFixed(2.5L, 0), "3");
    EXPECT_EQ(FormatFixed(9.96L, 1), "10.0");
    EXPECT_EQ(FormatFixed(99.95L, 1), "100.0");
}

TEST(FormatFixed, EighteenDigitsFirstSoNearTiesRoundLikeTheirDecimal) {
    // 585 / 3000 * 100 is not exactly 19.5 in binary; at 18 digits it is, and rounds up.
    const long double ratio = 585.0L / 3000.0L;
    EXPECT_EQ(FormatFixed(ratio * 100, 1), "19.5");
    // A double such as 2.8 (2.79999999999999982...) still shows as 2.8.
    EXPECT_EQ(FormatFixed(static_cast<long double>(2.8), 1), "2.8");
    EXPECT_EQ(FormatFixed(1333.0L / 3000.0L * 100, 1), "44.4");
    EXPECT_EQ(FormatFixed(638.0L / 640.0L * 100, 1), "99.7");
}

TEST(FormatFixed, NegativeZeroLosesItsSign) {
    EXPECT_EQ(FormatFixed(-0.04L, 1), "0.0");
    EXPECT_EQ(FormatFixed(-0.0L, 2), "0.00");
}

TEST(FormatGeneral, ShortestFormUpToFifteenDigits) {
    EXPECT_EQ(FormatGeneral(0), "0");
    EXPECT_EQ(FormatGeneral(-0.0L), "0");
    EXPECT_EQ(FormatGeneral(4), "4");
    EXPECT_EQ(FormatGeneral(2.5L), "2.5");
    EXPECT_EQ(FormatGeneral(250), "250");
    EXPECT_EQ(FormatGeneral(1.0 / (1.0 / 250.0)), "250");
    EXPECT_EQ(FormatGeneral(-0.3333333333333333), "-0.333333333333333");
    EXPECT_EQ(FormatGeneral(0.00001L), "0.00001");
    EXPECT_EQ(FormatGeneral(123456789012345.0L), "123456789012345");
}

TEST(FormatGeneral, ScientificBelowOneHundredThousandthAndFromFifteenDigits) {
    EXPECT_EQ(FormatGeneral(0.000001L), "1E-6");
    EXPECT_EQ(FormatGeneral(-0.0000015L), "-1.5E-6");
    EXPECT_EQ(FormatGeneral(1e20L), "1E20");
    EXPECT_EQ(FormatGeneral(1234567890123456.0L), "1.23456789012346E15");
}

TEST(Format, ConversionsOfCaptionsAndOverlay) {
    EXPECT_EQ(Format("%s %s [%.1f%%](%d/%d files)", {"Tess", "/p/a.jpg", 19.5L, 3, 12}),
              "Tess /p/a.jpg [19.5%](3/12 files)");
    EXPECT_EQ(Format("(%4d,%4d)", {120, 5}), "( 120,   5)");
    EXPECT_EQ(Format("[%4d]", {12345}), "[12345]");
    EXPECT_EQ(Format("%4d", {-5}), "  -5");
    EXPECT_EQ(Format("%2.1f|%2.2f", {3.0, 0.5}), "3.0|0.50");
    EXPECT_EQ(Format("%2.1f", {12.34}), "12.3");
    EXPECT_EQ(Format("%-23s|", {"abc"}), "abc                    |");
    EXPECT_EQ(Format("%.0n KB ( %.0n bytes )", {1263616.0L / 1024, 1263616.0L}),
              "1,234 KB ( 1,263,616 bytes )");
    EXPECT_EQ(Format("%.0n", {1536.0L / 1024}), "2");
    EXPECT_EQ(Format("%.0n", {0.0L}), "0");
    EXPECT_EQ(Format("%.0n", {1000000.0L}), "1,000,000");
    EXPECT_EQ(Format("%u/%u", {10u, 1250u}), "10/1250");
    EXPECT_EQ(Format("%g", {1e-6}), "1E-6");
}

TEST(Format, WidthsCountBytesOfShiftJisText) {
    const std::string sjis = "\x82\xa0\x82\xa2"; // two double-byte characters, 4 bytes
    EXPECT_EQ(Format("%-6s|", {sjis}), sjis + "  |");
}

TEST(Format, MismatchesAreErrors) {
    EXPECT_THROW(Format("%d", {"x"}), FormatError);
    EXPECT_THROW(Format("%s", {1}), FormatError);
    EXPECT_THROW(Format("%d %d", {1}), FormatError);
    EXPECT_THROW(Format("%d", {1, 2}), FormatError);
    EXPECT_THROW(Format("%q", {1}), FormatError);
    EXPECT_THROW(Format("50%", {}), FormatError);
}
