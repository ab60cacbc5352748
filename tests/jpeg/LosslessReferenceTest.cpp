// Bakes and crops decode to exactly the pixels of jpegtran's output for the same transform:
// every sampling, baseline and progressive, sizes with and without partial blocks, all eight
// orientations.
#include "jpeg/LosslessEdit.h"
#include "picture/Orientation.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegTools.h"

#include <gtest/gtest.h>
#include <string>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

struct Kind {
    const char* name;
    int lumaH, lumaV; // 0 0: grey
    bool progressive;
    int width, height;
};

// jpegtran's options for the transform that shows a picture of `code` upright.
std::string JpegtranUpright(int code) {
    switch (code) {
    case 2:
        return "-flip horizontal";
    case 3:
        return "-rotate 180";
    case 4:
        return "-flip vertical";
    case 5:
        return "-transpose";
    case 6:
        return "-rotate 90";
    case 7:
        return "-transverse";
    case 8:
        return "-rotate 270";
    default:
        return "";
    }
}

class LosslessReference : public ::testing::TestWithParam<Kind> {
protected:
    // A photo of this kind with orientation `code`, written to `name`; also its copy without
    // EXIF as jpegtran's input.
    std::filesystem::path Photo(const std::string& name, int code) {
        const Kind& kind = GetParam();
        JpegOptions options{.quality = 85,
                            .progressive = kind.progressive,
                            .grayscale = kind.lumaH == 0,
                            .lumaH = kind.lumaH,
                            .lumaV = kind.lumaV};
        options.segments = {OrientationSegment(static_cast<std::uint16_t>(code))};
        const Bytes jpeg = EncodeJpeg(GradientBitmap(kind.width, kind.height, 3), options);
        WriteFile(dir_ / name, jpeg);
        return dir_ / name;
    }

    TempDir dir_;
};

TEST_P(LosslessReference, BakeOfEveryOrientationDecodesAsJpegtransTurn) {
    for (int code = 1; code <= 8; ++code) {
        SCOPED_TRACE(code);
        const auto photo = Photo("photo.jpg", code);
        Jpegtran("-copy none -trim " + JpegtranUpright(code), photo, dir_ / "reference.jpg");
        const BakeResult result = Bake(photo.string(), Turn::None, TrimPolicy::Trim);
        EXPECT_EQ(result.written, code != 1);
        EXPECT_EQ(Djpeg(photo), Djpeg(dir_ / "reference.jpg"));
    }
}

TEST_P(LosslessReference, TurnsComposeWithTheOrientation) {
    // Orientation 6 turned left is as stored; 8 turned half is 6; 2 turned right is 7.
    const struct {
        int code;
        Turn turn;
        int shown;
    } cases[] = {{6, Turn::Left, 1}, {8, Turn::Half, 6}, {2, Turn::Right, 7}, {1, Turn::Right, 6}};
    for (const auto& c : cases) {
        SCOPED_TRACE(c.code);
        const auto photo = Photo("photo.jpg", c.code);
        Jpegtran("-copy none -trim " + JpegtranUpright(c.shown), photo, dir_ / "reference.jpg");
        Bake(photo.string(), c.turn, TrimPolicy::Trim);
        EXPECT_EQ(Djpeg(photo), Djpeg(dir_ / "reference.jpg"));
    }
}

TEST_P(LosslessReference, CropOfEveryOrientationDecodesAsJpegtransCrop) {
    const Kind& kind = GetParam();
    for (int code = 1; code <= 8; ++code) {
        SCOPED_TRACE(code);
        const auto photo = Photo("photo.jpg", code);
        const UprightMapping mapping(OrientationFromCode(code), {kind.width, kind.height});
        const Rect area{5, 3, mapping.Upright().width - 9, mapping.Upright().height - 7};
        const Rect stored = mapping.ToStored(area);
        Jpegtran("-copy none -crop " + std::to_string(stored.width) + "x" +
                     std::to_string(stored.height) + "+" + std::to_string(stored.left) + "+" +
                     std::to_string(stored.top),
                 photo, dir_ / "reference.jpg");
        const auto out = dir_ / "crop.jpg";
        std::filesystem::remove(out);
        const Rect saved = CropToFile(photo.string(), area, out.string());
        EXPECT_EQ(Djpeg(out), Djpeg(dir_ / "reference.jpg"));
        // The saved area holds the asked one and ends where it ends.
        EXPECT_LE(saved.left, area.left);
        EXPECT_LE(saved.top, area.top);
        const Rect back = mapping.ToStored(saved);
        const std::string header = "P" + std::string(kind.lumaH == 0 ? "5" : "6") + "\n" +
                                   std::to_string(back.width) + " " + std::to_string(back.height);
        const Bytes decoded = Djpeg(out);
        EXPECT_EQ(std::string(decoded.begin(), decoded.begin() + header.size()), header);
    }
}

INSTANTIATE_TEST_SUITE_P(
    Samplings, LosslessReference,
    ::testing::Values(Kind{"s444", 1, 1, false, 48, 32}, Kind{"s444_partial", 1, 1, true, 45, 29},
                      Kind{"s422", 2, 1, true, 48, 32}, Kind{"s422_partial", 2, 1, false, 45, 29},
                      Kind{"s420", 2, 2, false, 48, 32}, Kind{"s420_partial", 2, 2, true, 45, 29},
                      Kind{"s440", 1, 2, true, 48, 32}, Kind{"s440_partial", 1, 2, false, 45, 29},
                      Kind{"grey", 0, 0, false, 48, 32}, Kind{"grey_partial", 0, 0, true, 45, 29}),
    [](const ::testing::TestParamInfo<Kind>& param) { return std::string(param.param.name); });

} // namespace
