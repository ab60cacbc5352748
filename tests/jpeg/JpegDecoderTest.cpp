#include "jpeg/JpegDecoder.h"

#include "resample/DisplayScale.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/MemoryLimit.h"

#include <chrono>
#include <filesystem>
#include <fstream>
#include <functional>
#include <gtest/gtest.h>
#include <string>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

// The picture decoded row by row into its display copy, as the picture pipeline does.
Bitmap DecodeForDisplay(const RegularFile& file, int width, int height,
                        const std::atomic<bool>* stop = nullptr) {
    const JpegInfo info = ReadJpegHeader(file);
    Bitmap copy = Bitmap::Uninitialized(width, height);
    DisplayReducer reducer(info.width, info.height, copy);
    DecodeJpegRows(
        file, info,
        {[&](const std::uint8_t* row) { reducer.AddRow(row); }, [&] { reducer.Restart(); }}, stop);
    return copy;
}

// Mean difference of the channels of two pictures of the same size.
double MeanDifference(const Bitmap& a, const Bitmap& b) {
    double sum = 0;
    for (int y = 0; y < a.Height(); ++y)
        for (int i = 0; i < a.Width() * 3; ++i)
            sum += std::abs(a.Row(y)[i] - b.Row(y)[i]);
    return sum / (a.Width() * a.Height() * 3.0);
}

// Offset of the last marker with the given code (0xFF, code) in a JPEG stream.
std::size_t LastMarker(const Bytes& jpeg, std::uint8_t code) {
    for (std::size_t i = jpeg.size() - 2; i > 0; --i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code)
            return i;
    return 0;
}

// `jpeg` with `copies` more copies of its last scan before the end of image.
Bytes WithRepeatedLastScan(const Bytes& jpeg, int copies) {
    const std::size_t lastScan = LastMarker(jpeg, 0xDA);
    const Bytes scan(jpeg.begin() + static_cast<std::ptrdiff_t>(lastScan), jpeg.end() - 2);
    Bytes out(jpeg.begin(), jpeg.end() - 2);
    for (int i = 0; i < copies; ++i)
        out.insert(out.end(), scan.begin(), scan.end());
    out.push_back(0xFF);
    out.push_back(0xD9);
    return out;
}

template <typename Error> bool Throws(const std::function<void()>& step) {
    try {
        step();
    } catch (const Error&) {
        return true;
    }
    return false;
}

constexpr std::uint64_t kMiB = 1 << 20;

// Bytes this process has read from files so far (rchar of /proc/self/io).
std::uint64_t BytesReadSoFar() {
    std::ifstream io("/proc/self/io");
    std::string key;
    std::uint64_t value = 0;
    while (io >> key >> value)
        if (key == "rchar:")
            return value;
    ADD_FAILURE() << "no rchar in /proc/self/io";
    return 0;
}

// The start of image, `count` bytes of `garbage`, then the rest of the file.
Bytes WithGarbageAfterStart(const Bytes& jpeg, std::uint64_t count, std::uint8_t garbage) {
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    out.resize(2 + count, garbage);
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

// The start of image, `count` APP5 segments of the largest size, then the rest of the file.
Bytes WithLargestSegments(const Bytes& jpeg, std::uint64_t count) {
    Bytes segment(2 + 65535, 0x5A);
    segment[0] = 0xFF, segment[1] = 0xE5, segment[2] = 0xFF, segment[3] = 0xFF;
    Bytes out(jpeg.begin(), jpeg.begin() + 2);
    for (std::uint64_t i = 0; i < count; ++i)
        out.insert(out.end(), segment.begin(), segment.end());
    out.insert(out.end(), jpeg.begin() + 2, jpeg.end());
    return out;
}

std::string ErrorOf(const std::function<void()>& step) {
    try {
        step();
    } catch (const JpegError& e) {
        return e.what();
    }
    return "no error";
}

} // namespace

