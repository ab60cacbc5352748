#include "exif/ExifOverlay.h"

#include "tests/exif/ExifTestSupport.h"

#include <filesystem>
#include <fstream>

namespace tessaly::testing {
namespace {

using fixtures::JpegWithExif;

// The example block: every shown item present, no sub-seconds, 1,263,616 bytes.
ExifBuilder ExampleBlock() {
    ExifBuilder b(ByteOrder::Motorola);
    b.Ifd0().Ascii(271, "MAKER").Ascii(272, "MODEL");
    b.Exif()
        .Rational(33434, 1, 60)
        .Rational(33437, 28, 10)
        .Short(34855, 100)
        .Ascii(36867, "2004:05:06 07:08:09")
        .SRational(37380, 0, 1)
        .Rational(37381, 3, 1)
        .Short(37385, 0)
        .Rational(37386, 78, 10)
        .Long(40962, 1600)
        .Long(40963, 1200);
    return b;
}

class ExifOverlay : public ExifFiles {
protected:
    std::string WriteSized(const ExifBuilder& b, std::size_t size) {
        Bytes file = JpegWithExif(b.Build());
        file.resize(size, 0);
        return Write(file);
    }
};

TEST_F(ExifOverlay, ExampleBlockByteForByte) {
    const std::string path = WriteSized(ExampleBlock(), 1263616);
    TExifInfo reader;
    const std::string text = MakeDspExifInfo(reader, path);
    const std::string expected = "01:画像ファイル名 ------> " + path +
                                 "\r\n"
                                 "02:撮影日時 ------------> 2004.05.06 07:08:09.\r\n"
                                 "05:画像の高さ ----------> 1200 dots\r\n"
                                 "06:画像の幅 ------------> 1600 dots\r\n"
                                 "\r\n"
                                 "08:レンズF値 -----------> 2.8\r\n"
                                 "10:露光時間 ------------> 1/60 秒\r\n"
                                 "12:露光補正量(APEX) ----> 0\r\n"
                                 "13:フラッシュ発光状態 --> 非発光(0)\r\n"
                                 "14:CCD感度(ISO) --------> 100\r\n"
                                 "17:レンズ焦点距離 ------> 7.8 mm\r\n"
                                 "19:レンズ開放F値 -------> 3.0\r\n"
                                 "\r\n"
                                 "21:カメラのメーカー ----> MAKER\r\n"
                                 "22:カメラの機種 --------> MODEL\r\n"
                                 "\r\n"
                                 "99:サイズ --------------> 1,234 KB ( 1,263,616 bytes )";
    EXPECT_EQ(SjisToUtf8(text), expected);
    EXPECT_EQ(text, Sjis(expected)); // the Shift-JIS bytes themselves
}

TEST_F(ExifOverlay, AllItemsWithTheirFormats) {
    ExifBuilder b = ExampleBlock();
    b.Ifd0().Ascii(306, "2001:02:03 04:05:06").Ascii(270, "desc").Ascii(33432, "(c)");
    b.Exif()
        .Ascii(36868, "2002:02:03 04:05:06")
        .Ascii(37520, "7")
        .Ascii(37521, "25")
        .Rational(37378, 3, 1)      // APEX 3: F2.8
        .Rational(37382, 1250, 100) // 12.5 m
        .SRational(37377, 8, 1)     // APEX 8: 1/256 s
        .SRational(37379, -1, 2)
        .Short(34850, 3)
        .Short(37384, 1)
        .Short(37383, 2)
        .Ascii(37510, "  first")
        .Ascii(37510, "second \t")
        .Undefined(36864, {'0', '2', '3', '0'})
        .Ascii(40964, "SND.WAV");
    TExifInfo reader;
    const std::string text =
        SjisToUtf8(MakeDspExifInfo(reader, WriteSized(b, 1536), ExifItems::All));
    const std::string tail = text.substr(text.find("\r\n") + 2);
    EXPECT_EQ(tail, "02:撮影日時 ------------> 2004.05.06 07:08:09.25\r\n"
                    "03:デジタル化日時 ------> 2002.02.03 04:05:06.\r\n"
                    "04:最終変更日時 --------> 2001.02.03 04:05:06.7\r\n"
                    "05:画像の高さ ----------> 1200 dots\r\n"
                    "06:画像の幅 ------------> 1600 dots\r\n"
                    "\r\n"
                    "07:レンズ絞り(APEX) ----> 2.8\r\n"
                    "08:レンズF値 -----------> 2.8\r\n"
                    "09:被写体までの距離 ----> 12.50 m\r\n"
                    "10:露光時間 ------------> 1/60 秒\r\n"
                    "11:シャッタ速度(APEX) --> 1/256 秒\r\n"
                    "12:露光補正量(APEX) ----> 0\r\n"
                    "13:フラッシュ発光状態 --> 非発光(0)\r\n"
                    "14:CCD感度(ISO) --------> 100\r\n"
                    "15:被写体の明るさ(APEX)-> -1/2(-0.5)\r\n"
                    "16:露光制御モード ------> 絞り優先(3)\r\n"
                    "17:レンズ焦点距離 ------> 7.8 mm\r\n"
                    "18:光源の種類 ----------> 昼光(1)\r\n"
                    "19:レンズ開放F値 -------> 3.0\r\n"
                    "20:測光モード ----------> 中央重点(2)\r\n"
                    "\r\n"
                    "21:カメラのメーカー ----> MAKER\r\n"
                    "22:カメラの機種 --------> MODEL\r\n"
                    "23:著作権 --------------> (c)\r\n"
                    "24:画像の説明 ----------> desc\r\n"
                    "25:コメント ------------> first\r\nsecond\r\n"
                    "26:Exifのバージョン ----> 0230\r\n"
                    "27:音声ファイル名 ------> SND.WAV\r\n"
                    "\r\n"
                    "99:サイズ --------------> 2 KB ( 1,536 bytes )");
}

TEST_F(ExifOverlay, FileWithoutExifShowsTheClearedValues) {
    TExifInfo reader;
    const std::string path = Write({0xFF, 0xD8, 0xFF, 0xD9});
    const std::string text = SjisToUtf8(MakeDspExifInfo(reader, path));
    EXPECT_EQ(text.substr(text.find("\r\n") + 2), "02:撮影日時 ------------> .\r\n"
                                                  "05:画像の高さ ----------> 0 dots\r\n"
                                                  "06:画像の幅 ------------> 0 dots\r\n"
                                                  "\r\n"
                                                  "08:レンズF値 -----------> 0.0\r\n"
                                                  "10:露光時間 ------------> --- 秒\r\n"
                                                  "12:露光補正量(APEX) ----> 0\r\n"
                                                  "13:フラッシュ発光状態 --> (0)\r\n"
                                                  "14:CCD感度(ISO) --------> 0\r\n"
                                                  "17:レンズ焦点距離 ------> 0.0 mm\r\n"
                                                  "19:レンズ開放F値 -------> 0.0\r\n"
                                                  "\r\n"
                                                  "21:カメラのメーカー ----> \r\n"
                                                  "22:カメラの機種 --------> \r\n"
                                                  "\r\n"
                                                  "99:サイズ --------------> 0 KB ( 4 bytes )");

    // A file that cannot be measured: the same values and a size of 0.
    const std::string missing = (Dir() / "gone.jpg").string();
    const std::string gone = SjisToUtf8(MakeDspExifInfo(reader, missing));
    EXPECT_EQ(gone.substr(0, gone.find("\r\n")), "01:画像ファイル名 ------> " + missing);
    EXPECT_TRUE(gone.ends_with("\r\n\r\n99:サイズ --------------> 0 KB ( 0 bytes )"));
}

TEST_F(ExifOverlay, ReaderErrorsReachTheCallerUnchanged) {
    TExifInfo reader;
    const std::string path = Write({0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0});
    EXPECT_THROW(MakeDspExifInfo(reader, path), ExifReadError);
}

TEST_F(ExifOverlay, FlashCodeWithoutNameAndUnnamedCodes) {
    ExifBuilder b;
    b.Exif().Short(37385, 16).Short(37384, 4);
    TExifInfo reader;
    ReadBlock(reader, b);
    EXPECT_EQ(ExifItemValue(reader, 13), "(16)");
    EXPECT_EQ(ExifItemValue(reader, 18), "(4)");
    EXPECT_EQ(ExifItemValue(reader, 9), "[non]"); // no subject distance
    ExifBuilder zeroDistance;
    zeroDistance.Exif().Rational(37382, 0, 1);
    ReadBlock(reader, zeroDistance);
    EXPECT_EQ(ExifItemValue(reader, 9), "[non]");
}

TEST(ExifOverlayFormats, SizeLines) {
    TExifInfo reader; // cleared values; only the size differs
    auto sizeLine = [&](std::int64_t size) {
        const std::string text = SjisToUtf8(ExifOverlayText(reader, ExifItems::Masked, size));
        return text.substr(text.rfind("\r\n") + 2);
    };
    EXPECT_EQ(sizeLine(1263616), "99:サイズ --------------> 1,234 KB ( 1,263,616 bytes )");
    EXPECT_EQ(sizeLine(1536), "99:サイズ --------------> 2 KB ( 1,536 bytes )");
    EXPECT_EQ(sizeLine(0), "99:サイズ --------------> 0 KB ( 0 bytes )");
    EXPECT_EQ(sizeLine(3221225472),
              "99:サイズ --------------> 3,145,728 KB ( 3,221,225,472 bytes )");
}

TEST(ExifOverlayFormats, ExposureTimes) {
    EXPECT_EQ(FormatExposure(1.0 / 250), "1/250");
    EXPECT_EQ(FormatExposure(1.0 / 60), "1/60");
    EXPECT_EQ(FormatExposure(0.3), "1/3.33333333333333");
    EXPECT_EQ(FormatExposure(0), "---");
    EXPECT_EQ(FormatExposure(4), "4");
    EXPECT_EQ(FormatExposure(2.5), "2.5");
    EXPECT_EQ(FormatExposure(1), "1");
    EXPECT_EQ(FormatExposure(-0.5), "1/-2");
}

TEST(ExifOverlayFormats, DatesGetFullStopsInPlaceOfTheirFirstTwoColons) {
    EXPECT_EQ(DotDate("2004:05:06 07:08:09"), "2004.05.06 07:08:09");
    EXPECT_EQ(DotDate("2004:05"), "2004.05");
    EXPECT_EQ(DotDate(""), "");
}

TEST(ExifOverlayFormats, LabelColumnIsTwentyThreeBytes) {
    for (int n = 1; n <= kExifItemCount; ++n) {
        const std::string label = ExifItemLabel(n);
        ASSERT_LE(label.size(), 23u) << SjisToUtf8(label);
        EXPECT_EQ(PadLabel(label).size(), 23u);
        EXPECT_TRUE(PadLabel(label).starts_with(label));
    }
    const std::string full = Sjis("15:被写体の明るさ(APEX)");
    ASSERT_EQ(full.size(), 23u);
    EXPECT_EQ(PadLabel(full), full); // no hyphens, not even the space
    EXPECT_EQ(SjisToUtf8(PadLabel(Sjis("08:レンズF値"))), "08:レンズF値 ----------");
    EXPECT_EQ(SjisToUtf8(PadLabel(Sjis("99:サイズ"))), "99:サイズ -------------");
    // A cut through a double-byte character leaves it out and pads with a space.
    const std::string longer = Sjis("0123456789012345678901あ");
    EXPECT_EQ(PadLabel(longer), "0123456789012345678901 ");
    EXPECT_EQ(PadLabel(Sjis("01234567890123456789あい")), Sjis("01234567890123456789あ "));
}

TEST(ExifOverlayFormats, MaskShowsThirteenItems) {
    TExifInfo reader;
    const std::string masked = ExifOverlayText(reader, ExifItems::Masked, 0);
    const std::string all = ExifOverlayText(reader, ExifItems::All, 0);
    auto lines = [](const std::string& s) {
        std::size_t n = 0;
        for (std::size_t at = s.find("-> "); at != std::string::npos; at = s.find("-> ", at + 1))
            ++n;
        return n;
    };
    EXPECT_EQ(lines(masked), 13u + 1);
    EXPECT_EQ(lines(all), 27u + 1);
}

TEST_F(ExifOverlay, FileSizeOfIsTheTrue64BitSize) {
    const auto path = Dir() / "sparse.jpg";
    { std::ofstream(path, std::ios::binary) << "x"; }
    std::error_code ec;
    std::filesystem::resize_file(path, 3221225472ULL, ec);
    if (ec)
        GTEST_SKIP() << "no sparse files here: " << ec.message();
    EXPECT_EQ(FileSizeOf(path.string()), 3221225472LL);
    EXPECT_EQ(FileSizeOf((Dir() / "none").string()), 0);
    EXPECT_EQ(FileSizeOf(Dir().path().string()), 0); // a folder cannot be measured
    std::filesystem::remove(path);
}

TEST_F(ExifOverlay, NonAsciiPathsAreShownInShiftJis) {
    const auto path = Dir() / "写真.jpg";
    fixtures::WriteFile(path, {0xFF, 0xD8});
    TExifInfo reader;
    const std::string text = MakeDspExifInfo(reader, path.string());
    EXPECT_TRUE(
        SjisToUtf8(text).starts_with("01:画像ファイル名 ------> " + path.string() + "\r\n"));

    // Names that are not UTF-8: each stray byte shows as one "?" and takes no byte after it
    // along; a character Shift-JIS lacks is one "?" too.
    const std::pair<const char*, const char*> names[] = {
        {"caf\xE9.jpg", "caf?.jpg"},
        {"\xE3\x81.jpg", "??.jpg"},                  // a cut-off sequence
        {"\xF0\x9F\x98\x80\xC0\xAF.jpg", "???.jpg"}, // an emoji, an overlong "/"
    };
    for (const auto& [name, shown] : names) {
        fixtures::WriteFile(Dir() / name, {0xFF, 0xD8});
        MakeDspExifInfo(reader, (Dir() / name).string());
        EXPECT_EQ(ExifItemValue(reader, 1), (Dir() / shown).string()) << shown;
    }
}

} // namespace
} // namespace tessaly::testing
