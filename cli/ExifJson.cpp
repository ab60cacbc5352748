#include "cli/ExifJson.h"

#include "base/ShiftJis.h"
#include "base/Utf8.h"

#include <charconv>
#include <cmath>
#include <ostream>
#include <vector>

namespace tessaly::cli {
namespace {

// Writes `"Name": ` and the value, one property per line.
class ObjectWriter {
public:
    ObjectWriter(std::ostream& out, int indent)
        : out_(out), pad_(static_cast<std::size_t>(indent), ' ') {
        out_ << pad_ << "{";
    }
    ~ObjectWriter() { out_ << "\n" << pad_ << "}"; }
    ObjectWriter(const ObjectWriter&) = delete;
    ObjectWriter& operator=(const ObjectWriter&) = delete;

    void Raw(std::string_view name, const std::string& json) {
        out_ << (first_ ? "\n" : ",\n") << pad_ << "  " << JsonString(name) << ": " << json;
        first_ = false;
    }
    void Text(std::string_view name, const std::string& sjis) {
        Raw(name, JsonString(SjisToUtf8(sjis)));
    }
    void Unsigned(std::string_view name, std::uint64_t v) { Raw(name, std::to_string(v)); }
    void Rational(std::string_view name, const TExifRational& v) {
        Raw(name, "{\"Text\": " + JsonString(SjisToUtf8(v.Text)) +
                      ", \"Value\": " + JsonNumber(v.Value) + "}");
    }
    void Coded(std::string_view name, const TExifStringValue& v) {
        Raw(name, "{\"Text\": " + JsonString(SjisToUtf8(v.Text)) +
                      ", \"Value\": " + std::to_string(v.Value) + "}");
    }
    void Lines(std::string_view name, const std::vector<std::string>& lines) {
        std::string json = "[";
        for (std::size_t i = 0; i < lines.size(); ++i)
            json += (i ? ", " : "") + JsonString(SjisToUtf8(lines[i]));
        Raw(name, json + "]");
    }

private:
    std::ostream& out_;
    std::string pad_;
    bool first_ = true;
};

} // namespace

std::string JsonString(std::string_view utf8) {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out = "\"";
    for (std::size_t i = 0; i < utf8.size();) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        const std::size_t n = Utf8SequenceLength(utf8.substr(i));
        if (n == 0) {
            out += "\xEF\xBF\xBD";
            ++i;
            continue;
        }
        if (n > 1) {
            out.append(utf8.substr(i, n));
        } else if (c == '"' || c == '\\') {
            out += '\\';
            out += static_cast<char>(c);
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\r') {
            out += "\\r";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c == '\b') {
            out += "\\b";
        } else if (c == '\f') {
            out += "\\f";
        } else if (c < 0x20 || c == 0x7F) {
            out += "\\u00";
            out += kHex[c >> 4];
            out += kHex[c & 0x0F];
        } else {
            out += static_cast<char>(c);
        }
        i += n;
    }
    out += '"';
    return out;
}

std::string JsonNumber(double value) {
    if (!std::isfinite(value))
        return "null";
    char buf[32];
    const auto result = std::to_chars(buf, buf + sizeof buf, value);
    return std::string(buf, result.ptr);
}

void WriteExifJson(std::ostream& out, const TExifInfo& info, bool found, int indent) {
    ObjectWriter o(out, indent);
    o.Raw("ImageFileName", JsonString(info.ImageFileName()));
    o.Raw("found", found ? "true" : "false");
    o.Rational("ApertureValue", info.ApertureValue());
    o.Rational("BrightnessValue", info.BrightnessValue());
    o.Coded("ColorSpace", info.ColorSpace());
    o.Coded("Compression", info.Compression());
    o.Rational("CompressedBitsPerPixel", info.CompressedBitsPerPixel());
    o.Text("RightsNotice", info.RightsNotice());
    o.Text("DateTime", info.DateTime());
    o.Text("DateTimeDigitized", info.DateTimeDigitized());
    o.Text("DateTimeOriginal", info.DateTimeOriginal());
    o.Text("ExifVersion", info.ExifVersion());
    o.Rational("ExposureBiasValue", info.ExposureBiasValue());
    o.Coded("ExposureProgram", info.ExposureProgram());
    o.Rational("ExposureTime", info.ExposureTime());
    o.Coded("Flash", info.Flash());
    o.Text("FlashpixVersion", info.FlashpixVersion());
    o.Rational("FNumber", info.FNumber());
    o.Rational("FocalLength", info.FocalLength());
    o.Coded("FocalPlaneResolutionUnit", info.FocalPlaneResolutionUnit());
    o.Rational("FocalPlaneXResolution", info.FocalPlaneXResolution());
    o.Rational("FocalPlaneYResolution", info.FocalPlaneYResolution());
    o.Text("ImageDescription", info.ImageDescription());
    o.Unsigned("PixelYDimension", info.PixelYDimension());
    o.Unsigned("PixelXDimension", info.PixelXDimension());
    o.Unsigned("ISOSpeedRatings", info.ISOSpeedRatings());
    o.Unsigned("JPEGInterchangeFormat", info.JPEGInterchangeFormat());
    o.Unsigned("JPEGInterchangeFormatLength", info.JPEGInterchangeFormatLength());
    o.Coded("LightSource", info.LightSource());
    o.Text("Make", info.Make());
    o.Unsigned("MakerNoteLength", info.MakerNoteLength());
    o.Unsigned("MakerNotePosition", info.MakerNotePosition());
    o.Rational("MaxApertureValue", info.MaxApertureValue());
    o.Coded("MeteringMode", info.MeteringMode());
    o.Text("Model", info.Model());
    o.Unsigned("Orientation", info.Orientation());
    o.Coded("PhotometricInterpretation", info.PhotometricInterpretation());
    o.Unsigned("PlanarConfiguration", info.PlanarConfiguration());
    o.Text("RelatedSoundFile", info.RelatedSoundFile());
    o.Coded("ResolutionUnit", info.ResolutionUnit());
    o.Unsigned("SamplesPerPixel", info.SamplesPerPixel());
    o.Coded("SensingMethod", info.SensingMethod());
    o.Rational("ShutterSpeedValue", info.ShutterSpeedValue());
    o.Text("Software", info.Software());
    o.Rational("SubjectDistance", info.SubjectDistance());
    o.Text("SubSecTime", info.SubSecTime());
    o.Text("SubSecTimeDigitized", info.SubSecTimeDigitized());
    o.Text("SubSecTimeOriginal", info.SubSecTimeOriginal());
    o.Unsigned("ImageLength", info.ImageLength());
    o.Unsigned("ImageWidth", info.ImageWidth());
    o.Unsigned("ThumbOrientation", info.ThumbOrientation());
    o.Coded("ThumbResolutionUnit", info.ThumbResolutionUnit());
    o.Rational("ThumbXResolution", info.ThumbXResolution());
    o.Rational("ThumbYResolution", info.ThumbYResolution());
    o.Lines("UserComment", info.UserComment());
    o.Rational("XResolution", info.XResolution());
    o.Rational("YResolution", info.YResolution());
}

} // namespace tessaly::cli