TEST(JpegDecoder, DecodesColourAtFullSizeInBlueGreenRedOrder) {
    const Bitmap source = SolidBitmap(33, 17, 200, 100, 30);
    const Bytes jpeg = EncodeJpeg(source, {.quality = 100});
    const JpegInfo info = ReadJpegHeader(jpeg);
    EXPECT_EQ(info.width, 33);
    EXPECT_EQ(info.height, 17);
    EXPECT_EQ(info.components, 3);
    const Bitmap decoded = DecodeJpeg(jpeg);
    ASSERT_EQ(decoded.Width(), 33);
    ASSERT_EQ(decoded.Height(), 17);
    EXPECT_LE(MeanDifference(source, decoded), 1.0);
}

TEST(JpegDecoder, GreyProgressiveArithmeticAndCmykFilesAllComeOutInColour) {
    const Bitmap source = GradientBitmap(64, 48);
    const Bytes grey = EncodeJpeg(source, {.grayscale = true});
    EXPECT_TRUE(ReadJpegHeader(grey).grayscale);
    const Bitmap g = DecodeJpeg(grey);
    EXPECT_EQ(g.Row(10)[30], g.Row(10)[31]); // equal blue, green and red
    EXPECT_EQ(g.Row(10)[31], g.Row(10)[32]);

    EXPECT_TRUE(ReadJpegHeader(EncodeJpeg(source, {.progressive = true})).progressive);
    EXPECT_LE(MeanDifference(source,
                             DecodeJpeg(EncodeJpeg(source, {.quality = 100, .progressive = true}))),
              4.0);
    EXPECT_LE(MeanDifference(source,
                             DecodeJpeg(EncodeJpeg(source, {.quality = 100, .arithmetic = true}))),
              4.0);

    const Bytes cmyk = EncodeJpeg(source, {.quality = 100, .cmyk = true});
    EXPECT_TRUE(ReadJpegHeader(cmyk).cmyk);
    EXPECT_LE(MeanDifference(source, DecodeJpeg(cmyk)), 4.0);
}

TEST(JpegDecoder, NotAJpegIsAnErrorNotACrash) {
    EXPECT_THROW(ReadJpegHeader(Bytes{}), JpegError);
    EXPECT_THROW(ReadJpegHeader(Bytes{'h', 'e', 'l', 'l', 'o'}), JpegError);
    EXPECT_THROW(DecodeJpeg(Bytes{0xFF, 0xD8, 0xFF, 0xD9}), JpegError);
}

TEST(JpegDecoder, TruncatedFileKeepsWhatWasDecodedAndPadsTheRestGrey) {
    const Bitmap source = GradientBitmap(256, 256);
    Bytes jpeg = EncodeJpeg(source, {.quality = 100});
    jpeg.resize(jpeg.size() / 2);
    const Bitmap decoded = DecodeJpeg(jpeg);
    ASSERT_EQ(decoded.Height(), 256);
    EXPECT_NEAR(decoded.Row(0)[3 * 255], 255, 3); // the top was decoded: the gradient's blue
    EXPECT_NEAR(decoded.Row(255)[0], 128, 3);     // the missing bottom is grey
    EXPECT_NEAR(decoded.Row(255)[3 * 255], 128, 3);
}

TEST(PictureLimit, AllowsExactly2To28PixelsAndNeverOverflows) {
    EXPECT_FALSE(ExceedsPictureLimit(16384, 16384));
    EXPECT_TRUE(ExceedsPictureLimit(16384, 16385));
    EXPECT_FALSE(ExceedsPictureLimit(1, kMaxDecodePixels));
    EXPECT_TRUE(ExceedsPictureLimit(kMaxDecodePixels + 1, 1));
    // Sizes whose product wraps around 64 bits to a small number.
    EXPECT_TRUE(ExceedsPictureLimit(std::uint64_t{1} << 32, std::uint64_t{1} << 32));
    EXPECT_FALSE(ExceedsPictureLimit(0, ~std::uint64_t{0}));
}

