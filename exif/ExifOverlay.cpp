#include "exif/ExifOverlay.h"

#include "base/Format.h"
#include "base/ShiftJis.h"
#include "exif/tessaly_def.h"

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

std::string ExifItemValue(const TExifInfo& info, int item) {
    switch (item) {
    case 1:
        return Format("%s", {Utf8ToSjis(info.ImageFileName())});
    case 2:
        return DateWithSubSeconds(info.DateTimeOriginal(), info.SubSecTimeOriginal());
    case 3:
        return DateWithSubSeconds(info.DateTimeDigitized(), info.SubSecTimeDigitized());
    case 4:
        return DateWithSubSeconds(info.DateTime(), info.SubSecTime());
    case 5:
        return Format("%d dots", {info.PixelYDimension()});
    case 6:
        return Format("%d dots", {info.PixelXDimension()});
    case 7: // APEX aperture as an F-number
        return Format("%2.1f", {std::pow(std::sqrt(2.0L),
                                         static_cast<long double>(info.ApertureValue().Value))});
    case 8:
        return Format("%2.1f", {info.FNumber().Value});
    case 9: {
        const TExifRational& d = info.SubjectDistance();
        return !d.Text.empty() && d.Value != 0 ? Format("%2.2f m", {d.Value}) : "[non]";
    }
    case 10:
        return Format(SecondsFormat(), {FormatExposure(info.ExposureTime().Value)});
    case 11: { // APEX shutter speed as seconds
        const long double seconds =
            1.0L / std::pow(2.0L, static_cast<long double>(info.ShutterSpeedValue().Value));
        return Format(SecondsFormat(), {FormatExposure(ToDouble(seconds))});
    }
    case 12:
        return Format("%g", {info.ExposureBiasValue().Value});
    case 13:
        return CodedValue(info.Flash());
    case 14:
        return Format("%d", {info.ISOSpeedRatings()});
    case 15:
        return Format("%s(%g)", {info.BrightnessValue().Text, info.BrightnessValue().Value});
    case 16:
        return CodedValue(info.ExposureProgram());
    case 17:
        return Format("%2.1f mm", {info.FocalLength().Value});
    case 18:
        return CodedValue(info.LightSource());
    case 19: // the stored APEX number itself
        return Format("%2.1f", {info.MaxApertureValue().Value});
    case 20:
        return CodedValue(info.MeteringMode());
    case 21:
        return Format("%s", {info.Make()});
    case 22:
        return Format("%s", {info.Model()});
    case 23:
        return Format("%s", {info.RightsNotice()});
    case 24:
        return Format("%s", {info.ImageDescription()});
    case 25:
        return Format("%s", {CommentText(info.UserComment())});
    case 26:
        return Format("%s", {info.ExifVersion()});
    case 27:
        return Format("%s", {info.RelatedSoundFile()});
    default:
        return {};
    }
}

std::string ExifOverlayText(const TExifInfo& info, ExifItems items, std::int64_t fileSize) {
    const auto& labels = ExifLabels();
    std::string text;
    for (int n = 1; n <= kExifItemCount; ++n) {
        const auto index = static_cast<std::size_t>(n - 1);
        if (items == ExifItems::All || ExifItemMask[index] == '1') {
            text += Format("%-23s-> %s", {PadLabel(labels[index]), ExifItemValue(info, n)});
            text += kCrLf;
        }
        if (n == 6 || n == 20)
            text += kCrLf;
    }
    text += kCrLf;
    text +=
        Format("%-23s-> %.0n KB ( %.0n bytes )",
               {PadLabel(ExifSizeLabel()), static_cast<long double>(fileSize) / 1024, fileSize});
    return text;
}

std::string MakeDspExifInfo(TExifInfo& reader, const std::string& fileName, ExifItems items) {
    reader.SetImageFileName(fileName);
    return ExifOverlayText(reader, items, FileSizeOf(fileName));
}

} // namespace tessaly
