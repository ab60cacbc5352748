// tessaly-cli turn and crop: arguments, what they print and their exit codes.
#include "tests/cli/CommandOutcome.h"
#include "tests/support/ExifBuilder.h"

#include <gtest/gtest.h>
#include <initializer_list>
#include <sstream>
#include <string>
#include <vector>

using namespace tessaly;
using namespace tessaly::fixtures;

using tessaly::testing::Invoke;
using tessaly::testing::Outcome;

TEST(LosslessCommands, TurnRefusesATrimUnlessAskedAndCropPrintsTheSavedArea) {
    TempDir dir;
    const std::string photo = (dir / "photo.jpg").string();
    const Bytes original =
        EncodeJpeg(GradientBitmap(45, 29, 4), {.segments = {OrientationSegment(6)}});
    WriteFile(photo, original);
    EXPECT_EQ(Invoke(cli::RunTurn, {photo}).code, 2);
    EXPECT_EQ(Invoke(cli::RunTurn, {photo, "--right", "--left"}).code, 2);
    EXPECT_EQ(Invoke(cli::RunTurn, {photo, "--trim"}).code, 2);
    EXPECT_EQ(Invoke(cli::RunTurn, {photo, "--reencode"}).code, 2);
    EXPECT_EQ(Invoke(cli::RunTurn, {photo, "--pixels", "--trim", "--reencode"}).code, 2);
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
    WriteFile(photo, original);
    const Outcome reencoded = Invoke(cli::RunTurn, {photo, "--pixels", "--reencode"});
    EXPECT_EQ(reencoded.code, 0) << reencoded.err;
    EXPECT_EQ(reencoded.out, "29x45 (encoded again at quality 90)\n");
}