TEST(JpegDecoder, HugeHeaderIsRefusedBeforeAllocating) {
    Bytes jpeg = EncodeJpeg(SolidBitmap(8, 8, 1, 2, 3));
    const std::size_t sof = LastMarker(jpeg, 0xC0);
    ASSERT_GT(sof, 0u);
    // SOF0: FF C0, length (2), precision (1), height (2), width (2)
    jpeg[sof + 5] = 0xFF, jpeg[sof + 6] = 0xDC; // 65500
    jpeg[sof + 7] = 0xFF, jpeg[sof + 8] = 0xDC;
    const JpegInfo info = ReadJpegHeader(jpeg);
    EXPECT_EQ(info.width, 65500);
    EXPECT_THROW(CheckDecodable(info), JpegTooLarge);
    try {
        DecodeJpeg(jpeg);
        FAIL() << "a 65500 x 65500 picture must be refused";
    } catch (const JpegTooLarge& e) {
        EXPECT_EQ(e.width(), 65500);
        EXPECT_EQ(e.height(), 65500);
    }
}

TEST(JpegDecoder, ThousandsOfScansAreRefusedQuickly) {
    const Bytes hostile =
        WithRepeatedLastScan(EncodeJpeg(GradientBitmap(512, 512), {.progressive = true}), 3000);
    const auto start = std::chrono::steady_clock::now();
    EXPECT_THROW(DecodeJpeg(hostile), JpegError);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(10));
}

TEST(JpegDecoder, ScansBeyondTheWorkBudgetOfThePictureAreRefused) {
    // Each copy of a grey file's last scan visits every block again: 100 copies stay under
    // the scan count but visit the picture more than 64 times over.
    const Bytes jpeg = EncodeJpeg(GradientBitmap(64, 64), {.progressive = true, .grayscale = true});
    EXPECT_EQ(DecodeJpeg(WithRepeatedLastScan(jpeg, 20)).Width(), 64) << "within the budget";
    try {
        DecodeJpeg(WithRepeatedLastScan(jpeg, 100));
        FAIL() << "100 repeated scans must be refused";
    } catch (const JpegError& e) {
        const std::string message = e.what();
        EXPECT_NE(message.find("too many scans"), std::string::npos) << message;
        EXPECT_EQ(message.find("progressive"), std::string::npos) << message;
    }
}

TEST(JpegDecoder, TinyFilesOfHugePicturesStayWithinTheDecodedSize) {
    // 16384 x 16384 progressive CMYK: 2 GiB of coefficients besides the 768 MiB picture;
    // refused before anything is allocated.
    const Bytes cmyk = HeaderOnly(
        EncodeJpeg(GradientBitmap(16, 16), {.progressive = true, .cmyk = true}), 16384, 16384);
    // A baseline header for 4096 x 4096 (48 MiB decoded), with no data: grey rows.
    const Bytes baseline = HeaderOnly(EncodeJpeg(GradientBitmap(16, 16)), 4096, 4096);
    if (tessaly::testing::kAddressSpaceIsReserved)
        GTEST_SKIP() << "address space limits do not apply under a sanitizer";
    EXPECT_TRUE(tessaly::testing::RunsWithin(
        64 * kMiB, [&] { return Throws<JpegTooLarge>([&] { DecodeJpeg(cmyk); }); }));
    EXPECT_TRUE(tessaly::testing::RunsWithin(48 * kMiB + 32 * kMiB, [&] {
        const Bitmap decoded = DecodeJpeg(baseline);
        return decoded.Width() == 4096 && decoded.Row(4095)[3 * 4095] == 128;
    }));
}

TEST(JpegDecoder, FileIsReadAsTheDecoderAsksAndANonJpegIsRefusedAtOnce) {
    const TempDir dir;
    const Bytes jpeg = EncodeJpeg(GradientBitmap(64, 48), {.progressive = true});
    // A photo followed by 2 GiB the file system does not store, and 3 GiB of nothing.
    WriteFile(dir / "padded.jpg", jpeg);
    std::filesystem::resize_file(dir / "padded.jpg", std::uintmax_t{2} << 30);
    WriteFile(dir / "empty.jpg", {});
    std::filesystem::resize_file(dir / "empty.jpg", std::uintmax_t{3} << 30);
    const Bitmap expected = DecodeJpeg(jpeg);
    EXPECT_THROW(DecodeJpegFile((dir / "missing.jpg").string()), FileReadError);
    EXPECT_THROW(DecodeJpegFile(dir.path().string()), FileReadError);
    if (tessaly::testing::kAddressSpaceIsReserved)
        GTEST_SKIP() << "address space limits do not apply under a sanitizer";
    EXPECT_TRUE(tessaly::testing::RunsWithin(32 * kMiB, [&] {
        return DecodeJpegFile((dir / "padded.jpg").string()).SamePixels(expected);
    }));
    EXPECT_TRUE(tessaly::testing::RunsWithin(32 * kMiB, [&] {
        return Throws<JpegError>([&] { DecodeJpegFile((dir / "empty.jpg").string()); });
    }));
}

