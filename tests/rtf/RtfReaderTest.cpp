#include "rtf/RtfReader.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <iterator>
#include <string>
#include <vector>

namespace tessaly::rtf {
namespace {

// Inside a test body "Run" names the fixture's method.
using StyledRun = Run;

// UTF-8 literals as std::string (u8"" would give char8_t).
std::string U8(const char* s) {
    return s;
}

std::string TextOf(std::string_view rtf) {
    return ParseRtf(rtf).Text();
}

// The single run of a one-paragraph document whose text is `text`.
Run RunWithText(const Document& doc, std::string_view text) {
    for (const Paragraph& p : doc.paragraphs)
        for (const Run& r : p.runs)
            if (r.text == text)
                return r;
    ADD_FAILURE() << "no run with the text " << text << " in " << doc.Text();
    return {};
}

TEST(RtfReaderTest, RejectsWhatDoesNotStartAsRtf) {
    for (std::string_view bytes : {"", "{", "{\\rt", " {\\rtf1 a}", "\xEF\xBB\xBF{\\rtf1 a}",
                                   "plain text", "{\\RTF1 a}", "\\rtf1 a"}) {
        EXPECT_THROW(ParseRtf(bytes), RtfError) << bytes;
    }
    EXPECT_EQ(TextOf("{\\rtf"), "");
    EXPECT_EQ(TextOf("{\\rtf1 a}"), "a");
}

TEST(RtfReaderTest, ParagraphsAndLineBreaks) {
    const Document doc = ParseRtf("{\\rtf1 one\\par two\\line three\\par\r\n\\par four\\par }");
    ASSERT_EQ(doc.paragraphs.size(), 4u);
    EXPECT_EQ(doc.paragraphs[0].Text(), "one");
    EXPECT_EQ(doc.paragraphs[1].Text(), "two\nthree");
    EXPECT_EQ(doc.paragraphs[2].Text(), "");
    EXPECT_EQ(doc.paragraphs[3].Text(),
              "four"); // the empty paragraph after the last \par is dropped

    // Line ends in the file are not text; a backslash before one is a paragraph end.
    EXPECT_EQ(TextOf("{\\rtf1 a\r\nb\\\nc\\\r\nd}"), "ab\nc\nd");
    // \sect, \page and \row end paragraphs too; \cell is a tab.
    EXPECT_EQ(TextOf("{\\rtf1 a\\sect b\\page c\\cell d\\row e}"), "a\nb\nc\td\ne");
    // An empty document still has one (empty) paragraph.
    EXPECT_EQ(ParseRtf("{\\rtf1}").paragraphs.size(), 1u);
    EXPECT_EQ(ParseRtf("{\\rtf1\\par}").paragraphs.size(), 1u);
}

TEST(RtfReaderTest, ControlWordDelimiters) {
    // One space after a control word belongs to it; a second one is text. Digits and a
    // minus sign form the parameter; any other character ends the word and is text.
    EXPECT_EQ(TextOf("{\\rtf1\\b  x}"), " x");
    EXPECT_EQ(TextOf("{\\rtf1\\b0,x}"), ",x");
    EXPECT_EQ(TextOf("{\\rtf1\\fs-2 x}"), "x");
    EXPECT_EQ(TextOf("{\\rtf1\\b- x}"), "- x");
    EXPECT_EQ(TextOf("{\\rtf1\\unknownword12 x\\unknown y}"), "xy");
    EXPECT_EQ(TextOf("{\\rtf1\\fs99999999999999999999 x}"), "x");
}

TEST(RtfReaderTest, BoldItalicUnderlineToggles) {
    const Document doc =
        ParseRtf("{\\rtf1 n \\b b\\b0  \\i i\\i0  \\ul u\\ul0  \\ul v\\ulnone  \\uldb w\\plain  "
                 "\\b\\i\\ul all\\plain  p}");
    EXPECT_EQ(RunWithText(doc, "b").style, (CharStyle{.bold = true}));
    EXPECT_EQ(RunWithText(doc, "i").style, (CharStyle{.italic = true}));
    EXPECT_EQ(RunWithText(doc, "u").style, (CharStyle{.underline = true}));
    EXPECT_EQ(RunWithText(doc, "v").style, (CharStyle{.underline = true}));
    EXPECT_EQ(RunWithText(doc, "w").style, (CharStyle{.underline = true}));
    EXPECT_EQ(RunWithText(doc, "all").style,
              (CharStyle{.bold = true, .italic = true, .underline = true}));
    EXPECT_EQ(doc.Text(), "n b i u v w all p");
    // Plain runs between styled ones are spaces in the default style.
    EXPECT_EQ(doc.paragraphs[0].runs.back().style, CharStyle{});
    EXPECT_EQ(doc.paragraphs[0].runs.back().text, " p");
}

TEST(RtfReaderTest, GroupsScopeTheStyleAndRunsMerge) {
    const Document doc = ParseRtf("{\\rtf1 a{\\b b{\\i c}d}e{\\b f}{\\b g}}");
    ASSERT_EQ(doc.paragraphs.size(), 1u);
    const std::vector<StyledRun>& runs = doc.paragraphs[0].runs;
    ASSERT_EQ(runs.size(), 6u);
    EXPECT_EQ(runs[0], (StyledRun{"a", {}}));
    EXPECT_EQ(runs[1], (StyledRun{"b", {.bold = true}}));
    EXPECT_EQ(runs[2], (StyledRun{"c", {.bold = true, .italic = true}}));
    EXPECT_EQ(runs[3], (StyledRun{"d", {.bold = true}}));
    EXPECT_EQ(runs[4], (StyledRun{"e", {}}));
    // "f" and "g" are bold in two groups: one run.
    EXPECT_EQ(runs[5], (StyledRun{"fg", {.bold = true}}));
}

TEST(RtfReaderTest, FontSizeInHalfPoints) {
    const Document doc =
        ParseRtf("{\\rtf1 d\\fs28 big\\fs17 odd\\fs0 zero\\fs99999 huge\\fs30{\\plain plain}}");
    EXPECT_EQ(RunWithText(doc, "d").style.PointSize(), std::nullopt);
    EXPECT_EQ(RunWithText(doc, "big").style.PointSize(), 14.0);
    EXPECT_EQ(RunWithText(doc, "odd").style.PointSize(), 8.5);
    EXPECT_EQ(RunWithText(doc, "zero").style.halfPoints, std::nullopt);
    EXPECT_EQ(RunWithText(doc, "huge").style.halfPoints, kMaxHalfPoints);
    EXPECT_EQ(RunWithText(doc, "plain").style.halfPoints, std::nullopt);
}

TEST(RtfReaderTest, ColourTable) {
    const Document doc = ParseRtf(
        "{\\rtf1{\\colortbl ;\\red255\\green0\\blue0;\\green128;\\red300\\blue-5;}"
        "\\cf1 red\\cf2 green\\cf3 clamp\\cf0 auto\\cf9 none\\cf1{\\cf2 in}out\\cf-1 neg}");
    EXPECT_EQ(RunWithText(doc, "red").style.color, (Rgb{255, 0, 0}));
    EXPECT_EQ(RunWithText(doc, "green").style.color, (Rgb{0, 128, 0}));
    EXPECT_EQ(RunWithText(doc, "clamp").style.color, (Rgb{255, 0, 0}));
    EXPECT_EQ(RunWithText(doc, "autonone").style.color,
              std::nullopt); // \cf0 and \cf9: one default run
    EXPECT_EQ(RunWithText(doc, "in").style.color, (Rgb{0, 128, 0}));
    EXPECT_EQ(RunWithText(doc, "out").style.color, (Rgb{255, 0, 0}));
    EXPECT_EQ(RunWithText(doc, "neg").style.color, std::nullopt);
    // The table's own text is not shown, and a last entry without ";" still counts.
    EXPECT_EQ(
        RunWithText(ParseRtf("{\\rtf1{\\colortbl\\red1\\green2\\blue3}\\cf0 x}"), "x").style.color,
        (Rgb{1, 2, 3}));
}

TEST(RtfReaderTest, SkippedDestinations) {
    EXPECT_EQ(TextOf("{\\rtf1{\\fonttbl{\\f0\\fnil MS Gothic;}{\\f1 Arial;}}"
                     "{\\stylesheet{\\s0 Normal;}}{\\info{\\title T}{\\author A}}"
                     "{\\*\\generator Riched20;}{\\*\\unknown{nested} text}"
                     "{\\pict\\wmetafile8 0102ab{\\*\\blipuid 12}}{\\header head}{\\footer foot}"
                     "shown}"),
              "shown");
    // A field shows its result, not its instruction.
    EXPECT_EQ(TextOf("{\\rtf1{\\field{\\*\\fldinst HYPERLINK \"https://x\"}{\\fldrslt link}}}"),
              "link");
    // \bin skips its raw bytes, braces and backslashes included.
    EXPECT_EQ(TextOf("{\\rtf1{\\pict\\bin4 }{\\\\}a}"), "a");
    EXPECT_EQ(TextOf("{\\rtf1 a\\bin2 }{c}"), "ac");
    // A \bin longer than the data ends the document without reading past it.
    EXPECT_EQ(TextOf("{\\rtf1 a\\bin999999 xyz"), "a");
    // Text in an unknown destination without \* is shown.
    EXPECT_EQ(TextOf("{\\rtf1{\\whatever shown}}"), "shown");
}

TEST(RtfReaderTest, SpecialCharacters) {
    EXPECT_EQ(TextOf("{\\rtf1 a\\{b\\}c\\\\d\\tab e}"), "a{b}c\\d\te");
    EXPECT_EQ(TextOf("{\\rtf1 a\\~b\\-c\\_d}"), U8("a\u00A0bc\u2011d"));
    EXPECT_EQ(TextOf("{\\rtf1\\emdash\\endash\\bullet\\lquote\\rquote\\ldblquote\\rdblquote}"),
              U8("\u2014\u2013\u2022\u2018\u2019\u201C\u201D"));
    // Control bytes other than tab do not reach the text.
    EXPECT_EQ(TextOf("{\\rtf1 a\x01\x7F\tb\\'00\\'07c}"), "a\tbc");
    // A lone backslash at the end, and an unknown control symbol.
    EXPECT_EQ(TextOf("{\\rtf1 a\\|b\\"), "ab");
}

TEST(RtfReaderTest, ShiftJisBytes) {
    // The default code page is 932.
    EXPECT_EQ(TextOf("{\\rtf1 \\'82\\'a0\\'82\\'a2}"), U8("あい"));
    EXPECT_EQ(TextOf("{\\rtf1\\ansi\\ansicpg932 \\'83\\'5c\\'95\\'5c}"), U8("ソ表"));
    // A trail byte written as an escaped backslash or brace, or as a plain letter.
    EXPECT_EQ(TextOf("{\\rtf1 \\'83\\\\\\'83\\{\\'83A}"), U8("ソボア"));
    // Half-width katakana are single bytes.
    EXPECT_EQ(TextOf("{\\rtf1 \\'b1\\'b2}"), U8("ｱｲ"));
    // A lead byte without its trail, and bytes CP932 does not have, become U+FFFD.
    EXPECT_EQ(TextOf("{\\rtf1 \\'82}"), U8("\uFFFD"));
    EXPECT_EQ(TextOf("{\\rtf1 \\'82\\par x}"), U8("\uFFFD\nx"));
    EXPECT_EQ(TextOf("{\\rtf1 \\'a0\\'fd}"), U8("\uFFFD\uFFFD"));
    // A style change between the two bytes splits the character.
    EXPECT_EQ(TextOf("{\\rtf1 \\'82{\\b\\'a0}}"), U8("\uFFFD\uFFFD"));
    // Raw Shift-JIS in the file: the second byte of a pair is never a control character.
    EXPECT_EQ(TextOf("{\\rtf1 \x83\x5c\x83\x7b\x83\x7d\x82\xa0}"), U8("ソボマあ"));
    // Malformed hex escapes.
    EXPECT_EQ(TextOf("{\\rtf1 a\\'4x\\'zb}"), "axzb"); // \'4 is the control byte 4, dropped
}

TEST(RtfReaderTest, CodePages) {
    EXPECT_EQ(TextOf("{\\rtf1\\ansi\\ansicpg1252 caf\\'e9 \\'93q\\'94}"), U8("café “q”"));
    EXPECT_EQ(TextOf("{\\rtf1\\ansicpg1251 \\'c0}"), U8("А"));
    EXPECT_EQ(TextOf("{\\rtf1\\ansicpg936 \\'c4\\'e3}"), U8("你"));
    // Code pages the reader does not decode are read as 932.
    EXPECT_EQ(TextOf("{\\rtf1\\ansicpg65001 \\'82\\'a0}"), U8("あ"));
    EXPECT_EQ(TextOf("{\\rtf1\\ansicpg10000 \\'82\\'a0}"), U8("あ"));
    // A font's charset decides over the document's code page; \plain returns to \deff.
    const char* mixed =
        "{\\rtf1\\ansi\\ansicpg1252\\deff0{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}"
        "{\\f1\\fnil\\fcharset128 Gothic;}{\\f2\\fnil\\fcharset2 Symbol;}{\\f3\\cpg950 Ming;}}"
        "\\'e9\\f1 \\'82\\'a0\\f2 \\'b7\\f3 \\'a4\\'a4\\plain \\'e9}";
    EXPECT_EQ(TextOf(mixed), U8("éあ·中é"));
    // A font table without inner groups.
    EXPECT_EQ(TextOf("{\\rtf1\\ansicpg1252{\\fonttbl\\f0\\fcharset128 A;\\f1\\fcharset0 "
                     "B;}\\f0\\'82\\'a0\\f1\\'e9}"),
              U8("あé"));
}

TEST(RtfReaderTest, UnicodeEscapes) {
    EXPECT_EQ(TextOf("{\\rtf1 \\u12354?\\u-28647?}"), U8("あ\u9019"));
    // Default \uc1 skips one fallback character; \uc2 two bytes of a Shift-JIS fallback.
    EXPECT_EQ(TextOf("{\\rtf1 \\u12354\\'82\\'a0x}"), U8("あ\uFFFDx"));
    EXPECT_EQ(TextOf("{\\rtf1\\uc2 \\u12354\\'82\\'a0x}"), U8("あx"));
    EXPECT_EQ(TextOf("{\\rtf1\\uc0 \\u12354 x}"), U8("あx"));
    // A control word counts as one fallback character; a group boundary ends the skip.
    EXPECT_EQ(TextOf("{\\rtf1\\uc2 \\u12354\\emdash ab}"), U8("あb"));
    EXPECT_EQ(TextOf("{\\rtf1\\uc3 {\\u12354 a}b}"), U8("あb"));
    // \uc is scoped to its group.
    EXPECT_EQ(TextOf("{\\rtf1{\\uc0 a}\\u12354 xy}"), U8("aあy"));
    // Surrogate pairs join; lone halves become U+FFFD.
    EXPECT_EQ(TextOf("{\\rtf1 \\u-10179?\\u-8704?}"), U8("\U0001F600"));
    EXPECT_EQ(TextOf("{\\rtf1 \\u55357?x}"), U8("\uFFFDx"));
    EXPECT_EQ(TextOf("{\\rtf1 \\u56832?x}"), U8("\uFFFDx"));
    EXPECT_EQ(TextOf("{\\rtf1 \\u55357?}"), U8("\uFFFD"));
    EXPECT_EQ(TextOf("{\\rtf1 \\u-10179?\\par}"), U8("\uFFFD"));
    // Out of range and control characters.
    EXPECT_EQ(TextOf("{\\rtf1 \\u9999999?\\u0?\\u9?}"), U8("\uFFFD\t"));
    // The fallback of a \u in a skipped destination is skipped as well.
    EXPECT_EQ(TextOf("{\\rtf1{\\fonttbl{\\f0 \\u12354?;}}a}"), "a");
}

TEST(RtfReaderTest, ParagraphAlignment) {
    const Document doc =
        ParseRtf("{\\rtf1\\qc centre\\par\\pard left\\par\\qr right\\par\\qj just\\par\\ql l}");
    ASSERT_EQ(doc.paragraphs.size(), 5u);
    EXPECT_EQ(doc.paragraphs[0].alignment, Alignment::Center);
    EXPECT_EQ(doc.paragraphs[1].alignment, Alignment::Left);
    EXPECT_EQ(doc.paragraphs[2].alignment, Alignment::Right);
    EXPECT_EQ(doc.paragraphs[3].alignment, Alignment::Justify);
    EXPECT_EQ(doc.paragraphs[4].alignment, Alignment::Left);
}

std::string Nested(int depth, std::string_view inner = "x") {
    std::string rtf = "{\\rtf1";
    for (int i = 1; i < depth; ++i)
        rtf += '{';
    rtf += inner;
    for (int i = 0; i < depth; ++i)
        rtf += '}';
    return rtf;
}

TEST(RtfReaderTest, HostileNestingIsBounded) {
    EXPECT_EQ(TextOf(Nested(kMaxRtfDepth)), "x");
    EXPECT_THROW(ParseRtf(Nested(kMaxRtfDepth + 1)), RtfError);
    EXPECT_THROW(ParseRtf(Nested(100000)), RtfError);
    // Skipped destinations count as well.
    EXPECT_THROW(ParseRtf("{\\rtf1{\\*" + std::string(300, '{')), RtfError);
    // Deep but balanced nesting that opens and closes repeatedly stays within the bound.
    std::string wide = "{\\rtf1";
    for (int i = 0; i < 10000; ++i)
        wide += "{{a}}";
    wide += '}';
    EXPECT_EQ(TextOf(wide).size(), 10000u);
}

TEST(RtfReaderTest, TruncatedAndUnbalancedInput) {
    const std::string full =
        "{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fcharset128 "
        "G;}}{\\colortbl;\\red9\\green8\\blue7;}"
        "\\pard\\qc\\b\\fs28\\cf1 T\\'82\\'a0\\uc2\\u12356\\'82\\'a2\\b0\\par\\line\\bin2 "
        "xy{\\*\\g z}e}";
    // Every prefix is read without error, and what it holds never reaches past the whole.
    for (std::size_t n = 5; n <= full.size(); ++n) {
        const Document doc = ParseRtf(std::string_view(full).substr(0, n));
        EXPECT_FALSE(doc.paragraphs.empty());
    }
    EXPECT_EQ(TextOf(full), U8("Tあい\n\ne"));
    EXPECT_EQ(TextOf("{\\rtf1\\b bold"), "bold");
    // Text after the outermost group has ended is ignored.
    EXPECT_EQ(TextOf("{\\rtf1 a}b}{c"), "a");
    EXPECT_EQ(TextOf("{\\rtf1 a}}}}"), "a");
}

} // namespace
} // namespace tessaly::rtf

