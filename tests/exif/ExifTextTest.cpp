#include "exif/ExifText.h"

#include "base/ShiftJis.h"
#include "exif/ExifError.h"
#include "exif/ExifInfo.h"

#include <gtest/gtest.h>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

std::string Jis(const Bytes& bytes) {
    return JisToShiftJis(bytes);
}

TEST(HexText, PairsSpellBytesAndZeroBytesAreDropped) {
    EXPECT_EQ(HexEncode(Bytes{0x30, 0x32, 0x00, 0xAB}), "303200AB");
    EXPECT_EQ(HexToText("30323230"), "0220");
    EXPECT_EQ(HexToText("41004200"), "AB");
    EXPECT_EQ(HexToText("4142434"), "ABC"); // a trailing single digit is ignored
    EXPECT_EQ(HexToText("6a6B"), "jk");
    EXPECT_EQ(HexToText(""), "");
    EXPECT_EQ(TExifInfo::HexToText("3031"), "01");
    EXPECT_THROW(HexToText("Ver2"), ExifReadError);
    EXPECT_THROW(HexToText("30 1"), ExifReadError);
    EXPECT_THROW(HexDecode("3-"), ExifReadError);
}

TEST(JisText, EscapeSequencesSwitchBetweenSingleAndDoubleByteText) {
    // あ is 0x24 0x22 in JIS X 0208 and 0x82 0xA0 in Shift-JIS; 漢 is 0x34 0x41 / 0x8A 0xBF.
    EXPECT_EQ(Jis({'a', 0x1B, '$', 'B', 0x24, 0x22, 0x34, 0x41, 0x1B, '(', 'B', 'z'}),
              "a\x82\xA0\x8A\xBFz");
    EXPECT_EQ(Jis({0x1B, '$', '@', 0x24, 0x22}), "\x82\xA0");
    EXPECT_EQ(Jis({0x1B, '$', '(', 'D', 0x24, 0x22}), "\x82\xA0");            // ESC $ ( x
    EXPECT_EQ(Jis({0x1B, '&', '@', 0x1B, '$', 'B', 0x24, 0x22}), "\x82\xA0"); // ESC & + 4
    EXPECT_EQ(Jis({0x1B, 'Q', 'r'}), "Qr"); // any other byte after ESC stands for itself
    // Both rows of the conversion: 0x7F..0x9D after adding 0x1F moves up by one.
    EXPECT_EQ(Jis({0x1B, '$', 'B', 0x30, 0x21}), "\x88\x9F");
    EXPECT_EQ(Jis({0x1B, '$', 'B', 0x31, 0x21, 0x31, 0x60, 0x31, 0x7E}),
              "\x89\x40\x89\x80\x89\x9E");
    EXPECT_EQ(Jis({0x1B, '$', 'B', 0x7E, 0x7E}), "\xEF\xFC");
}

TEST(JisText, SequencesCutOffByTheEndAddNothing) {
    EXPECT_EQ(Jis({'x', 0x1B, '(', 'B'}), "x"); // the return to ASCII at the very end
    EXPECT_EQ(Jis({'x', 0x1B}), "x");
    EXPECT_EQ(Jis({'x', 0x1B, '$'}), "x");
    EXPECT_EQ(Jis({'x', 0x1B, '$', '('}), "x");
    EXPECT_EQ(Jis({'x', 0x1B, '&', 1, 2, 3}), "x");
    EXPECT_EQ(Jis({'x', 0x1B, '$', 'B', 0x24, 0x22, 0x24}), "x\x82\xA0"); // lone first byte
    EXPECT_EQ(Jis({}), "");
}

TEST(JisText, ShiftOutAndShiftInSwitchModesAndAddNothing) {
    EXPECT_EQ(Jis({'a', 0x0E, 0x24, 0x22, 0x0F, 'b'}), "a\x82\xA0"
                                                       "b");
    EXPECT_EQ(Jis({0x0F, 0x0F, 'c'}), "c");
    EXPECT_EQ(Jis({0x0E}), "");
    // The byte after an escape sequence is taken as text, even a shift byte.
    EXPECT_EQ(Jis({0x1B, '(', 'B', 0x0E, 0x24, 0x22}), "\x82\xA0");
}

TEST(Utf16Units, EachUnitConvertsOnItsOwn) {
    EXPECT_EQ(Utf16UnitsToSjis(Bytes{0x41, 0x00, 0x42, 0x30, 0x00, 0x00, 0xA5, 0x00}, false),
              std::string("A\x82\xA0\0", 4) + Utf16UnitToSjis(0xA5));
    EXPECT_EQ(Utf16UnitsToSjis(Bytes{0x30, 0x42, 0xD8, 0x3D, 0x00}, true), "\x82\xA0?");
}

} // namespace
} // namespace tessaly
