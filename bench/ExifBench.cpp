// The EXIF read of a camera-like file against decoding the same file's pixels with libjpeg.
// The read must cost less than 5 % of the decode.
//
// The file is made here: a 4000 x 3000 picture (12 megapixels, quality 92) with an EXIF
// block as cameras write it (IFD0, an Exif directory with a 16 KiB maker note and a user
// comment, the interoperability directory, IFD1 with an 8 KiB thumbnail). Set
// TESSALY_BENCH_JPEG to a real camera file to measure that one as well.
#include "exif/ExifInfo.h"
#include "exif/ExifOverlay.h"
#include "jpeg/JpegDecoder.h"
#include "tests/support/ExifBuilder.h"

#include <benchmark/benchmark.h>
#include <cstdlib>
#include <string>

namespace {

using namespace tessaly;
using namespace tessaly::fixtures;

Bytes CameraExif() {
    ExifBuilder b(ByteOrder::Intel);
    b.Ifd0()
        .Ascii(270, "          ")
        .Ascii(271, "MAKER")
        .Ascii(272, "MODEL 12")
        .Short(274, 1)
        .Rational(282, 72, 1)
        .Rational(283, 72, 1)
        .Short(296, 2)
        .Ascii(305, "Ver.1.00")
        .Ascii(306, "2024:05:06 07:08:09")
        .Short(531, 2);
    Bytes makerNote(16 * 1024);
    for (std::size_t i = 0; i < makerNote.size(); ++i)
        makerNote[i] = static_cast<std::uint8_t>(i * 31);
    Bytes comment(264, ' ');
    std::copy_n("ASCII\0\0\0", 8, comment.begin());
    b.Exif()
        .Rational(33434, 1, 250)
        .Rational(33437, 56, 10)
        .Short(34850, 2)
        .Short(34855, 200)
        .Undefined(36864, {'0', '2', '3', '1'})
        .Ascii(36867, "2024:05:06 07:08:09")
        .Ascii(36868, "2024:05:06 07:08:09")
        .Undefined(37121, {1, 2, 3, 0})
        .Rational(37122, 4, 1)
        .SRational(37377, 8, 1)
        .Rational(37378, 5, 1)
        .SRational(37380, 0, 3)
        .Rational(37381, 3, 1)
        .Short(37383, 5)
        .Short(37384, 0)
        .Short(37385, 16)
        .Rational(37386, 185, 10)
        .Undefined(37500, makerNote)
        .Undefined(37510, comment)
        .Ascii(37520, "00")
        .Ascii(37521, "00")
        .Ascii(37522, "00")
        .Undefined(40960, {'0', '1', '0', '0'})
        .Short(40961, 1)
        .Long(40962, 4000)
        .Long(40963, 3000)
        .Rational(41486, 4000000, 243)
        .Rational(41487, 3000000, 182)
        .Short(41488, 2)
        .Short(41495, 2)
        .Undefined(41728, {3})
        .Undefined(41729, {1})
        .Short(41985, 0)
        .Short(41986, 0)
        .Short(41987, 0)
        .Short(41990, 0);
    b.Interop().Ascii(1, "R98").Undefined(2, {'0', '1', '0', '0'});
    b.Ifd1().Short(259, 6).Rational(282, 72, 1).Rational(283, 72, 1).Short(296, 2);
    JpegOptions thumbOptions;
    thumbOptions.jfif = false;
    b.Thumbnail(EncodeJpeg(GradientBitmap(160, 120), thumbOptions));
    return b.Build();
}

class CameraFile {
public:
    CameraFile() {
        JpegOptions options;
        options.quality = 92;
        options.jfif = false;
        options.segments = {ExifSegment(CameraExif())};
        bytes_ = EncodeJpeg(GradientBitmap(4000, 3000), options);
        path_ = (dir_ / "camera.jpg").string();
        WriteFile(path_, bytes_);
    }
    const std::string& path() const { return path_; }

private:
    TempDir dir_{"tessaly-bench-exif"};
    Bytes bytes_;
    std::string path_;
};

const std::string& SyntheticPath() {
    static const CameraFile file;
    return file.path();
}

void ReadExif(benchmark::State& state, const std::string& path) {
    TExifInfo info;
    for (auto _ : state) {
        info.SetImageFileName(path);
        benchmark::DoNotOptimize(info.Make().data());
    }
}

void OverlayText(benchmark::State& state, const std::string& path) {
    TExifInfo info;
    for (auto _ : state)
        benchmark::DoNotOptimize(MakeDspExifInfo(info, path, ExifItems::All));
}

// Loading the file and decoding it, as the viewer does for display.
void DecodePixels(benchmark::State& state, const std::string& path) {
    for (auto _ : state) {
        const Bytes bytes = ReadFile(path);
        const Bitmap bitmap = DecodeJpeg(bytes);
        benchmark::DoNotOptimize(bitmap.Row(0));
    }
}

void RegisterAll() {
    const std::string& synthetic = SyntheticPath();
    benchmark::RegisterBenchmark("ExifRead/camera12MP", ReadExif, synthetic)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("ExifOverlayText/camera12MP", OverlayText, synthetic)
        ->Unit(benchmark::kMicrosecond);
    benchmark::RegisterBenchmark("JpegDecode/camera12MP", DecodePixels, synthetic)
        ->Unit(benchmark::kMicrosecond);
    if (const char* real = std::getenv("TESSALY_BENCH_JPEG")) {
        const std::string path = real;
        benchmark::RegisterBenchmark("ExifRead/real", ReadExif, path)
            ->Unit(benchmark::kMicrosecond);
        benchmark::RegisterBenchmark("JpegDecode/real", DecodePixels, path)
            ->Unit(benchmark::kMicrosecond);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