namespace tessaly::rtf {
namespace {

// The readme the program ships beside its executable.
std::string BundledReadme() {
    const auto path = std::filesystem::path(TESSALY_SOURCE_DIR) / "data" / "TESSreadme.txt";
    std::ifstream in(path, std::ios::binary);
    EXPECT_TRUE(in.good()) << path;
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(BundledReadmeTest, IsAsciiRtfThatReadsCleanly) {
    const std::string bytes = BundledReadme();
    ASSERT_FALSE(bytes.empty());
    EXPECT_TRUE(std::all_of(bytes.begin(), bytes.end(),
                            [](char c) { return static_cast<unsigned char>(c) < 0x80; }));
    const Document doc = ParseRtf(bytes);
    const std::string text = doc.Text();
    EXPECT_EQ(text.find(U8("\uFFFD")), std::string::npos);
    EXPECT_NE(text.find(U8("ヘルプ")), std::string::npos);
    EXPECT_NE(text.find(U8("とじる")), std::string::npos);
    EXPECT_NE(text.find(U8("取出ウィンドウ")), std::string::npos);
    EXPECT_GT(doc.paragraphs.size(), 20u);
    EXPECT_EQ(doc.paragraphs.front().alignment, Alignment::Center);
    EXPECT_TRUE(doc.paragraphs.front().runs.front().style.bold);
}

} // namespace
} // namespace tessaly::rtf
