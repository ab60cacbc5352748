// Writes the bundled sample folder: JPEG pictures made here, in nested folders, with names
// ending in .JPG, .jpg and .Jpg, some with EXIF blocks in either byte order, from small to
// 12 megapixels, and a .jpeg and a .png that the viewer must not list.
// Usage: make_samples OUTPUT_FOLDER
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegFixtures.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <string>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

// A landscape: a sky that darkens upwards, a sun, two ranges of hills and a lake.
Bitmap Landscape(int width, int height, double hue) {
    Bitmap bmp = Bitmap::Uninitialized(width, height);
    const double sunX = width * 0.7, sunY = height * 0.3, sunR = height * 0.08;
    for (int y = 0; y < height; ++y) {
        std::uint8_t* p = bmp.Row(y);
        const double v = static_cast<double>(y) / height;
        for (int x = 0; x < width; ++x, p += 3) {
            const double u = static_cast<double>(x) / width;
            double r = 90 + 120 * v, g = 140 + 80 * v, b = 230 - 30 * v;
            if (std::hypot(x - sunX, y - sunY) < sunR) {
                r = 255, g = 230, b = 150;
            }
            const double far = 0.55 + 0.06 * std::sin(u * 9 + hue) + 0.03 * std::sin(u * 31);
            const double near = 0.68 + 0.05 * std::sin(u * 5 + 2 * hue) + 0.02 * std::sin(u * 47);
            if (v > far) {
                r = 70 + 30 * hue, g = 100, b = 130;
            }
            if (v > near) {
                r = 40 + 20 * std::sin(u * 200), g = 110 + 30 * v, b = 50;
            }
            if (v > 0.85) {
                r = 60, g = 120 + 40 * std::sin(u * 60 + v * 90), b = 190;
            }
            p[0] = static_cast<std::uint8_t>(std::clamp(b, 0.0, 255.0));
            p[1] = static_cast<std::uint8_t>(std::clamp(g, 0.0, 255.0));
            p[2] = static_cast<std::uint8_t>(std::clamp(r, 0.0, 255.0));
        }
    }
    return bmp;
}

// The EXIF block of a sample: camera, time and exposure as a camera writes them.
Bytes SampleExif(ByteOrder order, int width, int height, const char* model, const char* time) {
    ExifBuilder exif(order);
    exif.Ifd0()
        .Ascii(271, "TESSALY")
        .Ascii(272, model)
        .Short(274, 1)
        .Rational(282, 72, 1)
        .Rational(283, 72, 1)
        .Short(296, 2)
        .Ascii(306, time);
    exif.Exif()
        .Rational(33434, 1, 250)
        .Rational(33437, 28, 10)
        .Short(34850, 2)
        .Short(34855, 100)
        .Undefined(36864, {'0', '2', '2', '0'})
        .Ascii(36867, time)
        .Ascii(36868, time)
        .SRational(37380, 0, 3)
        .Rational(37381, 3, 1)
        .Short(37383, 5)
        .Short(37385, 0)
        .Rational(37386, 78, 10)
        .Ascii(37521, "25")
        .Undefined(40960, {'0', '1', '0', '0'})
        .Short(40961, 1)
        .Long(40962, static_cast<std::uint32_t>(width))
        .Long(40963, static_cast<std::uint32_t>(height));
    return ExifSegment(exif.Build());
}

void Write(const std::filesystem::path& path, const Bytes& bytes) {
    WriteFile(path, bytes);
    std::printf("  %s (%zu bytes)\n", path.string().c_str(), bytes.size());
}

// A 1 x 1 PNG: the viewer lists no PNG files.
const Bytes kTinyPng = {0x89, 'P',  'N',  'G',  0x0D, 0x0A, 0x1A, 0x0A, 0x00, 0x00, 0x00, 0x0D,
                        'I',  'H',  'D',  'R',  0x00, 0x00, 0x00, 0x01, 0x00, 0x00, 0x00, 0x01,
                        0x08, 0x02, 0x00, 0x00, 0x00, 0x90, 0x77, 0x53, 0xDE, 0x00, 0x00, 0x00,
                        0x0C, 'I',  'D',  'A',  'T',  0x08, 0xD7, 0x63, 0xF8, 0xCF, 0xC0, 0x00,
                        0x00, 0x03, 0x01, 0x01, 0x00, 0x18, 0xDD, 0x8D, 0xB0, 0x00, 0x00, 0x00,
                        0x00, 'I',  'E',  'N',  'D',  0xAE, 0x42, 0x60, 0x82};

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: make_samples OUTPUT_FOLDER\n");
        return 2;
    }
    try {
        const std::filesystem::path out = argv[1];
        std::filesystem::remove_all(out);
        std::printf("Writing samples to %s\n", out.string().c_str());
        Write(out / "01 風景" / "IMG_0001.JPG",
              EncodeJpeg(Landscape(1600, 1200, 0.0),
                         {.quality = 90,
                          .segments = {SampleExif(ByteOrder::Intel, 1600, 1200, "T-100",
                                                  "2006:07:17 09:15:30")}}));
        Write(out / "01 風景" / "IMG_0002.jpg",
              EncodeJpeg(Landscape(4000, 3000, 1.0),
                         {.quality = 90,
                          .segments = {SampleExif(ByteOrder::Motorola, 4000, 3000, "T-200 PRO",
                                                  "2006:07:17 16:40:05")}}));
        Write(out / "02 街" / "夜" / "DSC0003.Jpg",
              EncodeJpeg(Landscape(640, 480, 2.0), {.quality = 85}));
        Write(out / "02 街" / "small.JPG",
              EncodeJpeg(Landscape(160, 120, 3.0), {.quality = 90, .grayscale = true}));
        Write(out / "02 街" / "progressive.jpg",
              EncodeJpeg(Landscape(1024, 768, 4.0),
                         {.quality = 90,
                          .progressive = true,
                          .segments = {SampleExif(ByteOrder::Intel, 1024, 768, "T-100",
                                                  "2006:07:18 07:02:11")}}));
        Write(out / "a-wide-one.jpg", EncodeJpeg(Landscape(3000, 1000, 5.0), {.quality = 88}));
        Write(out / "not-listed.jpeg", EncodeJpeg(Landscape(320, 240, 6.0)));
        Write(out / "not-listed.png", kTinyPng);
    } catch (const std::exception& e) {
        std::fprintf(stderr, "make_samples: %s\n", e.what());
        return 1;
    }
    return 0;
}
