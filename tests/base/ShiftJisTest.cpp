#include "base/ShiftJis.h"

#include <gtest/gtest.h>

using namespace tessaly;

TEST(ShiftJis, RoundTripsJapaneseText) {
    const std::string utf8 = "01:画像ファイル名";
    const std::string sjis = Utf8ToSjis(utf8);
    EXPECT_EQ(sjis.size(), 17u); // "01:" and seven double-byte characters
    EXPECT_EQ(SjisToUtf8(sjis), utf8);
}

TEST(ShiftJis, UnconvertibleCharactersBecomeQuestionMarks) {
    EXPECT_EQ(Utf8ToSjis("a\xF0\x9F\x98\x80"
                         "b"),
              "a?b"); // an emoji has no CP932 form
    EXPECT_EQ(Utf8ToSjis("a\xFF"
                         "b"),
              "a?b"); // not UTF-8 at all
}

TEST(ShiftJis, InvalidShiftJisShowsReplacementCharacters) {
    EXPECT_EQ(SjisToUtf8("A\x81"), "A\xEF\xBF\xBD"); // a lead byte without its trail
    EXPECT_EQ(SjisToUtf8(std::string("A\0B", 3)), std::string("A\0B", 3));
}

TEST(ShiftJis, OneUtf16UnitAtATime) {
    EXPECT_EQ(Utf16UnitToSjis(u'A'), "A");
    EXPECT_EQ(Utf16UnitToSjis(u'あ'), "\x82\xa0");
    EXPECT_EQ(Utf16UnitToSjis(0), std::string(1, '\0'));
    EXPECT_EQ(Utf16UnitToSjis(0xD83D), "?"); // half of a surrogate pair
    EXPECT_EQ(Utf16UnitToSjis(0x0E3F), "?"); // Thai baht sign: not in CP932
}