TEST(JpegDecoder, GarbageWhereAMarkerIsDueEndsTheStreamOnceItPassesTheBound) {
    // libjpeg skips anything while it looks for the next marker. Within the bound the file
    // reads as if the garbage were not there; beyond it the stream ends there, before the
    // frame, and the error names the bound.
    const Bytes jpeg = EncodeJpeg(GradientBitmap(64, 48));
    const Bitmap expected = DecodeJpeg(jpeg);
    for (const std::uint8_t garbage : {0x00, 0x5A}) {
        const std::uint64_t within = kMaxBytesWithoutMarker - 128 * 1024;
        const std::uint64_t beyond = kMaxBytesWithoutMarker + 128 * 1024;
        EXPECT_TRUE(DecodeJpeg(WithGarbageAfterStart(jpeg, within, garbage)).SamePixels(expected))
            << int{garbage};
        const std::string error =
            ErrorOf([&] { ReadJpegHeader(WithGarbageAfterStart(jpeg, beyond, garbage)); });
        EXPECT_NE(error.find("1 MiB without a marker"), std::string::npos) << error;
        EXPECT_NE(error.find("contains no image"), std::string::npos) << error;
    }
    // Marker segments in a row: the largest ICC profile (255 segments) reads; past the
    // bound on the header the stream ends before the frame.
    EXPECT_TRUE(DecodeJpeg(WithLargestSegments(jpeg, 255)).SamePixels(expected));
    const std::string error =
        ErrorOf([&] { ReadJpegHeader(WithLargestSegments(jpeg, kMaxMarkerBytes / 65537 + 2)); });
    EXPECT_NE(error.find("64 MiB of marker segments"), std::string::npos) << error;
}

// Fill bytes (0xFF) before any marker are legal in any number and count towards no bound: 2 MiB
// of them before the frame, before the scan and before a restart marker decode as without
// them, as djpeg decodes them. Garbage of the same size before the restart marker is cut
// by the bound inside a scan: the rows before it are kept and the notes name the bound.
TEST(JpegDecoder, FillBytesBeforeAMarkerCountTowardsNoBound) {
    const Bytes jpeg = EncodeJpeg(GradientBitmap(64, 128), {.restartRows = 1});
    const Bitmap expected = DecodeJpeg(jpeg);
    const auto before = [&](std::uint8_t code) {
        for (std::size_t i = 2; i + 1 < jpeg.size(); ++i)
            if (jpeg[i] == 0xFF && jpeg[i + 1] == code)
                return i;
        return std::size_t{0};
    };
    const auto with = [&](std::size_t at, std::uint8_t byte) {
        Bytes out = jpeg;
        out.insert(out.begin() + static_cast<std::ptrdiff_t>(at), 2 * kMiB, byte);
        return out;
    };
    const TempDir dir;
    for (const std::uint8_t code : {0xC0, 0xDA, 0xD3}) {
        ASSERT_NE(before(code), 0u) << int{code};
        WriteFile(dir / "filled.jpg", with(before(code), 0xFF));
        DecodeNotes notes;
        EXPECT_TRUE(DecodeJpeg(RegularFile((dir / "filled.jpg").string()), nullptr, &notes)
                        .SamePixels(expected))
            << int{code};
        EXPECT_EQ(notes.streamCut, "") << int{code};
    }
    WriteFile(dir / "garbage.jpg", with(before(0xD3), 0x00));
    DecodeNotes notes;
    const Bitmap cut = DecodeJpeg(RegularFile((dir / "garbage.jpg").string()), nullptr, &notes);
    EXPECT_NE(notes.streamCut.find("inside a scan"), std::string::npos) << notes.streamCut;
    EXPECT_TRUE(std::equal(cut.Row(0), cut.Row(0) + cut.Stride(), expected.Row(0)));
    EXPECT_EQ(cut.Row(127)[0], 128); // grey where nothing was decoded
}

