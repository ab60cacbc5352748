#include "exif/ExifOverlay.h"

#include "base/Format.h"
#include "base/ShiftJis.h"
#include "exif/ExifText.h"

#include <array>
#include <cfloat>
#include <cmath>

namespace tessaly {
namespace {

constexpr std::size_t kLabelWidth = 23;
constexpr std::string_view kCrLf = "\r\n";

bool IsSjisLeadByte(unsigned char c) {
    return (c >= 0x81 && c <= 0x9F) || (c >= 0xE0 && c <= 0xFC);
}

// Without leading and trailing spaces and control characters (bytes up to 0x20).
std::string Trimmed(std::string_view text) {
    auto isBlank = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && isBlank(text[begin]))
        ++begin;
    while (end > begin && isBlank(text[end - 1]))
        --end;
    return std::string(text.substr(begin, end - begin));
}

// An extended value passed on as a 64-bit float; beyond its range it becomes infinite.
double ToDouble(long double value) {
    if (std::isfinite(value) && std::fabs(value) > static_cast<long double>(DBL_MAX))
        return value < 0 ? -HUGE_VAL : HUGE_VAL;
    return static_cast<double>(value);
}

// "%s 秒" in Shift-JIS.
const std::string& SecondsFormat() {
    static const std::string format = Utf8ToSjis("%s 秒");
    return format;
}

std::string DateWithSubSeconds(const std::string& date, const std::string& subSeconds) {
    return Format("%s.%s", {DotDate(date), subSeconds});
}

std::string CodedValue(const TExifStringValue& v) {
    return Format("%s(%d)", {v.Text, v.Value});
}

std::string CommentText(const std::vector<std::string>& lines) {
    std::string text;
    for (const std::string& line : lines) {
        text += line;
        text += kCrLf;
    }
    return Trimmed(text);
}

} // namespace

std::string PadLabel(std::string_view label) {
    std::string padded = std::string(label) + " -------------------------";
    if (padded.size() <= kLabelWidth)
        return padded;
    // Find where the character standing at the cut begins.
    std::size_t i = 0;
    while (i < kLabelWidth)
        i += IsSjisLeadByte(static_cast<unsigned char>(padded[i])) ? 2 : 1;
    if (i > kLabelWidth) {
        padded.resize(i - 2);
        padded.resize(kLabelWidth, ' ');
    } else {
        padded.resize(kLabelWidth);
    }
    return padded;
}

std::string DotDate(std::string_view date) {
    std::string text(date);
    for (int i = 0; i < 2; ++i)
        if (const auto colon = text.find(':'); colon != std::string::npos)
            text[colon] = '.';
    return text;
}

std::string FormatExposure(double seconds) {
    if (seconds == 0)
        return "---";
    if (seconds < 1)
        return Format("1/%g", {1.0L / static_cast<long double>(seconds)});
    return Format("%g", {seconds});
}

std::int64_t FileSizeOf(const std::string& fileName) {
    const auto file = FileSource::Open(fileName);
    return file ? static_cast<std::int64_t>(file->Size()) : 0;
}

