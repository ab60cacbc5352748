// tessaly-cli thumbnail: its arguments, what it prints and its exit codes.
#include "cli/Commands.h"
#include "tests/support/JpegFixtures.h"

#include <cstdlib>
#include <gtest/gtest.h>
#include <sstream>

namespace tessaly::cli {
namespace {

struct Outcome {
    int code = 0;
    std::string out;
    std::string err;
};

Outcome Thumbnail(std::vector<std::string> args) {
    std::vector<std::string_view> views(args.begin(), args.end());
    std::ostringstream out, err;
    Outcome r;
    r.code = RunThumbnail(Args(views.data(), views.size()), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

TEST(ThumbnailCommand, PrintsEachFilesThumbnailInOrderAndFailsForABrokenOne) {
    const fixtures::TempDir dir;
    ::setenv("XDG_CACHE_HOME", (dir.path() / "cache").c_str(), 1);
    const auto a = dir / "a.jpg";
    const auto b = dir / "b.jpg";
    fixtures::WriteFile(a, fixtures::EncodeJpeg(fixtures::GradientBitmap(600, 400)));
    fixtures::WriteFile(b, {0xFF, 0xD8, 0xFF});

    Outcome r = Thumbnail({a.string(), "--size", "x-large", a.string()});
    EXPECT_EQ(r.code, 0) << r.err;
    std::istringstream lines(r.out);
    std::string first, second;
    std::getline(lines, first);
    std::getline(lines, second);
    EXPECT_EQ(first, second);
    EXPECT_EQ(std::filesystem::path(first).parent_path(), dir.path() / "cache/thumbnails/x-large");
    EXPECT_TRUE(std::filesystem::exists(first));

    r = Thumbnail({b.string(), a.string(), "--size=normal"});
    EXPECT_EQ(r.code, 1);
    EXPECT_NE(r.err.find("b.jpg"), std::string::npos);
    EXPECT_NE(r.out.find("/thumbnails/normal/"), std::string::npos);

    EXPECT_EQ(Thumbnail({a.string(), "--size", "huge"}).code, 2);
    EXPECT_EQ(Thumbnail({"--size", "large"}).code, 2);
    ::unsetenv("XDG_CACHE_HOME");
}

} // namespace
} // namespace tessaly::cli