TEST(JpegDecoder, GigabytesOfNothingAreNotReadWhereverLibjpegWouldSearchOn) {
    const TempDir dir;
    const Bitmap source = GradientBitmap(64, 48);
    const Bytes progressive = EncodeJpeg(source, {.progressive = true});
    const Bytes restarts = EncodeJpeg(source, {.restartRows = 1});
    const Bytes start(progressive.begin(), progressive.begin() + 2);
    const Bytes jfif(progressive.begin(), progressive.begin() + 20);  // and the JFIF segment
    const Bytes lastScan(progressive.begin(), progressive.end() - 2); // no end of image
    const Bytes restartCut(restarts.begin(), // a few bytes into the second restart interval
                           restarts.begin() +
                               static_cast<std::ptrdiff_t>(LastMarker(restarts, 0xD0) + 8));
    // Each followed by 3 GiB the file system does not store: libjpeg would look for a marker
    // through all of them (before the frame, after a marker segment, after the last scan, at
    // a restart marker).
    for (const auto& [name, bytes] :
         {std::pair{"start", start}, std::pair{"jfif", jfif}, std::pair{"last-scan", lastScan},
          std::pair{"restart", restartCut}}) {
        WriteFile(dir / name, bytes);
        std::filesystem::resize_file(dir / name, std::uintmax_t{3} << 30);
    }
    const std::uint64_t readBefore = BytesReadSoFar();
    for (const char* name : {"start", "jfif"}) {
        const RegularFile file((dir / name).string());
        EXPECT_NE(ErrorOf([&] { ReadJpegHeader(file); }).find("contains no image"),
                  std::string::npos)
            << name;
    }
    // The complete picture, as from the file that ends after its last scan.
    EXPECT_TRUE(DecodeJpegFile((dir / "last-scan").string()).SamePixels(DecodeJpeg(lastScan)));
    // The rows before the cut as decoded from the whole file.
    const Bitmap cut = DecodeJpegFile((dir / "restart").string());
    EXPECT_TRUE(std::equal(cut.Row(0), cut.Row(0) + 3 * 64, DecodeJpeg(restarts).Row(0)));
    EXPECT_LT(BytesReadSoFar() - readBefore, 16 * kMiB);
}

TEST(JpegDecoder, ScaledDecodeTakesTheSmallestEighthNotBelowTheAskedSize) {
    JpegInfo info;
    info.width = 800;
    info.height = 600;
    EXPECT_EQ(ScaleEighthsFor(info, 100, 75), 1);
    EXPECT_EQ(ScaleEighthsFor(info, 101, 75), 2);
    EXPECT_EQ(ScaleEighthsFor(info, 100, 76), 2);
    EXPECT_EQ(ScaleEighthsFor(info, 700, 525), 7);
    EXPECT_EQ(ScaleEighthsFor(info, 701, 1), 8);
    EXPECT_EQ(ScaleEighthsFor(info, 5000, 5000), 8) << "never above the full size";
    EXPECT_EQ(ScaleEighthsFor(info, 0, -3), 1);
    info.width = 801; // libjpeg rounds up: 1/8 of 801 is 101
    EXPECT_EQ(ScaleEighthsFor(info, 101, 1), 1);

    const TempDir dir;
    const Bytes jpeg = EncodeJpeg(GradientBitmap(100, 60));
    WriteFile(dir / "a.jpg", jpeg);
    const RegularFile file((dir / "a.jpg").string());
    EXPECT_TRUE(DecodeJpegScaled(file, ReadJpegHeader(file), 8).SamePixels(DecodeJpeg(jpeg)));
    const Bitmap reduced = DecodeJpegFileAtLeast((dir / "a.jpg").string(), 30, 10);
    EXPECT_EQ(reduced.Width(), 38); // 3/8: 2/8 would give 25
    EXPECT_EQ(reduced.Height(), 23);
    EXPECT_LE(MeanDifference(reduced, DecodeJpegScaled(file, ReadJpegHeader(file), 3)), 0.0);

    WriteFile(dir / "cmyk.jpg", EncodeJpeg(GradientBitmap(100, 60), {.cmyk = true}));
    const Bitmap cmyk = DecodeJpegFileAtLeast((dir / "cmyk.jpg").string(), 1, 1);
    EXPECT_EQ(cmyk.Width(), 13);
    EXPECT_EQ(cmyk.Height(), 8);
    WriteFile(dir / "text.jpg", Bytes{'h', 'i'});
    EXPECT_THROW(DecodeJpegFileAtLeast((dir / "text.jpg").string(), 1, 1), JpegError);
}

