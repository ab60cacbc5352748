// tessaly-cli turn and crop: arguments, what they print and their exit codes.
#include "cli/Commands.h"
#include "tests/support/ExifBuilder.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

struct Outcome {
    int code;
    std::string out;
    std::string err;
};

template <typename Command>
Outcome Invoke(Command command, std::initializer_list<std::string> args) {
    const std::vector<std::string> owned(args);
    const std::vector<std::string_view> views(owned.begin(), owned.end());
    std::ostringstream out, err;
    const int code = command(cli::Args(views.data(), views.size()), out, err);
    return {code, out.str(), err.str()};
}

} // namespace

TEST(LosslessCommands, TurnRefusesATrimUnlessAskedAndCropPrintsTheSavedArea) {
    TempDir dir;
    const std::string photo = (dir / "photo.jpg").string();
    const Bytes original =
        EncodeJpeg(GradientBitmap(45, 29, 4), {.segments = {OrientationSegment(6)}});
    WriteFile(photo, original);
    EXPECT_EQ(Invoke(cli::RunTurn, {photo}).code, 2);
    EXPECT_EQ(Invoke(cli::RunTurn, {photo, "--right", "--left"}).code, 2);
    EXPECT_EQ(Invoke(cli::RunTurn, {photo, "--trim"}).code, 2);
    const Outcome refused = Invoke(cli::RunTurn, {photo, "--pixels"});
    EXPECT_EQ(refused.code, 1);
    EXPECT_NE(refused.err.find("13 pixels on the left edge"), std::string::npos) << refused.err;
    EXPECT_EQ(ReadFile(photo), original);
    const Outcome tag = Invoke(cli::RunTurn, {photo, "--half"});
    EXPECT_EQ(tag.code, 0);
    EXPECT_EQ(tag.out, "orientation 8\n");
    const Outcome cropped =
        Invoke(cli::RunCrop, {photo, "--area", "3,5,20,30", "-o", (dir / "cut.jpg").string()});
    EXPECT_EQ(cropped.code, 0) << cropped.err;
    EXPECT_EQ(cropped.out, "0,5,23,40\n"); // orientation 8: stored 10,3 30x20 snapped to 0,0 40x23
    EXPECT_EQ(
        Invoke(cli::RunCrop, {photo, "--area", "3,5,20,30", "-o", (dir / "cut.jpg").string()}).code,
        1);
    EXPECT_EQ(
        Invoke(cli::RunCrop, {photo, "--area", "3,5,0,30", "-o", (dir / "x.jpg").string()}).code,
        2);
    const Outcome baked = Invoke(cli::RunTurn, {photo, "--pixels", "--trim"});
    EXPECT_EQ(baked.code, 0) << baked.err;
    EXPECT_EQ(baked.out, "29x32 (trimmed 13 pixels on the top edge)\n");
}
