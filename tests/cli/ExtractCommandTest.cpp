#include "tests/cli/CommandOutcome.h"
#include "cli/Ppm.h"
#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegWriter.h"
#include "picture/AreaCut.h"
#include "resample/OutputPicture.h"
#include "tests/picture/UprightReference.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/IccFixtures.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/MemoryLimit.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <sstream>
#include <string>
#include <sys/stat.h>
#include <vector>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

using tessaly::testing::Outcome;

Outcome Extract(std::initializer_list<std::string> args) {
    return tessaly::testing::Invoke(cli::RunExtract, args);
}

class ExtractCommand : public ::testing::Test {
protected:
    void SetUp() override {
        picture_ = GradientBitmap(60, 40, 1);
        WriteFile(dir_ / "in.ppm", WritePpm(picture_));
        jpegBytes_ = EncodeJpeg(picture_, {.quality = 95});
        WriteFile(dir_ / "in.jpg", jpegBytes_);
    }
    std::string Path(const std::string& name) const { return (dir_ / name).string(); }
    Bitmap ReadPpmFile(const std::string& name) const { return ReadPpm(ReadFile(dir_ / name)); }

    TempDir dir_;
    Bitmap picture_;
    Bytes jpegBytes_;
};

} // namespace

TEST_F(ExtractCommand, WholePpmToPpmIsAnExactCopy) {
    const Outcome run = Extract({Path("in.ppm"), "-o", Path("out.ppm")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(run.err.empty());
    EXPECT_TRUE(ReadPpmFile("out.ppm").SamePixels(picture_));
}

TEST_F(ExtractCommand, CutsTheAreaAsTheMainWindowDoes) {
    // Reaches beyond the bottom-right corner: that part is white.
    const Outcome run = Extract({Path("in.ppm"), "--area", "50,30,20,15", "-o", Path("out.ppm")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(ReadPpmFile("out.ppm").SamePixels(CutArea(picture_, 50, 30, 20, 15)));
    // Left of and above the picture, written as "--area=...".
    ASSERT_EQ(Extract({Path("in.ppm"), "--area=-5,-3,10,10", "-o", Path("out.ppm")}).code, 0);
    EXPECT_TRUE(ReadPpmFile("out.ppm").SamePixels(CutArea(picture_, -5, -3, 10, 10)));
}

TEST_F(ExtractCommand, ResamplesAndAppliesTheEffect) {
    for (const auto& [flag, effect] :
         {std::pair{"--sepia", PictureEffect::Sepia}, {"--mono", PictureEffect::Mono}}) {
        const Outcome run = Extract({"--size", "33x71", flag, Path("in.ppm"), "--area",
                                     "10,5,40,30", "-o", Path("out.ppm")});
        ASSERT_EQ(run.code, 0) << run.err;
        Bitmap expected;
        MakeOutputPicture(CutArea(picture_, 10, 5, 40, 30), expected, 33, 71, effect);
        EXPECT_TRUE(ReadPpmFile("out.ppm").SamePixels(expected)) << flag;
    }
}

TEST_F(ExtractCommand, ReadsJpegAsTheViewerDecodesIt) {
    const Outcome run = Extract({Path("in.jpg"), "--area", "3,4,20,10", "-o", Path("out.ppm")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(ReadPpmFile("out.ppm").SamePixels(CutArea(DecodeJpeg(jpegBytes_), 3, 4, 20, 10)));
}

TEST_F(ExtractCommand, WritesJpegAtLevel8UnlessToldOtherwise) {
    ASSERT_EQ(Extract({Path("in.ppm"), "-o", Path("out.jpg")}).code, 0);
    JpegWriter level8(picture_);
    level8.SetCompressionQuality(94);
    level8.Compress();
    EXPECT_EQ(ReadFile(dir_ / "out.jpg"), level8.Stream());

    ASSERT_EQ(Extract({Path("in.ppm"), "--level", "1", "-o", Path("OUT.JPG")}).code, 0);
    JpegWriter level1(picture_);
    level1.SetCompressionQuality(56);
    level1.Compress();
    EXPECT_EQ(ReadFile(dir_ / "OUT.JPG"), level1.Stream());
}

TEST_F(ExtractCommand, AnOrientedJpegIsCutUprightWithItsColourProfile) {
    const Bytes profile = AdobeRgbProfile();
    std::vector<Bytes> segments = IccSegments(profile, 1000); // in several segments
    segments.insert(segments.begin(), OrientationSegment(6));
    const Bytes turned = EncodeJpeg(picture_, {.quality = 95, .segments = segments});
    WriteFile(dir_ / "turned.jpg", turned);
    const Bitmap stored = DecodeJpeg(turned);
    const Bitmap upright =
        tessaly::testing::ReferenceUpright(stored, Orientation::QuarterClockwise);
    ASSERT_EQ(upright.Width(), 40);
    // The area in upright coordinates, reaching beyond the upright picture's bottom.
    Outcome run = Extract({Path("turned.jpg"), "--area", "30,50,20,15", "-o", Path("out.ppm")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(ReadPpmFile("out.ppm").SamePixels(CutArea(upright, 30, 50, 20, 15)));
    // The whole picture as JPEG: upright, no orientation written, the profile's bytes kept.
    run = Extract({Path("turned.jpg"), "-o", Path("out.jpg")});
    ASSERT_EQ(run.code, 0) << run.err;
    JpegWriter expected(upright);
    expected.SetIccProfile(profile);
    expected.SetCompressionQuality(94);
    expected.Compress();
    EXPECT_EQ(ReadFile(dir_ / "out.jpg"), expected.Stream());
    EXPECT_EQ(ReadJpegHeader(ReadFile(dir_ / "out.jpg")).iccProfile, profile);
    // As stored: today's layout.
    run = Extract({Path("turned.jpg"), "--as-stored", "-o", Path("out.ppm")});
    ASSERT_EQ(run.code, 0) << run.err;
    EXPECT_TRUE(ReadPpmFile("out.ppm").SamePixels(stored));
}

TEST_F(ExtractCommand, BadArgumentsExitWith2AndSayWhy) {
    struct Case {
        std::vector<std::string> args;
        std::string says;
    };
    const std::string in = Path("in.ppm"), out = Path("out.ppm"), jpg = Path("out.jpg");
    const Case cases[] = {
        {{}, "no input file"},
        {{in}, "no output file"},
        {{in, in, "-o", out}, "only one input"},
        {{in, "-o"}, "needs a value"},
        {{in, "--frobnicate", "-o", out}, "unknown option '--frobnicate'"},
        {{in, "--sepia", "--mono", "-o", out}, "exclude each other"},
        {{in, "--area", "1,2,3", "-o", out}, "--area wants"},
        {{in, "--area", "1,2,0,3", "-o", out}, "--area wants"},
        {{in, "--area", "a,2,3,4", "-o", out}, "--area wants"},
        {{in, "--size", "10", "-o", out}, "--size wants"},
        {{in, "--size", "0x10", "-o", out}, "--size wants"},
        {{in, "--size", "100000x100000", "-o", out}, "too large"},
        {{in, "--level", "-1", "-o", jpg}, "--level wants"},
        {{in, "--level", "13", "-o", jpg}, "--level wants"},
        {{in, "--level", "8", "-o", out}, "--level applies to .jpg"},
        {{in, "--size", "5x5", "--size", "6x6", "-o", out}, "given twice"},
        {{in, "-o", Path("out.png")}, "must end in .jpg or .ppm"},
    };
    for (const Case& c : cases) {
        std::vector<std::string_view> views(c.args.begin(), c.args.end());
        std::ostringstream outStream, errStream;
        const int code =
            cli::RunExtract(cli::Args(views.data(), views.size()), outStream, errStream);
        EXPECT_EQ(code, 2) << c.says;
        EXPECT_NE(errStream.str().find(c.says), std::string::npos) << errStream.str();
        EXPECT_NE(errStream.str().find("usage:"), std::string::npos);
    }
    EXPECT_FALSE(std::filesystem::exists(out));
}

TEST_F(ExtractCommand, UnreadableInputOrUnwritableOutputExitWith1) {
    Outcome run = Extract({Path("missing.jpg"), "-o", Path("out.ppm")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("cannot read"), std::string::npos) << run.err;

    run = Extract({dir_.path().string(), "-o", Path("out.ppm")});
    EXPECT_EQ(run.code, 1) << "a folder as input";
    EXPECT_NE(run.err.find("cannot read"), std::string::npos) << run.err;

    WriteFile(dir_ / "text.jpg", Bytes{'h', 'e', 'l', 'l', 'o'});
    run = Extract({Path("text.jpg"), "-o", Path("out.ppm")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("neither a JPEG nor"), std::string::npos) << run.err;

    // The start of a JPEG without a frame header.
    WriteFile(dir_ / "broken.jpg", Bytes(jpegBytes_.begin(), jpegBytes_.begin() + 20));
    EXPECT_EQ(Extract({Path("broken.jpg"), "-o", Path("out.ppm")}).code, 1);

    WriteFile(dir_ / "short.ppm", Bytes{'P', '6', ' ', '9', ' ', '9', ' ', '2', '5', '5', '\n'});
    EXPECT_EQ(Extract({Path("short.ppm"), "-o", Path("out.ppm")}).code, 1);

    const std::string unwritable = Path("no-such-folder/out.jpg");
    run = Extract({Path("in.ppm"), "-o", unwritable});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("ファイル " + unwritable + " を作成できません"), std::string::npos)
        << run.err;

    // Data a bound cut (2 MiB of garbage before a restart marker, where libjpeg looks for
    // it): the picture is incomplete, so nothing is made of it, and the error names the bound.
    Bytes cut = EncodeJpeg(picture_, {.restartRows = 1});
    std::size_t restart = cut.size() - 2;
    while (!(cut[restart] == 0xFF && cut[restart + 1] >= 0xD0 && cut[restart + 1] <= 0xD7))
        --restart;
    cut.insert(cut.begin() + static_cast<std::ptrdiff_t>(restart), std::size_t{2} << 20, 0x00);
    WriteFile(dir_ / "cut.jpg", cut);
    run = Extract({Path("cut.jpg"), "-o", Path("cut.ppm")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("inside a scan"), std::string::npos) << run.err;
    EXPECT_FALSE(std::filesystem::exists(dir_ / "cut.ppm"));

    // Wider than JPEG allows: compression fails, nothing is written.
    run = Extract({Path("in.ppm"), "--size", "70000x1", "-o", Path("wide.jpg")});
    EXPECT_EQ(run.code, 1);
    EXPECT_FALSE(std::filesystem::exists(dir_ / "wide.jpg"));
}

TEST_F(ExtractCommand, PipesAndDevicesNamedLikePicturesEndAtOnce) {
    // Opening a FIFO without a writer would wait for ever; a device would be read for ever.
    ASSERT_EQ(::mkfifo(Path("x.jpg").c_str(), 0600), 0);
    std::filesystem::create_symlink("/dev/zero", dir_ / "zero.jpg");
    for (const char* name : {"x.jpg", "zero.jpg"}) {
        const Outcome run = Extract({Path(name), "-o", Path("out.ppm")});
        EXPECT_EQ(run.code, 1) << name;
        EXPECT_NE(run.err.find("not a regular file"), std::string::npos) << run.err;
    }
}

TEST_F(ExtractCommand, SizesBeyondTheLimitsAreRefusedBeforeAnyWork) {
    // A 4 x 1 answer from a 1 x 268 M area: the width pass would first make 4 x 268 M.
    Outcome run = Extract(
        {Path("in.ppm"), "--area", "0,0,1,268435456", "--size", "4x1", "-o", Path("out.ppm")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("too large to resample"), std::string::npos) << run.err;
    // Wider than a JPEG file can be, from a one-row area: said before resampling.
    run = Extract(
        {Path("in.ppm"), "--area", "0,0,60,1", "--size", "67108864x1", "-o", Path("wide.jpg")});
    EXPECT_EQ(run.code, 1);
    EXPECT_NE(run.err.find("at most 65500 pixels"), std::string::npos) << run.err;
}

TEST_F(ExtractCommand, AWholePictureIsNotCopiedOnItsWayToTheFile) {
    // A header for 4096 x 4096 (48 MiB decoded) and no data: decoded and written without a
    // second or third full-size copy (the cut and the output).
    Bytes header = EncodeJpeg(SolidBitmap(16, 16, 0, 0, 0));
    for (std::size_t i = 2; i + 9 < header.size();) {
        const std::size_t length = std::size_t{header[i + 2]} << 8 | header[i + 3];
        if (header[i + 1] == 0xC0)
            header[i + 5] = header[i + 7] = 0x10, header[i + 6] = header[i + 8] = 0x00;
        if (header[i + 1] == 0xDA) {
            header.resize(i + 2 + length);
            break;
        }
        i += 2 + length;
    }
    WriteFile(dir_ / "huge.jpg", header);
    if (tessaly::testing::kAddressSpaceIsReserved)
        GTEST_SKIP() << "address space limits do not apply under a sanitizer";
    EXPECT_TRUE(tessaly::testing::RunsWithin(48 * (1 << 20) + 40 * (1 << 20), [&] {
        return Extract({Path("huge.jpg"), "-o", Path("out.jpg")}).code == 0;
    }));
    EXPECT_EQ(ReadJpegHeader(ReadFile(dir_ / "out.jpg")).width, 4096);
}

// Regression: PPM output was held whole twice before it was written (the resampled picture,
// 4 bytes a row when one pixel wide, and the file's bytes).
TEST_F(ExtractCommand, PpmOutputIsWrittenAsItIsMade) {
    if (tessaly::testing::kAddressSpaceIsReserved)
        GTEST_SKIP() << "address space limits do not apply under a sanitizer";
    // A 12 MiB file made in far less memory than one copy of it.
    EXPECT_TRUE(tessaly::testing::RunsWithin(6 * (1 << 20), [&] {
        return Extract({Path("in.ppm"), "--size", "1x4194304", "-o", Path("tall.ppm")}).code == 0;
    }));
    EXPECT_EQ(std::filesystem::file_size(dir_ / "tall.ppm"), PpmFileBytes(1, 4194304));
}
