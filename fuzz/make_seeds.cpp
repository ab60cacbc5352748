// Writes small seed inputs for the fuzz targets, made by the project itself:
//   OUT/jpeg  JPEG files of every kind the loader meets: baseline, progressive, grey-scale,
//             CMYK, arithmetic-coded, odd sizes, with EXIF and comment segments, turned by
//             their orientation, with colour profiles whole, split and broken, with restart
//             markers (which are decoded in stripes too);
//   OUT/exif  files holding EXIF blocks in both byte orders with values of every type;
//   OUT/rtf   RTF documents using the features of the readme reader;
//   OUT/preview  photos with previews: EXIF thumbnails, multi-picture indexes naming large
//             thumbnails and other pictures, in both byte orders, and a broken index.
// Usage: make_seeds OUTPUT_FOLDER
#include "tests/support/ExifBuilder.h"
#include "tests/support/IccFixtures.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/MpfBuilder.h"

#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

using namespace tessaly;
using namespace tessaly::fixtures;
namespace fs = std::filesystem;

namespace {

Bytes ToBytes(std::string_view text) {
    return Bytes(text.begin(), text.end());
}

Bytes CameraExif(ByteOrder order) {
    ExifBuilder exif(order);
    exif.Ifd0()
        .Ascii(271, "TESSALY")
        .Ascii(272, "SEED-1")
        .Short(274, 1)
        .Rational(282, 72, 1)
        .Rational(283, 72, 1)
        .Short(296, 2)
        .Ascii(306, "2006:07:17 12:34:56")
        .Ascii(270, "a description")
        .Ascii(33432, "(C) nobody");
    exif.Exif()
        .Rational(33434, 1, 250)
        .Rational(33437, 28, 10)
        .Short(34850, 2)
        .Short(34855, 200)
        .Undefined(36864, ToBytes("0221"))
        .Ascii(36867, "2006:07:17 12:34:56")
        .Ascii(36868, "2006:07:17 12:34:56")
        .SRational(37377, 8, 1)
        .Rational(37378, 3, 1)
        .SRational(37379, -1, 3)
        .SRational(37380, -2, 3)
        .Rational(37381, 3, 1)
        .Rational(37382, 150, 100)
        .Short(37383, 5)
        .Short(37384, 0)
        .Short(37385, 16)
        .Rational(37386, 78, 10)
        .Undefined(37510, ToBytes(std::string_view("ASCII\0\0\0a comment", 17)))
        .Ascii(37520, "25")
        .Ascii(37521, "50")
        .Ascii(37522, "75")
        .Long(40962, 64)
        .Long(40963, 48)
        .Ascii(40964, "SND00001.WAV");
    exif.Interop().Ascii(1, "R98").Undefined(2, ToBytes("0100"));
    exif.Ifd1().Short(259, 6).Long(282, 72);
    return exif.Build();
}

// Values of the types the camera block does not use, in the other byte order.
Bytes OddTypesExif(ByteOrder order) {
    ExifBuilder exif(order);
    exif.Ifd0().Byte(1, 7).SByte(2, -7).SShort(3, -300).SLong(4, -70000).Float(5, 1.5f).Double(
        6, -2.25);
    exif.Exif()
        .Undefined(37510, ToBytes(std::string_view("UNICODE\0\x30\x42\x30\x44", 12)))
        .Undefined(37510, ToBytes(std::string_view("JIS\0\0\0\0\0\x1b$B$\"\x1b(B", 16)))
        .Raw(33434, tiff::Rational, 1, 0xFFFFFFF0u) // offset past the end
        .Raw(34855, tiff::Short, 1000000, 8);       // a count far beyond the data
    return exif.Build();
}

void Write(const fs::path& path, const Bytes& bytes) {
    WriteFile(path, bytes);
}

void WriteJpegSeeds(const fs::path& dir) {
    const Bitmap gradient = GradientBitmap(40, 30, 1);
    Write(dir / "baseline.jpg", EncodeJpeg(gradient, {.quality = 75}));
    Write(dir / "no-jfif.jpg", EncodeJpeg(gradient, {.quality = 50, .jfif = false}));
    Write(dir / "progressive.jpg", EncodeJpeg(gradient, {.quality = 75, .progressive = true}));
    Write(dir / "grey.jpg", EncodeJpeg(gradient, {.quality = 75, .grayscale = true}));
    Write(dir / "grey-progressive.jpg",
          EncodeJpeg(gradient, {.quality = 60, .progressive = true, .grayscale = true}));
    Write(dir / "cmyk.jpg", EncodeJpeg(gradient, {.quality = 75, .cmyk = true}));
    Write(dir / "arithmetic.jpg", EncodeJpeg(gradient, {.quality = 75, .arithmetic = true}));
    Write(dir / "arithmetic-progressive.jpg",
          EncodeJpeg(gradient, {.quality = 75, .progressive = true, .arithmetic = true}));
    Write(dir / "one-pixel.jpg", EncodeJpeg(SolidBitmap(1, 1, 10, 200, 30)));
    Write(dir / "odd-size.jpg", EncodeJpeg(GradientBitmap(17, 9, 2), {.quality = 90}));
    Write(dir / "quality-100.jpg", EncodeJpeg(GradientBitmap(16, 16, 3), {.quality = 100}));
    // Restart markers every row of MCUs, every few MCUs (not a whole row: only some rows
    // begin an interval), and every two rows of a 4:4:0 picture, whose upsampling reaches
    // across rows at every scale.
    Write(dir / "restart-rows.jpg",
          EncodeJpeg(GradientBitmap(48, 80, 4), {.quality = 75, .restartRows = 1}));
    Write(dir / "restart-mcus.jpg",
          EncodeJpeg(GradientBitmap(45, 70, 5),
                     {.quality = 75, .lumaH = 1, .lumaV = 1, .restartMcus = 4}));
    Write(dir / "restart-440.jpg",
          EncodeJpeg(GradientBitmap(37, 83, 6),
                     {.quality = 75, .lumaH = 1, .lumaV = 2, .restartRows = 2}));
    Write(dir / "with-exif.jpg",
          EncodeJpeg(gradient, {.quality = 75,
                                .segments = {ExifSegment(CameraExif(ByteOrder::Motorola)),
                                             CommentSegment(40)}}));
}

Bytes OrientationExif(std::uint16_t code) {
    ExifBuilder exif(ByteOrder::Motorola);
    exif.Ifd0().Ascii(271, "TESSALY").Short(274, code);
    return ExifSegment(exif.Build());
}

// Pictures with an orientation and a colour profile: in one segment, split over several,
// a grey profile on a grey picture, and profiles cut off or missing a segment.
void WriteTurnedAndProfiledSeeds(const fs::path& dir) {
    const Bitmap gradient = GradientBitmap(21, 13, 4);
    const auto with = [&](std::vector<Bytes> segments, const JpegOptions& base = {}) {
        JpegOptions options = base;
        options.quality = 60;
        options.segments = std::move(segments);
        return EncodeJpeg(gradient, options);
    };
    const auto plus = [](std::vector<Bytes> a, const std::vector<Bytes>& b) {
        a.insert(a.end(), b.begin(), b.end());
        return a;
    };
    Write(dir / "turned-6.jpg", with({OrientationExif(6)}));
    Write(dir / "turned-5-progressive.jpg", with({OrientationExif(5)}, {.progressive = true}));
    Write(dir / "adobe-rgb.jpg", with(IccSegments(AdobeRgbProfile())));
    Write(dir / "swapped-split-turned-8.jpg",
          with(plus({OrientationExif(8)}, IccSegments(SwappedRedGreenProfile(), 150))));
    Write(dir / "grey-profile.jpg", with(IccSegments(GreyProfile()), {.grayscale = true}));
    const Bytes adobe = AdobeRgbProfile();
    Write(dir / "profile-cut.jpg",
          with(IccSegments(Bytes(adobe.begin(), adobe.begin() + adobe.size() / 2))));
    std::vector<Bytes> gap = IccSegments(adobe, 100);
    gap.erase(gap.begin() + 2);
    Write(dir / "profile-gap.jpg", with(gap));
}

void WriteExifSeeds(const fs::path& dir) {
    Write(dir / "intel.jpg", JpegWithExif(CameraExif(ByteOrder::Intel)));
    Write(dir / "motorola.jpg", JpegWithExif(CameraExif(ByteOrder::Motorola)));
    Write(dir / "odd-types-intel.jpg", JpegWithExif(OddTypesExif(ByteOrder::Intel)));
    Write(dir / "odd-types-motorola.jpg", JpegWithExif(OddTypesExif(ByteOrder::Motorola)));
    // The APP1 segment behind a JFIF header, as cameras write it.
    Write(dir / "after-jfif.jpg",
          EncodeJpeg(SolidBitmap(8, 8, 1, 2, 3),
                     {.quality = 50, .segments = {ExifSegment(CameraExif(ByteOrder::Intel))}}));
}

void WritePreviewSeeds(const fs::path& dir) {
    const Bitmap picture = GradientBitmap(96, 64, 1);
    const Bytes thumbnail = EncodeJpeg(GradientBitmap(24, 16, 2), {.quality = 50, .jfif = false});
    const Bytes preview = EncodeJpeg(GradientBitmap(48, 32, 3), {.quality = 50});
    const Bytes gainMap = EncodeJpeg(GradientBitmap(48, 32, 4), {.quality = 50, .grayscale = true});
    for (const ByteOrder order : {ByteOrder::Intel, ByteOrder::Motorola}) {
        const std::string suffix = order == ByteOrder::Intel ? "-intel.jpg" : "-motorola.jpg";
        ExifBuilder exif(order);
        exif.Ifd0().Ascii(271, "TESSALY").Short(274, 6);
        exif.Thumbnail(thumbnail);
        const Bytes exifSegment = ExifSegment(exif.Build());
        Write(dir / ("thumbnail" + suffix),
              EncodeJpeg(picture, {.quality = 50, .segments = {exifSegment}}));
        const Bytes primary =
            EncodeJpeg(picture, {.quality = 50, .segments = {exifSegment, MpfSegment(2, order)}});
        Write(dir / ("index" + suffix),
              AddMpfPictures(
                  primary, {{kMpfLargeThumbnailFullHd, preview}, {kMpfUndefined, gainMap}}, order));
    }
    const Bytes primary = EncodeJpeg(picture, {.quality = 50, .segments = {MpfSegment(1)}});
    Write(dir / "index-past-the-end.jpg",
          AddMpfPictures(primary, {{kMpfLargeThumbnail, preview, 0x7FFFFFF0u}}));
}

void WriteRtfSeeds(const fs::path& dir) {
    const std::vector<std::pair<std::string, std::string>> documents = {
        {"plain.rtf", R"({\rtf1\ansi Hello, world.\par Second line.})"},
        {"styles.rtf", R"({\rtf1\ansi\deff0{\fonttbl{\f0\fnil Gothic;}{\f1\froman Times;}})"
                       R"({\colortbl ;\red255\green0\blue0;\red0\green64\blue160;})"
                       R"(\pard\qc{\b\fs28 Title}\par\pard{\i italic} {\ul underlined} {\cf1 red} )"
                       R"({\cf2\fs18 small blue}\par\tab after a tab\line new line})"},
        {"shift-jis.rtf",
         R"({\rtf1\ansi\ansicpg932\deff0{\fonttbl{\f0\fnil\fcharset128 IPAPGothic;}})"
         R"(\'82\'b1\'82\'f1\'82\'c9\'82\'bf\'82\'cd\par \'83\'65\'83\'58\'83\'67})"},
        {"unicode.rtf", R"({\rtf1\ansi\uc1 caf\u233?\par \u12354?\u12356? \u-10179?\u-8704?})"},
        {"destinations.rtf",
         R"({\rtf1\ansi{\*\generator Writer;}{\info{\title t}{\author a}})"
         R"({\field{\*\fldinst HYPERLINK "x"}{\fldrslt link}} {\pict\bin4 abcd} text})"},
        {"symbols.rtf", R"({\rtf1\ansi \{braces\} \\backslash \~nbsp \-hyphen \_dash )"
                        R"(\emdash\endash\lquote\rquote\ldblquote\rdblquote\bullet\par})"},
        {"nested.rtf", R"({\rtf1{{{{{{{{deep}}}}}}}}\par{\b{\i{\ul all}}}})"},
        {"truncated.rtf", R"({\rtf1\ansi{\fonttbl{\f0 A;}}\pard\b bold text without an end)"},
        {"not-rtf.txt", "Just plain text.\nSecond line.\r\nThird.\n"},
    };
    for (const auto& [name, text] : documents)
        Write(dir / name, ToBytes(text));
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_seeds OUTPUT_FOLDER\n");
        return 2;
    }
    try {
        const fs::path out(argv[1]);
        WriteJpegSeeds(out / "jpeg");
        WriteTurnedAndProfiledSeeds(out / "jpeg");
        WriteExifSeeds(out / "exif");
        WriteRtfSeeds(out / "rtf");
        WritePreviewSeeds(out / "preview");
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_seeds: %s\n", e.what());
        return 1;
    }
    return 0;
}
