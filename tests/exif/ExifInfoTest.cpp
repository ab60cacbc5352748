#include "exif/ExifInfo.h"

#include "jpeg/JpegHeader.h"
#include "tests/exif/ExifTestSupport.h"

#include <cmath>
#include <dirent.h>
#include <filesystem>
#include <limits>
#include <optional>

namespace tessaly::testing {
namespace {

using fixtures::CommentSegment;
using fixtures::JpegWithExif;
namespace tiff = fixtures::tiff;

// A camera-like block: IFD0, the Exif directory, IFD1 and the interoperability directory.
ExifBuilder CameraBlock(ByteOrder order) {
    ExifBuilder b(order);
    b.Ifd0()
        .Ascii(270, "Harbour at dusk")
        .Ascii(271, "MAKER")
        .Ascii(272, "MODEL 7")
        .Short(274, 6)
        .Rational(282, 72, 1)
        .Rational(283, 72, 1)
        .Short(296, 2)
        .Ascii(305, "Firmware 1.0")
        .Ascii(306, "2004:05:06 07:08:09")
        .Ascii(33432, "(c) someone");
    b.Exif()
        .Rational(33434, 10, 1250)
        .Rational(33437, 28, 10)
        .Short(34850, 2)
        .Short(34855, 200)
        .Undefined(36864, {'0', '2', '2', '0'})
        .Ascii(36867, "2004:05:06 07:08:10")
        .Ascii(36868, "2004:05:06 07:08:11")
        .Rational(37122, 4, 1)
        .SRational(37377, 6, 1)
        .Rational(37378, 3, 1)
        .SRational(37379, -1, 2)
        .SRational(37380, -2, 3)
        .Rational(37381, 3, 1)
        .Rational(37382, 25, 10)
        .Short(37383, 5)
        .Short(37384, 10)
        .Short(37385, 7)
        .Rational(37386, 78, 10)
        .Ascii(37520, "11")
        .Ascii(37521, "22")
        .Ascii(37522, "33")
        .Undefined(40960, {'0', '1', '0', '0'})
        .Short(40961, 1)
        .Long(40962, 1600)
        .Long(40963, 1200)
        .Ascii(40964, "SND00001.WAV")
        .Rational(41486, 3000, 1)
        .Rational(41487, 3001, 1)
        .Short(41488, 3)
        .Short(41495, 2);
    b.Interop().Ascii(1, "R98").Undefined(2, {'0', '1', '0', '0'});
    b.Ifd1()
        .Short(256, 160)
        .Short(257, 120)
        .Short(259, 6)
        .Short(262, 2)
        .Short(274, 3)
        .Short(277, 3)
        .Rational(282, 180, 1)
        .Rational(283, 181, 1)
        .Short(284, 1)
        .Short(296, 3);
    b.Thumbnail(Bytes(100, 0xAB));
    return b;
}

class ExifInfoBothOrders : public ExifFiles, public ::testing::WithParamInterface<ByteOrder> {};

TEST_P(ExifInfoBothOrders, ReadsEveryDirectoryOfACameraBlock) {
    TExifInfo info;
    fixtures::TiffLayout layout;
    const Bytes tiff = CameraBlock(GetParam()).Build(&layout);
    ASSERT_FALSE(Read(info, JpegWithExif(tiff)));

    EXPECT_EQ(info.ImageDescription(), "Harbour at dusk");
    EXPECT_EQ(info.Make(), "MAKER");
    EXPECT_EQ(info.Model(), "MODEL 7");
    EXPECT_EQ(info.Orientation(), 6);
    EXPECT_EQ(info.XResolution().Text, "72/1");
    EXPECT_EQ(info.XResolution().Value, 72.0);
    EXPECT_EQ(info.ResolutionUnit().Text, "inch");
    EXPECT_EQ(info.ResolutionUnit().Value, 2);
    EXPECT_EQ(info.Software(), "Firmware 1.0");
    EXPECT_EQ(info.DateTime(), "2004:05:06 07:08:09");
    EXPECT_EQ(info.RightsNotice(), "(c) someone");

    EXPECT_EQ(info.ExposureTime().Text, "10/1250");
    EXPECT_DOUBLE_EQ(info.ExposureTime().Value, 0.008);
    EXPECT_DOUBLE_EQ(info.FNumber().Value, 2.8);
    EXPECT_EQ(info.ExposureProgram().Text, Sjis("プログラムAE"));
    EXPECT_EQ(info.ISOSpeedRatings(), 200);
    EXPECT_EQ(info.ExifVersion(), "0220");
    EXPECT_EQ(info.DateTimeOriginal(), "2004:05:06 07:08:10"); // colons kept
    EXPECT_EQ(info.DateTimeDigitized(), "2004:05:06 07:08:11");
    EXPECT_EQ(info.CompressedBitsPerPixel().Value, 4.0);
    EXPECT_EQ(info.ShutterSpeedValue().Text, "6/1");
    EXPECT_EQ(info.ApertureValue().Value, 3.0);
    EXPECT_EQ(info.BrightnessValue().Text, "-1/2");
    EXPECT_EQ(info.BrightnessValue().Value, -0.5);
    EXPECT_DOUBLE_EQ(info.ExposureBiasValue().Value, -2.0 / 3.0);
    EXPECT_EQ(info.MaxApertureValue().Value, 3.0);
    EXPECT_EQ(info.SubjectDistance().Value, 2.5);
    EXPECT_EQ(info.MeteringMode().Text, Sjis("マルチセグメント"));
    EXPECT_EQ(info.LightSource().Text, Sjis("フラッシュ"));
    EXPECT_EQ(info.Flash().Text, Sjis("発光(反射光検出)"));
    EXPECT_EQ(info.Flash().Value, 7);
    EXPECT_DOUBLE_EQ(info.FocalLength().Value, 7.8);
    EXPECT_EQ(info.SubSecTime(), "11");
    EXPECT_EQ(info.SubSecTimeOriginal(), "22");
    EXPECT_EQ(info.SubSecTimeDigitized(), "33");
    EXPECT_EQ(info.FlashpixVersion(), "0100");
    EXPECT_EQ(info.ColorSpace().Text, "sRGB");
    EXPECT_EQ(info.PixelXDimension(), 1600u);
    EXPECT_EQ(info.PixelYDimension(), 1200u);
    EXPECT_EQ(info.RelatedSoundFile(), "SND00001.WAV");
    EXPECT_EQ(info.FocalPlaneXResolution().Text, "3000/1");
    EXPECT_EQ(info.FocalPlaneYResolution().Value, 3001.0);
    EXPECT_EQ(info.FocalPlaneResolutionUnit().Text, "cm");
    EXPECT_EQ(info.SensingMethod().Text, Sjis("1チップカラーエリアセンサ"));

    // IFD1 fills the thumbnail properties, not those of the first directory.
    EXPECT_EQ(info.ImageWidth(), 160u);
    EXPECT_EQ(info.ImageLength(), 120u);
    EXPECT_EQ(info.Compression().Text, "JPEG");
    EXPECT_EQ(info.PhotometricInterpretation().Text, "RGB");
    EXPECT_EQ(info.ThumbOrientation(), 4); // 3 is stored as 4
    EXPECT_EQ(info.SamplesPerPixel(), 3);
    EXPECT_EQ(info.ThumbXResolution().Text, "180/1");
    EXPECT_EQ(info.ThumbYResolution().Text, "181/1");
    EXPECT_EQ(info.PlanarConfiguration(), 1);
    EXPECT_EQ(info.ThumbResolutionUnit().Text, "cm");
    EXPECT_EQ(info.JPEGInterchangeFormat(), layout.thumbnail);
    EXPECT_EQ(info.JPEGInterchangeFormatLength(), 100u);
}

INSTANTIATE_TEST_SUITE_P(ByteOrders, ExifInfoBothOrders,
                         ::testing::Values(ByteOrder::Intel, ByteOrder::Motorola),
                         [](const auto& p) {
                             return p.param == ByteOrder::Intel ? "Intel" : "Motorola";
                         });

// Every TIFF type, seen through the user comment, which shows the field each type fills.
TEST_P(ExifInfoBothOrders, EveryTypeFillsItsOwnField) {
    ExifBuilder b(GetParam());
    b.Exif()
        .Byte(37510, 200)
        .AsciiBytes(37510, std::string("A\0B\0", 4))
        .Short(37510, 65535)
        .Long(37510, 4000000000u)
        .Rational(37510, 4000000000u, 3)
        .SByte(37510, -5)
        .SShort(37510, -300)
        .SLong(37510, -70000)
        .SRational(37510, -7, 2)
        .Float(37510, 0.375f)
        .Double(37510, -1.0 / 3.0)
        .Raw(37510, 13, 1, 0x01020304); // an unknown type adds nothing
    TExifInfo info;
    ASSERT_FALSE(ReadBlock(info, b));
    EXPECT_EQ(info.UserComment(),
              (std::vector<std::string>{"200", "AB", "65535", "4000000000", "4000000000/3", "-5",
                                        "-300", "-70000", "-7/2", "0.375", "-0.333333333333333"}));
}

TEST_P(ExifInfoBothOrders, RationalsAndFloatsGiveTheirValues) {
    ExifBuilder b(GetParam());
    b.Exif()
        .Rational(33434, 1, 0)    // a zero denominator: value 0, text kept
        .SRational(33437, -9, -3) // signed division
        .Float(37386, 6.25f)      // FLOAT: a value without a text
        .Double(37381, 3.5)       // DOUBLE, bytes reversed in Motorola order
        .SRational(37380, 5, 0)
        .Short(37382, 7); // a SHORT has no float value
    TExifInfo info;
    ASSERT_FALSE(ReadBlock(info, b));
    EXPECT_EQ(info.ExposureTime().Text, "1/0");
    EXPECT_EQ(info.ExposureTime().Value, 0.0);
    EXPECT_EQ(info.FNumber().Text, "-9/-3");
    EXPECT_EQ(info.FNumber().Value, 3.0);
    EXPECT_EQ(info.FocalLength().Text, "");
    EXPECT_EQ(info.FocalLength().Value, 6.25);
    EXPECT_EQ(info.MaxApertureValue().Value, 3.5);
    EXPECT_EQ(info.ExposureBiasValue().Text, "5/0");
    EXPECT_EQ(info.ExposureBiasValue().Value, 0.0);
    EXPECT_EQ(info.SubjectDistance().Text, "");
    EXPECT_EQ(info.SubjectDistance().Value, 0.0);
}

TEST_P(ExifInfoBothOrders, UnicodeCommentUsesTheFileByteOrder) {
    const bool big = GetParam() == ByteOrder::Motorola;
    Bytes comment = {'U', 'N', 'I', 'C', 'O', 'D', 'E', 0};
    for (const char16_t unit : {u'H', u'\u3042', u'\uFF71', u'i'}) {
        comment.push_back(static_cast<std::uint8_t>(big ? unit >> 8 : unit & 0xFF));
        comment.push_back(static_cast<std::uint8_t>(big ? unit & 0xFF : unit >> 8));
    }
    comment.push_back(0x99); // an odd last byte is no unit
    ExifBuilder b(GetParam());
    b.Exif().Undefined(37510, comment);
    TExifInfo info;
    ASSERT_FALSE(ReadBlock(info, b));
    ASSERT_EQ(info.UserComment().size(), 1u);
    EXPECT_EQ(info.UserComment()[0], "H\x82\xA0\xB1i"); // あ double-byte, ｱ single-byte
}

// The EXIF segment inserted right after the frame header of `jpeg` (which has no other
// 0xFF 0xC0 before it: the tables of quality 90 hold no 0xFF byte).
Bytes WithSegmentAfterFrame(Bytes jpeg, const Bytes& segment) {
    const Bytes sof = {0xFF, 0xC0};
    const auto at = std::search(jpeg.begin() + 2, jpeg.end(), sof.begin(), sof.end());
    const std::size_t end = static_cast<std::size_t>(at - jpeg.begin()) + 2 + (at[2] << 8 | at[3]);
    jpeg.insert(jpeg.begin() + static_cast<std::ptrdiff_t>(end), segment.begin(), segment.end());
    return jpeg;
}

Bytes XmpSegment() {
    return fixtures::AppSegment(0xE1, std::string_view("http://ns.adobe.com/xap/1.0/\0", 29),
                                Bytes(300, ' '));
}

// Wherever the segment lies before the frame header, behind other segments of any kind and
// size, XMP's APP1 included; one after the frame header is not the picture's.
TEST_F(ExifFiles, TheBlockIsTheFirstExifSegmentBeforeTheFrame) {
    ExifBuilder b;
    b.Ifd0().Ascii(271, "FOUND");
    const Bytes app1 = fixtures::ExifSegment(b.Build());
    auto fileWith = [&](const Bytes& before) {
        Bytes file = {0xFF, 0xD8};
        file.insert(file.end(), before.begin(), before.end());
        file.insert(file.end(), app1.begin(), app1.end());
        return file;
    };
    TExifInfo info;
    for (const Bytes& before :
         {Bytes{}, CommentSegment(18), CommentSegment(30), CommentSegment(60000), XmpSegment()}) {
        EXPECT_FALSE(Read(info, fileWith(before))) << before.size();
        EXPECT_EQ(info.Make(), "FOUND");
    }

    // Real JPEG data from the encoder: with and without its JFIF segment, and the block after
    // the frame header, where it is not the picture's.
    fixtures::JpegOptions options;
    options.segments = {app1};
    const Bytes jpeg = fixtures::EncodeJpeg(fixtures::GradientBitmap(16, 8), options);
    EXPECT_FALSE(Read(info, jpeg));
    EXPECT_EQ(info.Make(), "FOUND");
    options.jfif = false;
    EXPECT_FALSE(Read(info, fixtures::EncodeJpeg(fixtures::GradientBitmap(16, 8), options)));
    EXPECT_EQ(info.Make(), "FOUND");
    const Bytes plain = fixtures::EncodeJpeg(fixtures::GradientBitmap(16, 8));
    EXPECT_TRUE(Read(info, WithSegmentAfterFrame(plain, app1)));
    EXPECT_EQ(info.Make(), "");
}

// The turn (the header read) and the reader behind the overlay and `exif --json` take the same
// block and the same entry: the first orientation tag of IFD0.
TEST_F(ExifFiles, TheOverlayAndTheTurnReadTheSameOrientation) {
    const auto exifWith = [](std::uint16_t first, std::optional<std::uint16_t> second) {
        ExifBuilder b;
        b.Ifd0().Ascii(271, "MAKER").Short(274, first);
        if (second)
            b.Ifd0().Short(274, *second);
        return fixtures::ExifSegment(b.Build());
    };
    const auto encode = [](std::vector<Bytes> segments) {
        return fixtures::EncodeJpeg(fixtures::GradientBitmap(16, 8), {.segments = segments});
    };
    const Bytes sixThenEight = exifWith(6, 8);
    struct Case {
        const char* name;
        Bytes file;
        std::uint8_t code; // the true code, 0 for none
    };
    const Case cases[] = {
        {"duplicated tag", encode({sixThenEight}), 6},
        {"XMP before", encode({XmpSegment(), exifWith(6, {})}), 6},
        {"after APP2 and COM",
         encode({fixtures::AppSegment(0xE2, "MPF", Bytes(40, 0)), CommentSegment(100),
                 exifWith(8, {})}),
         8},
        {"a second block", encode({exifWith(5, {}), exifWith(7, {})}), 5},
        {"after the frame", WithSegmentAfterFrame(encode({}), exifWith(6, {})), 0},
        {"before and after the frame",
         WithSegmentAfterFrame(encode({exifWith(7, {})}), sixThenEight), 7},
    };
    for (const Case& c : cases) {
        TExifInfo info;
        Read(info, c.file);
        EXPECT_EQ(info.Orientation(), c.code) << c.name; // 3 and 4 are not among them
        EXPECT_EQ(ReadJpegHeader(c.file).orientation, OrientationFromCode(c.code)) << c.name;
        EXPECT_EQ(info.Make(), c.code ? "MAKER" : "") << c.name;
    }
}

TEST_F(ExifFiles, HeaderMustBeStartOfImageThenExifWithTwoZeros) {
    ExifBuilder b;
    b.Ifd0().Ascii(271, "M");
    const Bytes good = JpegWithExif(b.Build());
    TExifInfo info;
    EXPECT_FALSE(Read(info, good));
    EXPECT_EQ(info.Make(), "M");
    Bytes upper = good; // the header read does not take "EXIF" either
    upper[6] = 'E', upper[7] = 'X', upper[8] = 'I', upper[9] = 'F';
    EXPECT_TRUE(Read(info, upper));
    Bytes longer = good; // "Exifx" is not "Exif"
    longer[10] = 'x';
    EXPECT_TRUE(Read(info, longer));
    Bytes notJpeg = good;
    notJpeg[1] = 0xD9;
    EXPECT_TRUE(Read(info, notJpeg));
    EXPECT_TRUE(Read(info, Bytes{0xFF}));
    EXPECT_TRUE(Read(info, Bytes{}));
    EXPECT_TRUE(Read(info, Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10})); // JPEG without EXIF
}

TEST_F(ExifFiles, NoBlockRaisesTheEventAndLeavesEverythingCleared) {
    TExifInfo info;
    ASSERT_FALSE(ReadBlock(info, CameraBlock(ByteOrder::Intel)));
    const std::vector<std::string>* list = &info.UserComment();
    ASSERT_FALSE(Read(info, [] {
        ExifBuilder b;
        b.Exif().Ascii(37510, "x");
        return JpegWithExif(b.Build());
    }()));
    ASSERT_EQ(info.UserComment().size(), 1u);

    int raised = 0;
    TExifInfo* sender = nullptr;
    info.SetOnReadError([&](TExifInfo& s) {
        ++raised;
        sender = &s;
    });
    const std::string missing = (Dir() / "missing.jpg").string();
    info.SetImageFileName(missing);
    EXPECT_EQ(raised, 1);
    EXPECT_EQ(sender, &info);
    EXPECT_EQ(info.ImageFileName(), missing);
    EXPECT_EQ(&info.UserComment(), list); // the component's own list, emptied
    EXPECT_TRUE(info.UserComment().empty());
    EXPECT_EQ(info.Make(), "");
    EXPECT_EQ(info.ExposureTime().Text, "");
    EXPECT_EQ(info.Flash().Value, 0);
    EXPECT_EQ(info.PixelXDimension(), 0u);

    info.SetImageFileName("");
    info.SetImageFileName(Dir().path().string()); // a folder is no file
    EXPECT_EQ(raised, 3);
}

TEST_F(ExifFiles, EventGoesThroughDoReadErrorOnlyToAnAssignedHandler) {
    struct Counting : TExifInfo {
        int calls = 0;
        void DoReadError() override {
            ++calls;
            TExifInfo::DoReadError();
        }
    } info;
    info.SetImageFileName(""); // no handler: nothing is called, nothing fails
    EXPECT_EQ(info.calls, 1);
}

TEST_F(ExifFiles, AssigningTheSameNameReadsAgain) {
    TExifInfo info;
    ExifBuilder first;
    first.Ifd0().Ascii(271, "FIRST");
    const std::string path = Write(JpegWithExif(first.Build()));
    info.SetImageFileName(path);
    EXPECT_EQ(info.Make(), "FIRST");
    ExifBuilder second;
    second.Ifd0().Ascii(272, "SECOND");
    fixtures::WriteFile(path, JpegWithExif(second.Build()));
    info.SetImageFileName(path);
    EXPECT_EQ(info.Make(), ""); // nothing survives from the earlier read
    EXPECT_EQ(info.Model(), "SECOND");
}

TEST_F(ExifFiles, OrientationExchangesThreeAndFourAndIgnoresCodesAboveEight) {
    TExifInfo info;
    for (const auto& [code, stored] :
         std::vector<std::pair<int, int>>{{0, 0}, {1, 1}, {2, 2}, {3, 4}, {4, 3}, {5, 5}, {8, 8}}) {
        ExifBuilder b;
        b.Ifd0().Short(274, static_cast<std::uint16_t>(code));
        ReadBlock(info, b);
        EXPECT_EQ(info.Orientation(), stored) << code;
    }
    ExifBuilder b;
    b.Ifd0().Short(274, 3).Short(274, 9);
    b.Ifd1().Short(274, 4).Short(274, 65535);
    ReadBlock(info, b);
    EXPECT_EQ(info.Orientation(), 4);
    EXPECT_EQ(info.ThumbOrientation(), 3);
}

TEST_F(ExifFiles, ResolutionUnitKeepsItsNameForUnknownCodes) {
    ExifBuilder b;
    b.Ifd1().Short(296, 2).Short(296, 7); // in IFD0 only the first entry of a tag counts
    b.Exif().Short(41488, 2).Short(41488, 7);
    TExifInfo info;
    ReadBlock(info, b);
    EXPECT_EQ(info.ThumbResolutionUnit().Text, "inch"); // left as it was
    EXPECT_EQ(info.ThumbResolutionUnit().Value, 7);
    EXPECT_EQ(info.FocalPlaneResolutionUnit().Text, ""); // emptied
    EXPECT_EQ(info.FocalPlaneResolutionUnit().Value, 7);
}

TEST_F(ExifFiles, CodesWithoutANameKeepTheirValue) {
    ExifBuilder b;
    b.Exif()
        .Short(37385, 16) // flash in automatic mode: no name
        .Short(37383, 255)
        .Short(40961, 65535)
        .Long(37384, 0xFFFFFFFFu);
    TExifInfo info;
    ReadBlock(info, b);
    EXPECT_EQ(info.Flash().Text, "");
    EXPECT_EQ(info.Flash().Value, 16);
    EXPECT_EQ(info.MeteringMode().Text, Sjis("その他"));
    EXPECT_EQ(info.ColorSpace().Text, "Uncalibrated");
    EXPECT_EQ(info.LightSource().Text, "");
    EXPECT_EQ(info.LightSource().Value, -1); // the code as a 32-bit integer
}

TEST_F(ExifFiles, ExposureIndexReplacesIsoRoundedHalfToEven) {
    TExifInfo info;
    for (const auto& [num, den, iso] : std::vector<std::tuple<std::uint32_t, std::uint32_t, int>>{
             {201, 2, 100}, {203, 2, 102}, {1601, 10, 160}, {131073, 1, 1}}) {
        ExifBuilder b;
        b.Exif().Short(34855, 400).Rational(41493, num, den);
        ReadBlock(info, b);
        EXPECT_EQ(info.ISOSpeedRatings(), iso) << num << "/" << den;
    }
    ExifBuilder later; // the tag that comes last wins
    later.Exif().Rational(41493, 100, 1).Short(34855, 400);
    ReadBlock(info, later);
    EXPECT_EQ(info.ISOSpeedRatings(), 400);
    ExifBuilder wide;
    wide.Exif().Long(34855, 65536 + 50);
    ReadBlock(info, wide);
    EXPECT_EQ(info.ISOSpeedRatings(), 50); // low 16 bits
    ExifBuilder nan;
    nan.Exif().Float(41493, std::numeric_limits<float>::quiet_NaN());
    ReadBlock(info, nan);
    EXPECT_EQ(info.ISOSpeedRatings(), 0);
}

TEST_F(ExifFiles, ThumbnailIndexDecidesWhereRelatedImageSizesGo) {
    TExifInfo info;
    ExifBuilder thm;
    thm.Interop().Ascii(1, "thm").Short(4097, 640).Short(4098, 480);
    ReadBlock(info, thm);
    EXPECT_EQ(info.ImageWidth(), 640u);
    EXPECT_EQ(info.ImageLength(), 480u);
    EXPECT_EQ(info.PixelXDimension(), 0u);

    ExifBuilder thmAfterWidth;
    thmAfterWidth.Ifd0().Short(256, 160);
    thmAfterWidth.Interop().Ascii(1, "THM").Short(4097, 640).Short(4098, 480);
    ReadBlock(info, thmAfterWidth);
    EXPECT_EQ(info.ImageWidth(), 160u); // only if still 0
    EXPECT_EQ(info.ImageLength(), 480u);

    ExifBuilder plain;
    plain.Interop().Ascii(1, "R98").Short(4097, 640).Short(4098, 480).Long(40962, 1600);
    ReadBlock(info, plain);
    EXPECT_EQ(info.ImageWidth(), 0u);
    EXPECT_EQ(info.PixelXDimension(), 1600u); // the later tag overwrites
    EXPECT_EQ(info.PixelYDimension(), 480u);

    ExifBuilder sizeFirst; // the Exif directory is walked before the interoperability one
    sizeFirst.Exif().Long(40962, 1600);
    sizeFirst.Interop().Short(4097, 640);
    ReadBlock(info, sizeFirst);
    EXPECT_EQ(info.PixelXDimension(), 1600u);

    ExifBuilder noLongerThm; // a later index without THM switches the rule back
    noLongerThm.Interop().Ascii(1, "THM").Ascii(1, "R98").Short(4097, 640);
    ReadBlock(info, noLongerThm);
    EXPECT_EQ(info.ImageWidth(), 0u);
    EXPECT_EQ(info.PixelXDimension(), 640u);
}

TEST_F(ExifFiles, MakerNotePositionIsTheValueFieldTakenAsAnOffset) {
    ExifBuilder b;
    b.Exif().Raw(37500, tiff::Undefined, 5000, 0x1234).Raw(37500, tiff::Undefined, 2, 0x40);
    TExifInfo info;
    ReadBlock(info, b);
    // The base is the TIFF header: offset 12 of a file whose APP1 starts at offset 2.
    EXPECT_EQ(info.MakerNoteLength(), 2u);
    EXPECT_EQ(info.MakerNotePosition(), 12u + 0x40); // whatever the count
    ExifBuilder one;
    one.Exif().Raw(37500, tiff::Undefined, 5000, 0x1234);
    Bytes file = {0xFF, 0xD8};
    const Bytes spacer = CommentSegment(18);
    file.insert(file.end(), spacer.begin(), spacer.end());
    const Bytes app1 = fixtures::ExifSegment(one.Build());
    file.insert(file.end(), app1.begin(), app1.end());
    Read(info, file);
    EXPECT_EQ(info.MakerNoteLength(), 5000u);
    EXPECT_EQ(info.MakerNotePosition(), 30u + 0x1234);
}

TEST_F(ExifFiles, AsciiDropsZeroBytesWhereverTheyStand) {
    ExifBuilder b;
    b.Ifd0()
        .AsciiBytes(271, std::string("A\0B", 3))             // in the value field
        .AsciiBytes(272, std::string("\0\0Model\0 X\0", 11)) // in the data area
        .Undefined(270, {0x00, 0x4A, 0xFF});                 // a text tag of type UNDEFINED
    TExifInfo info;
    ReadBlock(info, b);
    EXPECT_EQ(info.Make(), "AB");
    EXPECT_EQ(info.Model(), "Model X");
    EXPECT_EQ(info.ImageDescription(), "004AFF");
}

TEST_F(ExifFiles, PropertiesTakeTheFieldTheirRuleNamesWhateverTheType) {
    ExifBuilder b;
    b.Exif()
        .Rational(40962, 1600, 1) // unsigned from a rational: 0
        .SShort(40963, 1200)      // unsigned from a signed type: 0
        .Short(36867, 2004)       // text from a number: empty
        .Ascii(37521, "5");
    b.Ifd0().Raw(0x0110, 0x0102, 3, 0x00595858); // type 0x0102 is kept as one byte: ASCII
    TExifInfo info;
    ReadBlock(info, b);
    EXPECT_EQ(info.PixelXDimension(), 0u);
    EXPECT_EQ(info.PixelYDimension(), 0u);
    EXPECT_EQ(info.DateTimeOriginal(), "");
    EXPECT_EQ(info.SubSecTimeOriginal(), "5");
    EXPECT_EQ(info.Model(), "XXY");
}

TEST_F(ExifFiles, UserCommentCodes) {
    auto comment = [](std::string_view code, const Bytes& text) {
        Bytes value(8, 0);
        std::copy(code.begin(), code.end(), value.begin());
        value.insert(value.end(), text.begin(), text.end());
        return value;
    };
    ExifBuilder b;
    b.Exif()
        .Undefined(37510, comment("ASCII", {'A', 'B', 'C', 0, 0, 0}))
        .Undefined(37510, comment("", {'i', 'g', 'n', 'o', 'r', 'e', 'd'}))
        .Undefined(37510, comment("JIS", {0x1B, '$', 'B', 0x24, 0x22, 0x1B, '(', 'B', 'x'}))
        .Undefined(37510, comment("ascii", {'l', 'o', 'w'}))
        .Undefined(37510, comment("EBCDIC", {'E'}))
        .Undefined(37510, {}) // an empty value adds no line
        .Undefined(37510, {'A', 'S', 'C'});
    TExifInfo info;
    ReadBlock(info, b);
    EXPECT_EQ(info.UserComment(),
              (std::vector<std::string>{"ABC", "", "\x82\xA0x", "low", "", ""}));
}

TEST_F(ExifFiles, VersionsAreHexadecimalTextOrTheReadFails) {
    ExifBuilder good;
    good.Exif().Undefined(36864, {'0', '2', 0, '1'}).AsciiBytes(40960, "3031");
    TExifInfo info;
    ReadBlock(info, good);
    EXPECT_EQ(info.ExifVersion(), "021");    // zero bytes dropped
    EXPECT_EQ(info.FlashpixVersion(), "01"); // an ASCII text read as digit pairs

    ExifBuilder bad;
    bad.Ifd0().Ascii(271, "KEPT");
    bad.Exif().Ascii(36864, "Ver2").Ascii(272, "NOT READ");
    const std::string path = Write(JpegWithExif(bad.Build()));
    try {
        info.SetImageFileName(path);
        FAIL() << "no error raised";
    } catch (const ExifReadError& e) {
        EXPECT_NE(std::string(e.what()).find("ExifVersion"), std::string::npos) << e.what();
        EXPECT_NE(std::string(e.what()).find(path), std::string::npos) << e.what();
    }
    EXPECT_EQ(info.Make(), "KEPT"); // read until the error
    EXPECT_EQ(info.Model(), "");
}

int OpenDescriptors() {
    int n = 0;
    if (DIR* d = opendir("/proc/self/fd")) {
        while (readdir(d))
            ++n;
        closedir(d);
    }
    return n;
}

TEST_F(ExifFiles, BlockEndingBeforeItsByteOrderMarkIsAnErrorAndTheFileIsClosed) {
    const Bytes cut = {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0, 'I'};
    const std::string path = Write(cut);
    TExifInfo info;
    const int before = OpenDescriptors();
    for (int i = 0; i < 3; ++i)
        EXPECT_THROW(info.SetImageFileName(path), ExifReadError);
    EXPECT_EQ(OpenDescriptors(), before);
    try {
        info.SetImageFileName(path);
    } catch (const ExifReadError& e) {
        EXPECT_NE(std::string(e.what()).find("byte-order mark"), std::string::npos);
    }
    // Any pair other than MM counts as Intel order; the orientation is the one the picture is
    // turned by, which takes only II or MM.
    ExifBuilder odd(ByteOrder::Intel);
    odd.ByteOrderMark('X', 'Y').Ifd0().Short(274, 6).Short(296, 3);
    EXPECT_FALSE(ReadBlock(info, odd));
    EXPECT_EQ(info.ResolutionUnit().Value, 3);
    EXPECT_EQ(info.Orientation(), 0);
}

TEST_F(ExifFiles, SelfLinkedDirectoryIsWalkedThirteenTimesAndNoMore) {
    ExifBuilder b;
    b.Ifd0().Ascii(37510, "again").Link(8); // IFD0 links to itself
    TExifInfo info;
    ReadBlock(info, b);
    EXPECT_EQ(info.UserComment().size(), 13u);

    // Two directories pointing at each other and many pointers: still 13 walks at most.
    ExifBuilder loop;
    loop.Ifd0().Ascii(37510, "0").Long(34665, 8).Long(34665, 8).Link(8);
    ReadBlock(info, loop);
    EXPECT_EQ(info.UserComment().size(), 13u);
}

TEST_F(ExifFiles, EntryCountAboveLimitOrCutShortEndsTheWalkQuietly) {
    // IFD0 is read, then the Exif directory claims 1,025 entries: later directories are
    // not visited, what came before stays.
    ExifBuilder b;
    b.Ifd0().Ascii(271, "MAKE").Long(34665, 0x100);
    b.Ifd1().Ascii(272, "NOT VISITED");
    Bytes tiff = b.Build();
    tiff.resize(0x102, 0);
    tiff[0x100] = 0x01, tiff[0x101] = 0x04; // 1,025 entries
    TExifInfo info;
    EXPECT_FALSE(Read(info, JpegWithExif(tiff)));
    EXPECT_EQ(info.Make(), "MAKE");
    EXPECT_EQ(info.Model(), "");

    // 1,024 entries are fine.
    ExifBuilder full;
    for (int i = 0; i < 1023; ++i)
        full.Ifd0().Short(0x9999, 0);
    full.Ifd0().Ascii(271, "LAST");
    ReadBlock(info, full);
    EXPECT_EQ(info.Make(), "LAST");

    // A file cut inside an entry keeps what came before it.
    ExifBuilder cut;
    cut.Ifd0().Ascii(271, "MK").Short(274, 6).Ascii(305, "SOFTWARE!");
    Bytes tiffCut = cut.Build();
    tiffCut.resize(8 + 2 + 12 + 6); // the second entry is cut in its count
    Bytes file = {0xFF, 0xD8};
    const Bytes app1 = fixtures::ExifSegment(tiffCut);
    file.insert(file.end(), app1.begin(), app1.end()); // the file ends with the cut
    EXPECT_FALSE(Read(info, file));
    EXPECT_EQ(info.Make(), "MK");
    EXPECT_EQ(info.Orientation(), 0);
}

TEST_F(ExifFiles, ReadsPastTheEndYieldWhatTheBlockHolds) {
    // Counts and offsets beyond the block, counts in the billions.
    ExifBuilder b;
    b.Ifd0()
        .Raw(271, tiff::Ascii, 0xFFFFFFFFu, 8)   // from offset 8 to the end
        .Raw(272, tiff::Ascii, 100, 0xFFFFFF00u) // offset far past the end
        .Raw(270, tiff::Undefined, 0x7FFFFFFFu, 8)
        .Raw(33432, tiff::Ascii, 0x40000001u, 0)
        .Raw(37510, tiff::Rational, 1, 0xFFFFFFF0u)       // a number past the end: zeros
        .Raw(34855, tiff::Short, 0x80000001u, 0x00000007) // the 32-bit size wraps to 2
        .Raw(34665, tiff::Long, 1, 0x7FFFFFF0u);          // a directory past the end
    const Bytes tiff = b.Build();
    const Bytes file = JpegWithExif(tiff);
    TExifInfo info;
    EXPECT_FALSE(Read(info, file));
    // Bytes from TIFF offset 8 to the end of the block (the segment; the end of image after
    // it is not the block's).
    const std::size_t tail = file.size() - 2 - 12 - 8;
    std::size_t nonZero = 0;
    for (std::size_t i = 12 + 8; i < file.size() - 2; ++i)
        nonZero += file[i] != 0;
    EXPECT_EQ(info.Make().size(), nonZero);
    EXPECT_EQ(info.Model(), "");
    EXPECT_EQ(info.ImageDescription().size(), 2 * tail);
    EXPECT_EQ(info.UserComment(), (std::vector<std::string>{"0/0"}));
    EXPECT_EQ(info.ISOSpeedRatings(), 7);
}

TEST_F(ExifFiles, HugeTextsAreBoundedPerValueAndPerRead) {
    // Megabytes of text, named by many entries in a self-linked directory: each takes the
    // whole block (a segment's 65,527 bytes at most), and bytes past the segment are not read.
    ExifBuilder b;
    for (int i = 0; i < 100; ++i)
        b.Ifd0().Raw(37510, tiff::Ascii, 0xFFFFFFFFu, 0);
    b.Ifd0().Link(8);
    Bytes block = b.Build();
    block.resize(65000, 'x');
    Bytes file = JpegWithExif(block);
    file.resize(file.size() + 1024 * 1024, 'y');
    TExifInfo info;
    EXPECT_FALSE(Read(info, file));
    std::size_t total = 0;
    for (const std::string& line : info.UserComment()) {
        EXPECT_LE(line.size(), block.size());
        EXPECT_EQ(line.find('y'), std::string::npos);
        total += line.size();
    }
    // The first walk of IFD0 takes the tag once, the 12 walks after it 100 times each.
    EXPECT_EQ(info.UserComment().size(), 1201u);
    EXPECT_LE(total, TExifInfo::kMaxTextBytesPerRead);
    EXPECT_GT(total, TExifInfo::kMaxTextBytesPerRead - TExifInfo::kMaxTextValueBytes);
}

TEST_F(ExifFiles, ReadsBytesInMemoryThroughTheSourceSeam) {
    ExifBuilder b(ByteOrder::Motorola);
    b.Ifd0().Ascii(271, "MEMORY");
    const Bytes file = JpegWithExif(b.Build());
    TExifInfo info;
    int opened = 0;
    info.SetSourceOpener([&](const std::string& name) -> std::unique_ptr<ByteSource> {
        ++opened;
        if (name != "in-memory")
            return nullptr;
        return std::make_unique<MemorySource>(file);
    });
    info.SetImageFileName("in-memory");
    EXPECT_EQ(info.Make(), "MEMORY");
    EXPECT_EQ(opened, 1); // the block is read once and walked in memory
    bool raised = false;
    info.SetOnReadError([&](TExifInfo&) { raised = true; });
    info.SetImageFileName("other");
    EXPECT_TRUE(raised);
}

TEST(FileSource, ReadsAcrossBlocksAndStopsAtTheEnd) {
    fixtures::TempDir dir;
    Bytes bytes(200000);
    for (std::size_t i = 0; i < bytes.size(); ++i)
        bytes[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    fixtures::WriteFile(dir / "big.bin", bytes);
    const auto source = FileSource::Open((dir / "big.bin").string());
    ASSERT_TRUE(source);
    EXPECT_EQ(source->Size(), bytes.size());
    Bytes got(100000);
    ASSERT_EQ(source->ReadAt(60000, got), got.size()); // spans two buffered blocks
    EXPECT_TRUE(std::equal(got.begin(), got.end(), bytes.begin() + 60000));
    EXPECT_EQ(source->ReadAt(199990, got), 10u);
    EXPECT_EQ(got[9], bytes[199999]);
    EXPECT_EQ(source->ReadAt(200000, got), 0u);
    EXPECT_EQ(source->ReadAt(std::uint64_t{1} << 40, got), 0u);
    std::uint8_t one = 0;
    ASSERT_EQ(source->ReadAt(5, {&one, 1}), 1u); // back to an earlier block
    EXPECT_EQ(one, bytes[5]);

    EXPECT_FALSE(FileSource::Open(""));
    EXPECT_FALSE(FileSource::Open((dir / "none").string()));
    EXPECT_FALSE(FileSource::Open(dir.path().string()));
}

} // namespace
} // namespace tessaly::testing