namespace {

// Whether ExifItems::Masked shows an item too, or only ExifItems::All.
enum class Shown : bool { OnlyInAll, Always };
// What follows an item's line: the next line, or an empty line that ends its group.
enum class Then : bool { Next, EmptyLine };

// One item of the overlay.
struct ExifItem {
    int number;
    std::string_view label; // UTF-8; it starts with the item's two-digit number
    Shown shown;
    Then then;
    std::string (*value)(const TExifInfo& info);
};

using I = const TExifInfo&;
using enum Shown;
using enum Then;

// Items 1 to 27, in the order they are shown.
constexpr std::array<ExifItem, kExifItemCount> kItems{{
    {1, "01:画像ファイル名", Always, Next,
     [](I i) { return Format("%s", {Utf8ToSjis(i.ImageFileName())}); }},
    {2, "02:撮影日時", Always, Next,
     [](I i) { return DateWithSubSeconds(i.DateTimeOriginal(), i.SubSecTimeOriginal()); }},
    {3, "03:デジタル化日時", OnlyInAll, Next,
     [](I i) { return DateWithSubSeconds(i.DateTimeDigitized(), i.SubSecTimeDigitized()); }},
    {4, "04:最終変更日時", OnlyInAll, Next,
     [](I i) { return DateWithSubSeconds(i.DateTime(), i.SubSecTime()); }},
    {5, "05:画像の高さ", Always, Next,
     [](I i) { return Format("%d dots", {i.PixelYDimension()}); }},
    {6, "06:画像の幅", Always, EmptyLine,
     [](I i) { return Format("%d dots", {i.PixelXDimension()}); }},
    {7, "07:レンズ絞り(APEX)", OnlyInAll, Next,
     [](I i) { // APEX aperture as an F-number
         return Format("%2.1f", {std::pow(std::sqrt(2.0L),
                                          static_cast<long double>(i.ApertureValue().Value))});
     }},
    {8, "08:レンズF値", Always, Next, [](I i) { return Format("%2.1f", {i.FNumber().Value}); }},
    {9, "09:被写体までの距離", OnlyInAll, Next,
     [](I i) {
         const TExifRational& d = i.SubjectDistance();
         return !d.Text.empty() && d.Value != 0 ? Format("%2.2f m", {d.Value})
                                                : std::string("[non]");
     }},
    {10, "10:露光時間", Always, Next,
     [](I i) { return Format(SecondsFormat(), {FormatExposure(i.ExposureTime().Value)}); }},
    {11, "11:シャッタ速度(APEX)", OnlyInAll, Next,
     [](I i) { // APEX shutter speed as seconds
         const long double seconds =
             1.0L / std::pow(2.0L, static_cast<long double>(i.ShutterSpeedValue().Value));
         return Format(SecondsFormat(), {FormatExposure(ToDouble(seconds))});
     }},
    {12, "12:露光補正量(APEX)", Always, Next,
     [](I i) { return Format("%g", {i.ExposureBiasValue().Value}); }},
    {13, "13:フラッシュ発光状態", Always, Next, [](I i) { return CodedValue(i.Flash()); }},
    {14, "14:CCD感度(ISO)", Always, Next, [](I i) { return Format("%d", {i.ISOSpeedRatings()}); }},
    {15, "15:被写体の明るさ(APEX)", OnlyInAll, Next,
     [](I i) {
         return Format("%s(%g)", {i.BrightnessValue().Text, i.BrightnessValue().Value});
     }},
    {16, "16:露光制御モード", OnlyInAll, Next, [](I i) { return CodedValue(i.ExposureProgram()); }},
    {17, "17:レンズ焦点距離", Always, Next,
     [](I i) { return Format("%2.1f mm", {i.FocalLength().Value}); }},
    {18, "18:光源の種類", OnlyInAll, Next, [](I i) { return CodedValue(i.LightSource()); }},
    {19, "19:レンズ開放F値", Always, Next, // the stored APEX number itself
     [](I i) { return Format("%2.1f", {i.MaxApertureValue().Value}); }},
    {20, "20:測光モード", OnlyInAll, EmptyLine, [](I i) { return CodedValue(i.MeteringMode()); }},
    {21, "21:カメラのメーカー", Always, Next, [](I i) { return Format("%s", {i.Make()}); }},
    {22, "22:カメラの機種", Always, Next, [](I i) { return Format("%s", {i.Model()}); }},
    {23, "23:著作権", OnlyInAll, Next, [](I i) { return Format("%s", {i.RightsNotice()}); }},
    {24, "24:画像の説明", OnlyInAll, Next,
     [](I i) { return Format("%s", {i.ImageDescription()}); }},
    {25, "25:コメント", OnlyInAll, Next,
     [](I i) { return Format("%s", {CommentText(i.UserComment())}); }},
    {26, "26:Exifのバージョン", OnlyInAll, Next,
     [](I i) { return Format("%s", {i.ExifVersion()}); }},
    {27, "27:音声ファイル名", OnlyInAll, Next,
     [](I i) { return Format("%s", {i.RelatedSoundFile()}); }},
}};

constexpr bool NumberedInOrder() {
    for (std::size_t k = 0; k < kItems.size(); ++k) {
        const ExifItem& item = kItems[k];
        const auto n = static_cast<int>(k + 1);
        if (item.number != n || item.label.size() < 3 || item.label[0] != '0' + n / 10 ||
            item.label[1] != '0' + n % 10 || item.label[2] != ':')
            return false;
    }
    return true;
}
static_assert(NumberedInOrder(), "item n must be row n and its label start with \"nn:\"");

const ExifItem* FindItem(int item) {
    return item >= 1 && item <= kExifItemCount ? &kItems[static_cast<std::size_t>(item - 1)]
                                               : nullptr;
}

// The label columns of the items and of the size line, in Shift-JIS, made once.
struct LabelColumns {
    std::array<std::string, kExifItemCount> items;
    std::string size;
};

const LabelColumns& Columns() {
    static const LabelColumns columns = [] {
        LabelColumns c;
        for (std::size_t k = 0; k < kItems.size(); ++k)
            c.items[k] = PadLabel(Utf8ToSjis(kItems[k].label));
        c.size = PadLabel(Utf8ToSjis("99:サイズ"));
        return c;
    }();
    return columns;
}

} // namespace

std::string ExifItemLabel(int item) {
    const ExifItem* found = FindItem(item);
    return found ? Utf8ToSjis(found->label) : std::string();
}

std::string ExifItemValue(const TExifInfo& info, int item) {
    const ExifItem* found = FindItem(item);
    return found ? found->value(info) : std::string();
}

std::string ExifOverlayText(const TExifInfo& info, ExifItems items, std::int64_t fileSize) {
    const LabelColumns& columns = Columns();
    std::string text;
    for (std::size_t k = 0; k < kItems.size(); ++k) {
        const ExifItem& item = kItems[k];
        if (items == ExifItems::All || item.shown == Always) {
            text += Format("%-23s-> %s", {columns.items[k], item.value(info)});
            text += kCrLf;
        }
        if (item.then == EmptyLine)
            text += kCrLf;
    }
    text += kCrLf;
    text += Format("%-23s-> %.0n KB ( %.0n bytes )",
                   {columns.size, static_cast<long double>(fileSize) / 1024, fileSize});
    return text;
}

std::string MakeDspExifInfo(TExifInfo& reader, const std::string& fileName, ExifItems items) {
    reader.SetImageFileName(fileName);
    return ExifOverlayText(reader, items, FileSizeOf(fileName));
}

} // namespace tessaly
