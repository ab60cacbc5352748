// Large photos decoded in stripes on two threads (imaging/JpegStripes.h), against the same
// decode in one piece and against libjpeg's own decode on one core, for 4:2:0 photo-like
// files (quality 90) of 24, 64, 128 and 256 megapixels with a restart marker at every row of
// MCUs, as `cjpeg -restart 1` writes them; the files are made once into a temporary folder.
//   - BM_ScreenCopy*: the picture at libjpeg's 1/8 scale as 24-bit pixels;
//   - BM_KeptPicture*: the full picture as the viewer keeps it (the planes libjpeg decodes
//     before colour conversion), and libjpeg's own full decode to 24-bit rows (thrown away
//     row by row, so that its memory is libjpeg's alone);
//   - BM_StripePlan: reading the marker segments and finding the restart markers.
// Each reports the peak memory one decode adds to a fresh process (`peak_MiB`: this program
// run again with --peak=NAME PATH).
// Run: build-bench/bench/bench_stripes
#include "imaging/JpegDecoder.h"
#include "imaging/JpegStripes.h"
#include "tests/support/JpegFixtures.h"

#include <array>
#include <benchmark/benchmark.h>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <jpeglib.h>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

using namespace tessaly;

namespace {

struct Photo {
    int megapixels;
    int width;
    int height;
};

constexpr std::array<Photo, 4> kPhotos = {{
    {24, 6000, 4000},
    {64, 9216, 6944},
    {128, 13056, 9792},
    {256, 18432, 13888},
}};

constexpr int kThreads = 2;

// The photo of about `megapixels` megapixels as a file, written on first use.
const std::string& PhotoFile(int megapixels) {
    static const fixtures::TempDir dir("tessaly-bench-stripes");
    static std::array<std::string, kPhotos.size()> paths;
    for (std::size_t i = 0; i < kPhotos.size(); ++i) {
        const Photo& photo = kPhotos[i];
        if (photo.megapixels != megapixels)
            continue;
        if (paths[i].empty()) {
            const std::string path = (dir / (std::to_string(megapixels) + "mp.jpg")).string();
            fixtures::WriteJpegFile(path, photo.width, photo.height,
                                    fixtures::PhotoLikeRows(photo.width, photo.height),
                                    {.quality = 90, .restartRows = 1});
            paths[i] = path;
        }
        return paths[i];
    }
    throw std::invalid_argument("no photo of " + std::to_string(megapixels) + " megapixels");
}

// Kibibytes of a line of /proc/self/status ("VmRSS", "VmHWM").
double StatusKiB(const std::string& field) {
    std::ifstream status("/proc/self/status");
    for (std::string line; std::getline(status, line);)
        if (line.starts_with(field + ":"))
            return std::stod(line.substr(field.size() + 1));
    return 0;
}

// libjpeg on one core, as a program using it plainly would: the file through stdio, 24-bit
// rows at scale eighths/8; `keep` holds the whole output, else one row is reused.
void LibjpegDecode(const std::string& path, int eighths, bool keep) {
    std::FILE* file = std::fopen(path.c_str(), "rb");
    if (file == nullptr)
        throw std::runtime_error("cannot open " + path);
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr err{};
    cinfo.err = jpeg_std_error(&err);
    jpeg_create_decompress(&cinfo);
    jpeg_stdio_src(&cinfo, file);
    jpeg_read_header(&cinfo, TRUE);
    cinfo.out_color_space = JCS_EXT_BGR;
    cinfo.scale_num = static_cast<unsigned>(eighths);
    cinfo.scale_denom = 8;
    jpeg_start_decompress(&cinfo);
    const std::size_t stride = std::size_t{cinfo.output_width} * 3;
    std::vector<JSAMPLE> pixels(stride * (keep ? cinfo.output_height : 1));
    while (cinfo.output_scanline < cinfo.output_height) {
        JSAMPROW row = pixels.data() + (keep ? stride * cinfo.output_scanline : 0);
        jpeg_read_scanlines(&cinfo, &row, 1);
    }
    benchmark::DoNotOptimize(pixels.data());
    jpeg_finish_decompress(&cinfo);
    jpeg_destroy_decompress(&cinfo);
    std::fclose(file);
}

using Decode = std::function<void(const RegularFile&, const JpegInfo&)>;

struct Case {
    const char* name;
    Decode decode;
};

const Case kCases[] = {
    {"ScreenCopy_Stripes",
     [](const RegularFile& file, const JpegInfo& info) {
         const Bitmap bmp = DecodeJpegScaledInStripes(file, info, 1, kThreads);
         benchmark::DoNotOptimize(bmp.Data());
     }},
    {"ScreenCopy_OnePiece",
     [](const RegularFile& file, const JpegInfo& info) {
         const Bitmap bmp = DecodeJpegScaled(file, info, 1);
         benchmark::DoNotOptimize(bmp.Data());
     }},
    {"ScreenCopy_Libjpeg",
     [](const RegularFile& file, const JpegInfo&) { LibjpegDecode(file.Path(), 1, true); }},
    {"KeptPicture_Stripes",
     [](const RegularFile& file, const JpegInfo& info) {
         const DecodedPicture kept = DecodeJpegToKeepInStripes(file, info, kThreads);
         benchmark::DoNotOptimize(kept.Planes());
     }},
    {"KeptPicture_OnePiece",
     [](const RegularFile& file, const JpegInfo& info) {
         const DecodedPicture kept = DecodeJpegToKeep(file, info);
         benchmark::DoNotOptimize(kept.Planes());
     }},
    {"KeptPicture_Libjpeg",
     [](const RegularFile& file, const JpegInfo&) { LibjpegDecode(file.Path(), 8, false); }},
    {"StripePlan",
     [](const RegularFile& file, const JpegInfo& info) {
         if (!JpegStripes::Scaled(file, info, 1, 2 * kThreads))
             throw std::logic_error("the photo has no plan of stripes");
     }},
};

const Case& CaseNamed(std::string_view name) {
    for (const Case& c : kCases)
        if (name == c.name)
            return c;
    throw std::invalid_argument("no benchmark " + std::string(name));
}

constexpr std::string_view kPeakOption = "--peak=";

// In a process of its own (this program with --peak=NAME PATH): the most memory the
// decode adds to the resident set, in MiB, with the peak reset (clear_refs 5) before it.
int PrintPeak(std::string_view name, const std::string& path) {
    const Case& c = CaseNamed(name);
    const RegularFile file(path);
    const JpegInfo info = ReadJpegHeader(file);
    std::ofstream("/proc/self/clear_refs") << "5";
    const double before = StatusKiB("VmRSS");
    c.decode(file, info);
    std::printf("%.1f\n", (StatusKiB("VmHWM") - before) / 1024);
    return 0;
}

// The peak memory of one decode in a fresh process, so that what earlier decodes left in
// this one's heap does not hide it.
double PeakMiB(const Case& c, const std::string& path) {
    const std::string self = std::filesystem::read_symlink("/proc/self/exe").string();
    const std::string command =
        "'" + self + "' " + std::string(kPeakOption) + c.name + " '" + path + "'";
    const std::unique_ptr<std::FILE, decltype(&pclose)> child(popen(command.c_str(), "r"), &pclose);
    double peak = -1;
    if (!child || std::fscanf(child.get(), "%lf", &peak) != 1)
        throw std::runtime_error("no peak from " + command);
    return peak;
}

// Times the case on the photo of state.range(0) megapixels and reports its peak memory.
void Run(benchmark::State& state, const Case& c) {
    const std::string& path = PhotoFile(static_cast<int>(state.range(0)));
    const RegularFile file(path);
    const JpegInfo info = ReadJpegHeader(file);
    for (auto _ : state)
        c.decode(file, info);
    state.counters["peak_MiB"] = PeakMiB(c, path);
    state.counters["file_MiB"] = static_cast<double>(file.Size()) / (1 << 20);
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::string_view(argv[1]).starts_with(kPeakOption))
        return PrintPeak(std::string_view(argv[1]).substr(kPeakOption.size()), argv[2]);
    for (const Case& c : kCases) {
        benchmark::internal::Benchmark* b =
            benchmark::RegisterBenchmark(("BM_" + std::string(c.name)).c_str(),
                                         [&c](benchmark::State& state) { Run(state, c); });
        for (const Photo& photo : kPhotos)
            b->Arg(photo.megapixels);
        b->ArgName("MP")->Unit(benchmark::kMillisecond)->UseRealTime();
    }
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