TEST(JpegDecoder, ProgressiveFileCutAnywhereAfterItsFirstScanStillDecodes) {
    // A cut inside a later scan's tables or header is an error to libjpeg; the decoder then
    // decodes again without the damaged part and shows what the earlier scans hold.
    const Bitmap source = GradientBitmap(48, 32);
    const Bytes jpeg = EncodeJpeg(source, {.quality = 90, .progressive = true});
    std::size_t firstScan = 0;
    for (std::size_t i = 2; i + 1 < jpeg.size() && !firstScan; ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            firstScan = i;
    std::size_t secondMarker = 0;
    for (std::size_t i = firstScan + 2; i + 1 < jpeg.size() && !secondMarker; ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] != 0x00 && (jpeg[i + 1] < 0xD0 || jpeg[i + 1] > 0xD7))
            secondMarker = i;
    ASSERT_GT(secondMarker, firstScan);
    for (std::size_t size = secondMarker; size <= jpeg.size(); ++size) {
        const Bytes cut(jpeg.begin(), jpeg.begin() + static_cast<std::ptrdiff_t>(size));
        try {
            const Bitmap decoded = DecodeJpeg(cut);
            EXPECT_LE(MeanDifference(source, decoded), 40.0) << "cut at " << size;
        } catch (const JpegError& e) {
            ADD_FAILURE() << "cut at " << size << " of " << jpeg.size() << ": " << e.what();
        }
    }
}

TEST(JpegDecoder, DisplayCopyDecodedRowByRowEqualsTheReducedFullDecode) {
    // Every kind of file, and sizes that split rows and columns unevenly: the copy made while
    // decoding equals, byte for byte, the one reduced from the whole decoded picture.
    const TempDir dir;
    const Bitmap source = GradientBitmap(203, 151, 7);
    Bytes truncated = EncodeJpeg(source, {.quality = 90});
    truncated.resize(truncated.size() * 2 / 3);
    const std::vector<std::pair<const char*, Bytes>> files = {
        {"baseline", EncodeJpeg(source, {.quality = 90})},
        {"progressive", EncodeJpeg(source, {.progressive = true})},
        {"grey", EncodeJpeg(source, {.grayscale = true})},
        {"cmyk", EncodeJpeg(source, {.cmyk = true})},
        {"truncated", truncated},
    };
    for (const auto& [name, jpeg] : files) {
        WriteFile(dir / name, jpeg);
        const RegularFile file((dir / name).string());
        const Bitmap whole = DecodeJpeg(file);
        for (const auto& [w, h] : {std::pair{203, 151}, std::pair{100, 75}, std::pair{7, 150},
                                   std::pair{1, 1}, std::pair{202, 2}}) {
            EXPECT_TRUE(DecodeForDisplay(file, w, h).SamePixels(ReduceForDisplay(whole, w, h)))
                << name << " " << w << " x " << h;
        }
    }
}

TEST(JpegDecoder, RaisedStopFlagEndsTheDecodeWithoutAPicture) {
    const TempDir dir;
    WriteFile(dir / "a.jpg", EncodeJpeg(GradientBitmap(300, 200), {.progressive = true}));
    const RegularFile file((dir / "a.jpg").string());
    std::atomic<bool> stop{true};
    EXPECT_THROW(DecodeJpeg(file, &stop), JpegDecodeStopped);
    EXPECT_THROW(DecodeJpegScaled(file, ReadJpegHeader(file), 2, &stop), JpegDecodeStopped);
    EXPECT_THROW(DecodeForDisplay(file, 30, 20, &stop), JpegDecodeStopped);
    stop = false;
    EXPECT_TRUE(DecodeJpeg(file, &stop).SamePixels(DecodeJpeg(file)));
}
