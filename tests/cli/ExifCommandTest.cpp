#include "base/ShiftJis.h"
#include "cli/Commands.h"
#include "cli/ExifJson.h"
#include "tests/support/ExifBuilder.h"

#include <filesystem>
#include <gtest/gtest.h>
#include <limits>
#include <sstream>

namespace tessaly::cli {
namespace {

using fixtures::ExifBuilder;

struct Outcome {
    int code = 0;
    std::string out;
    std::string err;
};

Outcome Exif(std::vector<std::string> args) {
    std::vector<std::string_view> views(args.begin(), args.end());
    std::ostringstream out, err;
    Outcome r;
    r.code = RunExif(Args(views.data(), views.size()), out, err);
    r.out = out.str();
    r.err = err.str();
    return r;
}

class ExifCommand : public ::testing::Test {
protected:
    std::string Write(const std::string& name, const fixtures::Bytes& bytes) {
        const auto path = dir_ / name;
        fixtures::WriteFile(path, bytes);
        return path.string();
    }
    std::string Camera() {
        ExifBuilder b(fixtures::ByteOrder::Motorola);
        b.Ifd0()
            .Ascii(271, "MAKER \"Q\" \\ \x01")
            .Ascii(272, "MODEL\x1b]0;title\x07\x1b[2J\rX\nY\x7f")
            .Ascii(270, Utf8ToSjis("港の夕暮れ"));
        b.Exif()
            .Rational(33434, 1, 250)
            .Rational(33437, 28, 10)
            .Short(37385, 16)
            .Short(34850, 3)
            .Ascii(37510, "line one")
            .Ascii(37510, "tab\there");
        return Write("camera.jpg", fixtures::JpegWithExif(b.Build()));
    }
    fixtures::TempDir dir_{"tessaly-cli-exif"};
};

TEST_F(ExifCommand, OverlayBlocksInUtf8WithLineFeedsAndABlankLineBetweenFiles) {
    const std::string camera = Camera();
    const std::string plain = Write("plain.jpg", {0xFF, 0xD8, 0xFF, 0xD9});
    const Outcome r = Exif({camera, plain});
    EXPECT_EQ(r.code, 0);
    EXPECT_EQ(r.err, "");
    const std::string cameraSize = std::to_string(std::filesystem::file_size(camera));
    EXPECT_EQ(r.out.substr(0, r.out.find("\n\n01:")),
              "01:画像ファイル名 ------> " + camera +
                  "\n"
                  "02:撮影日時 ------------> .\n"
                  "05:画像の高さ ----------> 0 dots\n"
                  "06:画像の幅 ------------> 0 dots\n"
                  "\n"
                  "08:レンズF値 -----------> 2.8\n"
                  "10:露光時間 ------------> 1/250 秒\n"
                  "12:露光補正量(APEX) ----> 0\n"
                  "13:フラッシュ発光状態 --> (16)\n"
                  "14:CCD感度(ISO) --------> 0\n"
                  "17:レンズ焦点距離 ------> 0.0 mm\n"
                  "19:レンズ開放F値 -------> 0.0\n"
                  "\n"
                  // Control characters are escaped, so a value cannot drive the terminal.
                  "21:カメラのメーカー ----> MAKER \"Q\" \\ \\x01\n"
                  "22:カメラの機種 --------> "
                  "MODEL\\x1B]0;title\\x07\\x1B[2J\\x0DX\\x0AY\\x7F\n"
                  "\n"
                  "99:サイズ --------------> 0 KB ( " +
                  cameraSize + " bytes )");
    EXPECT_NE(r.out.find("\n\n01:画像ファイル名 ------> " + plain + "\n"), std::string::npos);
    EXPECT_TRUE(r.out.ends_with("99:サイズ --------------> 0 KB ( 4 bytes )\n"));
    EXPECT_EQ(r.out.find('\r'), std::string::npos);

    const Outcome all = Exif({"--all", camera});
    EXPECT_NE(all.out.find("16:露光制御モード ------> 絞り優先(3)\n"), std::string::npos);
    EXPECT_NE(all.out.find("24:画像の説明 ----------> 港の夕暮れ\n"), std::string::npos);
    EXPECT_NE(all.out.find("25:コメント ------------> line one\ntab\there\n"), std::string::npos);
}

TEST_F(ExifCommand, JsonHoldsEveryPropertyWithTextsInUtf8) {
    const std::string camera = Camera();
    const std::string plain = Write("plain.jpg", {0xFF, 0xD8});
    const Outcome r = Exif({"--json", camera, plain});
    EXPECT_EQ(r.code, 0);
    EXPECT_TRUE(r.out.starts_with("[\n  {\n    \"ImageFileName\": " + JsonString(camera) +
                                  ",\n    \"found\": true,\n    \"ApertureValue\": "));
    for (const std::string line : {
             R"("Make": "MAKER \"Q\" \\ \u0001",)",
             R"("ImageDescription": "港の夕暮れ",)",
             R"("ExposureTime": {"Text": "1/250", "Value": 0.004},)",
             R"("FNumber": {"Text": "28/10", "Value": 2.8},)",
             R"("Flash": {"Text": "", "Value": 16},)",
             R"("ExposureProgram": {"Text": "絞り優先", "Value": 3},)",
             R"("PixelXDimension": 0,)",
             R"("UserComment": ["line one", "tab\there"],)",
             R"("YResolution": {"Text": "", "Value": 0})",
         })
        EXPECT_NE(r.out.find(line), std::string::npos) << line;
    EXPECT_NE(r.out.find("  },\n  {\n    \"ImageFileName\": " + JsonString(plain) +
                         ",\n    \"found\": false,"),
              std::string::npos);
    EXPECT_TRUE(r.out.ends_with("\n  }\n]\n"));
    std::size_t keys = 0;
    for (std::size_t at = r.out.find("\n    \""); at != std::string::npos;
         at = r.out.find("\n    \"", at + 1))
        ++keys;
    EXPECT_EQ(keys, 2u * (2 + 55)); // ImageFileName, found and 55 properties per file
}

TEST_F(ExifCommand, FilesThatFailAreReportedAndTheOthersStillPrinted) {
    const std::string broken =
        Write("broken.jpg", {0xFF, 0xD8, 0xFF, 0xE1, 0x00, 0x08, 'E', 'x', 'i', 'f', 0, 0});
    const std::string camera = Camera();
    const std::string missing = (dir_ / "missing\x1b[2J\xc2\x9b.jpg").string();
    const Outcome json = Exif({"--json", broken, missing, camera});
    EXPECT_EQ(json.code, 1);
    EXPECT_NE(json.err.find("byte-order mark"), std::string::npos) << json.err;
    EXPECT_NE(json.err.find("cannot open '" + (dir_ / "missing\\x1B[2J\\u009B.jpg").string() + "'"),
              std::string::npos)
        << json.err;
    EXPECT_TRUE(json.out.starts_with("[\n  {\n    \"ImageFileName\": " + JsonString(camera)));
    EXPECT_TRUE(json.out.ends_with("}\n]\n"));

    const Outcome none = Exif({"--json", missing});
    EXPECT_EQ(none.code, 1);
    EXPECT_EQ(none.out, "[]\n");

    const Outcome text = Exif({broken, camera});
    EXPECT_EQ(text.code, 1);
    EXPECT_TRUE(text.out.starts_with("01:画像ファイル名 ------> " + camera + "\n"));
}

TEST_F(ExifCommand, UsageErrors) {
    const std::string camera = Camera();
    EXPECT_EQ(Exif({}).code, 2);
    EXPECT_EQ(Exif({"--json"}).code, 2);
    const Outcome unknown = Exif({"--jsn", camera});
    EXPECT_EQ(unknown.code, 2);
    EXPECT_NE(unknown.err.find("unknown option '--jsn'"), std::string::npos);
    EXPECT_EQ(Exif({"--json", "--all", camera}).code, 2);
    const Outcome help = Exif({"--help"});
    EXPECT_EQ(help.code, 0);
    EXPECT_TRUE(help.out.starts_with("Usage: tessaly-cli exif"));
    // After "--" a name that starts with a hyphen is a file.
    const std::string dashed = Write("-dashed.jpg", {0xFF, 0xD8});
    const std::filesystem::path cwd = std::filesystem::current_path();
    std::filesystem::current_path(dir_.path());
    const Outcome r = Exif({"--json", "--", "-dashed.jpg"});
    std::filesystem::current_path(cwd);
    EXPECT_EQ(r.code, 0) << r.err;
    EXPECT_NE(r.out.find("\"ImageFileName\": \"-dashed.jpg\""), std::string::npos);
}

TEST(ExifJson, StringsAreEscapedAndAlwaysValidUtf8) {
    EXPECT_EQ(JsonString("a\"b\\c/"), R"("a\"b\\c/")");
    EXPECT_EQ(JsonString(std::string("\n\r\t\b\f\x1f\x7f\0", 8)),
              R"("\n\r\t\b\f\u001f\u007f\u0000")");
    EXPECT_EQ(JsonString("写真"), "\"写真\"");
    EXPECT_EQ(JsonString("\xFF\xE5\x86"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\"");
    EXPECT_EQ(JsonString("\xED\xA0\x80"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\xEF\xBF\xBD\""); // surrogate
    EXPECT_EQ(JsonString("\xC0\xAF"), "\"\xEF\xBF\xBD\xEF\xBF\xBD\"");                 // overlong
}

TEST(ExifJson, NumbersReadBackExactly) {
    EXPECT_EQ(JsonNumber(0.1), "0.1");
    EXPECT_EQ(JsonNumber(7.1), "7.1");
    EXPECT_EQ(JsonNumber(4438.356164383562), "4438.356164383562");
    EXPECT_EQ(JsonNumber(1e-7), "1e-07");
    EXPECT_EQ(JsonNumber(std::numeric_limits<double>::quiet_NaN()), "null");
    EXPECT_EQ(JsonNumber(-std::numeric_limits<double>::infinity()), "null");
}

} // namespace
} // namespace tessaly::cli
