// The file's own preview as a stand-in for large photos: the time from opening the file to
// the decoded stand-in, against libjpeg's own 1/8-scaled decode of the same file, for 4:3
// photos of 24, 64, 128 and 256 megapixels (4:2:0, quality 90, photo-like grain) shown
// fitted to the main window's 585 x 394 client area (525 x 394).
//   - StandInFromExifThumbnail: the file carries a 160 x 120 EXIF thumbnail only, which is
//     decoded whole (it is smaller than the shown size);
//   - StandInFromMpfPreview: the file also carries a 1920 x 1440 large thumbnail in a
//     multi-picture index, decoded at 3/8 (720 x 540);
//   - LibjpegEighth: jpeg_read_scanlines of the whole file at scale 1/8, read with stdio
//     (counter: the file's size).
// Each stand-in iteration opens the file, reads the picture's header, finds the previews
// and decodes the chosen one. The files are made once per run in a temporary folder
// (about 300 MB, 40 s).
// Run: build-bench/bench/bench_preview
#include "jpegfile/FilePreviews.h"
#include "jpeg/FilePreview.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/MpfBuilder.h"

#include <algorithm>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <jpeglib.h>
#include <memory>
#include <string>
#include <vector>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

constexpr int kShownWidth = 525;
constexpr int kShownHeight = 394;

struct Size {
    int megapixels;
    int width;
    int height;
};
// 4:3, as near the round number as multiples of 16 allow.
constexpr Size kSizes[] = {
    {24, 5664, 4248}, {64, 9248, 6936}, {128, 13056, 9792}, {256, 18432, 13824}};

std::string ThumbnailPath(int megapixels) {
    return "thumbnail-" + std::to_string(megapixels) + ".jpg";
}
std::string IndexPath(int megapixels) {
    return "index-" + std::to_string(megapixels) + ".jpg";
}

const TempDir& Folder() {
    static const TempDir dir("tessaly-bench-preview");
    static const bool written = [] {
        ExifBuilder exif;
        exif.Ifd0().Ascii(271, "TESSALY").Ascii(272, "BENCH");
        exif.Thumbnail(EncodeJpeg(PhotoLikeBitmap(160, 120), {.quality = 80, .jfif = false}));
        const Bytes exifSegment = ExifSegment(exif.Build());
        const Bytes preview = EncodeJpeg(PhotoLikeBitmap(1920, 1440), {.quality = 85});
        const Bytes index = MpfSegment(1);
        for (const Size& size : kSizes) {
            PhotoLikeRows rows(size.width, size.height);
            const Bytes primary = EncodeJpegRows(size.width, size.height, rows,
                                                 {.quality = 90, .segments = {exifSegment, index}});
            WriteFile(dir / IndexPath(size.megapixels),
                      AddMpfPictures(primary, {{kMpfLargeThumbnailFullHd, preview}}));
            // The same picture without the index.
            Bytes thumbnailOnly = primary;
            const auto at =
                std::search(thumbnailOnly.begin(), thumbnailOnly.end(), index.begin(), index.end());
            thumbnailOnly.erase(at, at + static_cast<std::ptrdiff_t>(index.size()));
            WriteFile(dir / ThumbnailPath(size.megapixels), thumbnailOnly);
        }
        return true;
    }();
    (void)written;
    return dir;
}

void StandIn(benchmark::State& state, const std::string& name, int expectedWidth) {
    const std::string path = (Folder() / name).string();
    for (auto _ : state) {
        const RegularFile file(path);
        const JpegInfo picture = ReadJpegHeader(file);
        const std::vector<FilePart> places = FindFilePreviews(file);
        const std::optional<FilePreview> preview =
            DecodeFilePreview(file, places, picture, kShownWidth, kShownHeight);
        if (!preview || preview->width != expectedWidth) {
            state.SkipWithError("no stand-in, or not the expected one");
            break;
        }
        benchmark::DoNotOptimize(preview->pixels.Data());
    }
}

// libjpeg on its own, as an application that only wants the reduced picture would call it.
void LibjpegEighth(benchmark::State& state, const std::string& name) {
    const std::string path = (Folder() / name).string();
    for (auto _ : state) {
        const std::unique_ptr<FILE, int (*)(FILE*)> in(std::fopen(path.c_str(), "rb"), std::fclose);
        jpeg_decompress_struct cinfo{};
        jpeg_error_mgr jerr{};
        cinfo.err = jpeg_std_error(&jerr);
        jpeg_create_decompress(&cinfo);
        jpeg_stdio_src(&cinfo, in.get());
        jpeg_read_header(&cinfo, TRUE);
        cinfo.scale_num = 1;
        cinfo.scale_denom = 8;
        cinfo.out_color_space = JCS_EXT_BGR;
        jpeg_start_decompress(&cinfo);
        std::vector<JSAMPLE> pixels(std::size_t{cinfo.output_width} * 3 * cinfo.output_height);
        while (cinfo.output_scanline < cinfo.output_height) {
            JSAMPROW row =
                pixels.data() + std::size_t{cinfo.output_scanline} * cinfo.output_width * 3;
            jpeg_read_scanlines(&cinfo, &row, 1);
        }
        jpeg_finish_decompress(&cinfo);
        jpeg_destroy_decompress(&cinfo);
        benchmark::DoNotOptimize(pixels.data());
    }
    state.counters["file_MiB"] = static_cast<double>(RegularFile(path).Size()) / (1 << 20);
}

void RegisterAll() {
    for (const Size& size : kSizes) {
        const std::string mp = std::to_string(size.megapixels) + "MP";
        benchmark::RegisterBenchmark(("StandInFromExifThumbnail/" + mp).c_str(), StandIn,
                                     ThumbnailPath(size.megapixels), 160)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("StandInFromMpfPreview/" + mp).c_str(), StandIn,
                                     IndexPath(size.megapixels), 1920)
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
        benchmark::RegisterBenchmark(("LibjpegEighth/" + mp).c_str(), LibjpegEighth,
                                     IndexPath(size.megapixels))
            ->UseRealTime()
            ->Unit(benchmark::kMillisecond);
    }
}

} // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    RegisterAll();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
