#include "exif/ExifInfo.h"

#include "base/AsciiCase.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "exif/ExifCodeTables.h"
#include "exif/ExifText.h"
#include "jpegfile/ExifOrientation.h"

#include <algorithm>
#include <array>
#include <bit>
#include <bitset>
#include <cmath>
#include <cstring>
#include <functional>
#include <variant>

namespace tessaly {
namespace {

// TIFF types.
constexpr std::uint8_t kByte = 1;
constexpr std::uint8_t kAscii = 2;
constexpr std::uint8_t kShort = 3;
constexpr std::uint8_t kLong = 4;
constexpr std::uint8_t kRational = 5;
constexpr std::uint8_t kSByte = 6;
constexpr std::uint8_t kUndefined = 7;
constexpr std::uint8_t kSShort = 8;
constexpr std::uint8_t kSLong = 9;
constexpr std::uint8_t kSRational = 10;
constexpr std::uint8_t kFloat = 11;
constexpr std::uint8_t kDouble = 12;

// Bytes per element; types the reader does not know count 8, like the 8-byte types.
std::uint32_t ElementSize(std::uint8_t type) {
    switch (type) {
    case kByte:
    case kAscii:
    case kSByte:
    case kUndefined:
        return 1;
    case kShort:
    case kSShort:
        return 2;
    case kLong:
    case kSLong:
    case kFloat:
        return 4;
    default:
        return 8;
    }
}

// A quotient taken in extended precision and stored as a 64-bit float.
double Quotient(long double numerator, long double denominator) {
    return static_cast<double>(numerator / denominator);
}

// Round to nearest with halves to even, kept to its low 16 bits; a value no 64-bit integer
// holds (NaN, infinities, huge numbers) gives 0.
std::uint16_t RoundedLow16(double value) {
    if (!(std::fabs(value) < 9.2e18))
        return 0;
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(Round(value)));
}

// The destination of a rule, read through the member pointer of the type the rule's
// conversion writes.
template <typename T, typename Results, typename Field>
T& At(Results& results, const Field& field) {
    return results.*std::get<T Results::*>(field);
}

} // namespace

// One row of the tag table: what the reader does with an entry of that tag.
struct TExifInfo::TagRule {
    enum class Conversion : std::uint8_t {
        Text,          // the text as read (std::string)
        Number,        // the unsigned number (std::uint32_t)
        Low16,         // the unsigned number's low 16 bits (std::uint16_t)
        Rational,      // "numerator/denominator" and the quotient (TExifRational)
        Coded,         // the code and its name in `codes`, empty when unnamed (TExifStringValue)
        UnitCode,      // the code, and its name when `codes` has one: an unnamed code keeps
                       // the name there was (TExifStringValue)
        Orientation,   // the code as MapOrientationCode gives it; a code above 8 changes
                       // nothing (std::uint8_t)
        Version,       // the hexadecimal text of the bytes taken as text; throws
                       // ExifReadError, naming the tag, when it is not hexadecimal (std::string)
        RelatedSize,   // the number, only while the destination is still 0 (std::uint32_t)
        ExposureIndex, // the float rounded to 16 bits, see RoundedLow16 (std::uint16_t)
        Directory,     // queues the directory at the number's offset; no destination
        InteropIndex,  // "THM" (any case) sends the related sizes to the picture's own size
        MakerNote,     // the count and the position the value field names; the value itself
                       // is never read, so a large maker note costs nothing
        UserComment,   // adds a line to UserComment (see AddUserCommentLine)
    };
    using Field = std::variant<std::monostate, std::string Results::*, std::uint32_t Results::*,
                               std::uint16_t Results::*, std::uint8_t Results::*,
                               TExifRational Results::*, TExifStringValue Results::*>;

    std::uint16_t tag;
    const char* name;
    Conversion conversion;
    Field field{}; // where the value goes
    // Where it goes instead in the directories after the first (the thumbnail's); for
    // RelatedSize, where it goes when the interoperability index says "THM".
    Field thumbField{};
    ExifCodeTable codes{};

    // Whether the entry's value is read at all.
    bool ReadsValue() const { return conversion != Conversion::MakerNote; }
};

TExifInfo::TExifInfo() {
    ClearInfo();
}

void TExifInfo::SetSourceOpener(SourceOpener opener) {
    sourceOpener_ = std::move(opener);
}

std::unique_ptr<ByteSource> TExifInfo::OpenSource(const std::string& name) const {
    if (sourceOpener_)
        return sourceOpener_(name);
    return FileSource::Open(name);
}

void TExifInfo::SetImageFileName(std::string name) {
    imageFileName_ = std::move(name);
    ClearInfo();
    const std::optional<ExifBlock> block = FindExifBlock(imageFileName_);
    if (!block) {
        DoReadError();
        return;
    }
    ReadIfds(*block);
}

void TExifInfo::DoReadError() {
    if (onReadError_)
        onReadError_(*this);
}

void TExifInfo::ClearInfo() {
    // Assigning keeps the UserComment list object itself, so references to it stay valid.
    r_ = Results{};
}

std::optional<ExifBlock> TExifInfo::FindExifBlock(const std::string& fileName) {
    if (fileName.empty())
        return std::nullopt;
    const std::unique_ptr<ByteSource> source = OpenSource(fileName);
    if (!source)
        return std::nullopt;
    return ReadExifBlock([&source](std::uint64_t offset, std::uint8_t* out, std::size_t count) {
        return source->ReadAt(offset, {out, count});
    });
}

std::uint32_t TExifInfo::FixOrderUnsigned(std::span<const std::uint8_t> bytes) const {
    std::uint32_t v = 0;
    if (motorolaOrder_)
        for (const std::uint8_t b : bytes)
            v = (v << 8) | b;
    else
        for (auto it = bytes.rbegin(); it != bytes.rend(); ++it)
            v = (v << 8) | *it;
    return v;
}

std::int32_t TExifInfo::FixOrderSigned(std::span<const std::uint8_t> bytes) const {
    const std::uint32_t v = FixOrderUnsigned(bytes);
    if (bytes.size() == 2)
        return static_cast<std::int16_t>(static_cast<std::uint16_t>(v));
    return static_cast<std::int32_t>(v);
}

void TExifInfo::Queue(std::uint64_t position) {
    // A fourteenth directory is not queued: this bounds every walk, loops included.
    if (ifdCount_ + 1 >= kMaxDirectories)
        return;
    ifdList_[static_cast<std::size_t>(++ifdCount_)] = position;
}

void TExifInfo::ReadIfds(const ExifBlock& exif) {
    if (exif.tiff.size() < 2)
        throw ExifReadError("The EXIF block of \"" + imageFileName_ +
                            "\" ends before its byte-order mark");
    motorolaOrder_ = exif.tiff[0] == 'M' && exif.tiff[1] == 'M' ? 1 : 0;
    const TiffView block = TiffView::Over(exif.tiff, motorolaOrder_ != 0);
    // Missing bytes of a number cut off by the end of the block count as zero.
    const auto number = [&](std::uint64_t at, std::size_t size) {
        std::uint8_t raw[4] = {};
        const std::span<const std::uint8_t> got = block.BytesAt(at, size);
        std::copy(got.begin(), got.end(), raw);
        return FixOrderUnsigned({raw, size});
    };
    const std::uint64_t base = exif.tiffAt;
    ifdList_ = {};
    ifdList_[0] = number(4, 4); // after the byte-order mark and the TIFF magic number
    ifdCount_ = 0;
    r_.makerNotePosition = 0;
    isThm_ = false;
    textBytesLeft_ = kMaxTextBytesPerRead;
    ifd0Orientation_ = ExifOrientationCode(exif.tiff);

    for (int p = 0; p <= ifdCount_; ++p) {
        const std::uint64_t directory = ifdList_[static_cast<std::size_t>(p)];
        if (block.BytesAt(directory, 2).size() != 2)
            return;
        const std::uint32_t entries = number(directory, 2);
        if (entries > kMaxEntries)
            return;
        // The tags of the first directory met so far: only the first entry of each counts.
        std::bitset<65536> seen;
        bool cutOff = false;
        std::uint64_t at = directory + 2;
        for (std::uint32_t e = 0; e < entries; ++e, at += 12) {
            if (block.BytesAt(at, 8).size() != 8) {
                cutOff = true; // the block ends inside this entry: so does the directory
                break;
            }
            const auto tag = static_cast<std::uint16_t>(number(at, 2));
            const auto type = static_cast<std::uint8_t>(FixOrderSigned(block.BytesAt(at + 2, 2)));
            const std::uint32_t count = number(at + 4, 4);
            if (p == 0) {
                if (seen.test(tag))
                    continue;
                seen.set(tag);
            }
            const TagRule* rule = FindTagRule(tag);
            if (!rule)
                continue;
            TDatas value;
            std::uint8_t valueField[4] = {};
            if (rule->ReadsValue()) {
                value = ReadTagValue(block, at + 8, type, count);
            } else {
                const std::span<const std::uint8_t> got = block.BytesAt(at + 8, 4);
                std::copy(got.begin(), got.end(), valueField);
            }
            ApplyTagRule(*rule, type, count, value, p == 0, base, valueField);
        }
        if (cutOff)
            continue;
        if (const std::uint32_t next = number(at, 4); next != 0)
            Queue(next);
    }
}

TDatas TExifInfo::ReadTagValue(const TiffView& block, std::uint64_t field, std::uint8_t type,
                               std::uint32_t count) {
    TDatas d;
    const std::uint32_t size = count * ElementSize(type); // 32-bit product, as stored
    std::uint64_t at = field;
    if (size > 4) {
        std::uint8_t offset[4] = {};
        const std::span<const std::uint8_t> got = block.BytesAt(field, 4);
        std::copy(got.begin(), got.end(), offset);
        at = FixOrderUnsigned(offset);
    }
    // Missing bytes of a number cut off by the end of the block count as zero.
    std::uint8_t raw[8] = {};
    auto readRaw = [&](std::size_t n) {
        const std::span<const std::uint8_t> got = block.BytesAt(at, n);
        std::copy(got.begin(), got.end(), raw);
    };
    // A text takes what the block holds, within the limits of one value and one read.
    auto readText = [&]() {
        const std::span<const std::uint8_t> got =
            block.BytesAt(at, std::min<std::uint64_t>({count, kMaxTextValueBytes, textBytesLeft_}));
        textBytesLeft_ -= got.size();
        return std::vector<std::uint8_t>(got.begin(), got.end());
    };
    switch (type) {
    case kByte:
        readRaw(1);
        d.UnsignedValue = raw[0];
        break;
    case kAscii:
        for (const std::uint8_t b : readText())
            if (b != 0)
                d.TextValue += static_cast<char>(b);
        break;
    case kShort:
        readRaw(2);
        d.UnsignedValue = FixOrderUnsigned({raw, 2});
        break;
    case kLong:
        readRaw(4);
        d.UnsignedValue = FixOrderUnsigned({raw, 4});
        break;
    case kRational: {
        readRaw(8);
        const std::uint32_t num = FixOrderUnsigned({raw, 4});
        const std::uint32_t den = FixOrderUnsigned({raw + 4, 4});
        d.TextValue = Format("%u/%u", {num, den});
        if (den != 0)
            d.FloatValue = Quotient(num, den);
        break;
    }
    case kSByte:
        readRaw(1);
        d.SignedValue = static_cast<std::int8_t>(raw[0]);
        break;
    case kUndefined:
        d.TextValue = HexEncode(readText());
        break;
    case kSShort:
        readRaw(2);
        d.SignedValue = FixOrderSigned({raw, 2});
        break;
    case kSLong:
        readRaw(4);
        d.SignedValue = FixOrderSigned({raw, 4});
        break;
    case kSRational: {
        readRaw(8);
        const std::int32_t num = FixOrderSigned({raw, 4});
        const std::int32_t den = FixOrderSigned({raw + 4, 4});
        d.TextValue = Format("%d/%d", {num, den});
        if (den != 0)
            d.FloatValue = Quotient(num, den);
        break;
    }
    case kFloat:
        readRaw(4);
        d.FloatValue = std::bit_cast<float>(FixOrderUnsigned({raw, 4}));
        break;
    case kDouble:
        readRaw(8);
        if (motorolaOrder_)
            std::reverse(std::begin(raw), std::end(raw));
        d.FloatValue = std::bit_cast<double>(raw);
        break;
    default:
        break; // an unknown type has no value
    }
    return d;
}

std::string TExifInfo::HexToText(std::string_view hex) {
    return tessaly::HexToText(hex);
}

std::string TExifInfo::DecodeUserComment(std::string_view hex) const {
    const std::string_view codeDigits = hex.substr(0, std::min<std::size_t>(16, hex.size()));
    const std::string_view rest = hex.substr(codeDigits.size());
    const std::string code = HexToText(codeDigits);
    if (EqualsIgnoringAsciiCase(code, "ASCII"))
        return HexToText(rest);
    if (EqualsIgnoringAsciiCase(code, "Unicode"))
        return Utf16UnitsToSjis(HexDecode(rest), motorolaOrder_ != 0);
    if (EqualsIgnoringAsciiCase(code, "JIS"))
        return JisToShiftJis(HexDecode(rest));
    return {};
}

std::string TExifInfo::VersionText(const char* property, const std::string& hex) const {
    try {
        return HexToText(hex);
    } catch (const ExifReadError& e) {
        throw ExifReadError(std::string(property) + " of \"" + imageFileName_ +
                            "\" is not hexadecimal text (" + e.what() + ")");
    }
}

void TExifInfo::AddUserCommentLine(std::uint8_t type, const TDatas& value) {
    switch (type) {
    case kByte:
    case kShort:
    case kLong:
        r_.userComment.push_back(Format("%u", {value.UnsignedValue}));
        break;
    case kAscii:
    case kRational:
    case kSRational:
        r_.userComment.push_back(value.TextValue);
        break;
    case kSByte:
    case kSShort:
    case kSLong:
        r_.userComment.push_back(Format("%d", {value.SignedValue}));
        break;
    case kFloat:
    case kDouble:
        r_.userComment.push_back(FormatGeneral(value.FloatValue));
        break;
    case kUndefined:
        if (!value.TextValue.empty())
            r_.userComment.push_back(DecodeUserComment(value.TextValue));
        break;
    default:
        break;
    }
}

const TExifInfo::TagRule* TExifInfo::FindTagRule(std::uint16_t tag) {
    using Conversion = TagRule::Conversion;
    using Field = TagRule::Field;
    using R = Results;
    // Whether the destinations of a rule have the type its conversion writes.
    constexpr auto FitsItsConversion = [](const TagRule& rule) {
        auto is = [](const Field& field, auto member) {
            return std::holds_alternative<decltype(member)>(field);
        };
        auto both = [&](auto member) {
            return is(rule.field, member) &&
                   (is(rule.thumbField, member) || is(rule.thumbField, std::monostate{}));
        };
        switch (rule.conversion) {
        case Conversion::Text:
        case Conversion::Version:
            return both(static_cast<std::string R::*>(nullptr));
        case Conversion::Number:
            return both(static_cast<std::uint32_t R::*>(nullptr));
        case Conversion::RelatedSize:
            return is(rule.field, static_cast<std::uint32_t R::*>(nullptr)) &&
                   is(rule.thumbField, static_cast<std::uint32_t R::*>(nullptr));
        case Conversion::Low16:
        case Conversion::ExposureIndex:
            return both(static_cast<std::uint16_t R::*>(nullptr));
        case Conversion::Orientation:
            return both(static_cast<std::uint8_t R::*>(nullptr));
        case Conversion::Rational:
            return both(static_cast<TExifRational R::*>(nullptr));
        case Conversion::Coded:
        case Conversion::UnitCode:
            return both(static_cast<TExifStringValue R::*>(nullptr));
        case Conversion::Directory:
        case Conversion::InteropIndex:
        case Conversion::MakerNote:
        case Conversion::UserComment:
            return is(rule.field, std::monostate{}) && is(rule.thumbField, std::monostate{});
        }
        return false;
    };
    using enum TagRule::Conversion;
    using C = ExifCodeTable;
    // Every tag the reader knows, in ascending order; entries of any other tag are skipped
    // without reading their values.
    // clang-format off
    static constexpr auto kRules = std::to_array<TagRule>({
        {1,     "InteroperabilityIndex",       InteropIndex},
        {256,   "ImageWidth",                  Number,        &R::imageWidth},
        {257,   "ImageLength",                 Number,        &R::imageLength},
        {259,   "Compression",                 Coded,         &R::compression, {}, C::Compression},
        {262,   "PhotometricInterpretation",   Coded,         &R::photometricInterpretation,
                {}, C::PhotometricInterpretation},
        {270,   "ImageDescription",            Text,          &R::imageDescription},
        {271,   "Make",                        Text,          &R::make},
        {272,   "Model",                       Text,          &R::model},
        {274,   "Orientation",                 Orientation,   &R::orientation,
                &R::thumbOrientation},
        {277,   "SamplesPerPixel",             Low16,         &R::samplesPerPixel},
        {282,   "XResolution",                 Rational,      &R::xResolution,
                &R::thumbXResolution},
        {283,   "YResolution",                 Rational,      &R::yResolution,
                &R::thumbYResolution},
        {284,   "PlanarConfiguration",         Low16,         &R::planarConfiguration},
        {296,   "ResolutionUnit",              UnitCode,      &R::resolutionUnit,
                &R::thumbResolutionUnit, C::ResolutionUnit},
        {305,   "Software",                    Text,          &R::software},
        {306,   "DateTime",                    Text,          &R::dateTime},
        {513,   "JPEGInterchangeFormat",       Number,        &R::jpegInterchangeFormat},
        {514,   "JPEGInterchangeFormatLength", Number,        &R::jpegInterchangeFormatLength},
        {4097,  "RelatedImageWidth",           RelatedSize,   &R::pixelXDimension, &R::imageWidth},
        {4098,  "RelatedImageLength",          RelatedSize,   &R::pixelYDimension, &R::imageLength},
        {33432, "Copyright",                   Text,          &R::rightsNotice},
        {33434, "ExposureTime",                Rational,      &R::exposureTime},
        {33437, "FNumber",                     Rational,      &R::fNumber},
        {34665, "ExifIFDPointer",              Directory},
        {34850, "ExposureProgram",             Coded,         &R::exposureProgram,
                {}, C::ExposureProgram},
        {34855, "ISOSpeedRatings",             Low16,         &R::isoSpeedRatings},
        {36864, "ExifVersion",                 Version,       &R::exifVersion},
        {36867, "DateTimeOriginal",            Text,          &R::dateTimeOriginal},
        {36868, "DateTimeDigitized",           Text,          &R::dateTimeDigitized},
        {37122, "CompressedBitsPerPixel",      Rational,      &R::compressedBitsPerPixel},
        {37377, "ShutterSpeedValue",           Rational,      &R::shutterSpeedValue},
        {37378, "ApertureValue",               Rational,      &R::apertureValue},
        {37379, "BrightnessValue",             Rational,      &R::brightnessValue},
        {37380, "ExposureBiasValue",           Rational,      &R::exposureBiasValue},
        {37381, "MaxApertureValue",            Rational,      &R::maxApertureValue},
        {37382, "SubjectDistance",             Rational,      &R::subjectDistance},
        {37383, "MeteringMode",                Coded,         &R::meteringMode,
                {}, C::MeteringMode},
        {37384, "LightSource",                 Coded,         &R::lightSource, {}, C::LightSource},
        {37385, "Flash",                       Coded,         &R::flash, {}, C::Flash},
        {37386, "FocalLength",                 Rational,      &R::focalLength},
        {37500, "MakerNote",                   MakerNote},
        {37510, "UserComment",                 UserComment},
        {37520, "SubSecTime",                  Text,          &R::subSecTime},
        {37521, "SubSecTimeOriginal",          Text,          &R::subSecTimeOriginal},
        {37522, "SubSecTimeDigitized",         Text,          &R::subSecTimeDigitized},
        {40960, "FlashpixVersion",             Version,       &R::flashpixVersion},
        {40961, "ColorSpace",                  Coded,         &R::colorSpace, {}, C::ColorSpace},
        {40962, "PixelXDimension",             Number,        &R::pixelXDimension},
        {40963, "PixelYDimension",             Number,        &R::pixelYDimension},
        {40964, "RelatedSoundFile",            Text,          &R::relatedSoundFile},
        {40965, "InteroperabilityIFDPointer",  Directory},
        {41486, "FocalPlaneXResolution",       Rational,      &R::focalPlaneXResolution},
        {41487, "FocalPlaneYResolution",       Rational,      &R::focalPlaneYResolution},
        {41488, "FocalPlaneResolutionUnit",    Coded,         &R::focalPlaneResolutionUnit,
                {}, C::ResolutionUnit},
        {41493, "ExposureIndex",               ExposureIndex, &R::isoSpeedRatings},
        {41495, "SensingMethod",               Coded,         &R::sensingMethod,
                {}, C::SensingMethod},
    });
    // clang-format on
    static_assert(std::ranges::adjacent_find(kRules, std::greater_equal{}, &TagRule::tag) ==
                      kRules.end(),
                  "the tags must be in strictly ascending order");
    static_assert(std::ranges::all_of(kRules, FitsItsConversion),
                  "a destination does not have the type its conversion writes");

    const auto it = std::ranges::lower_bound(kRules, tag, {}, &TagRule::tag);
    return it != kRules.end() && it->tag == tag ? &*it : nullptr;
}

void TExifInfo::ApplyTagRule(const TagRule& rule, std::uint8_t type, std::uint32_t count,
                             const TDatas& value, bool firstDirectory, std::uint64_t base,
                             std::span<const std::uint8_t, 4> valueField) {
    using Conversion = TagRule::Conversion;
    const std::uint32_t u = value.UnsignedValue;
    const bool toThumb = rule.conversion == Conversion::RelatedSize
                             ? isThm_
                             : !firstDirectory && rule.thumbField.index() != 0;
    const TagRule::Field& field = toThumb ? rule.thumbField : rule.field;
    switch (rule.conversion) {
    case Conversion::Text:
        At<std::string>(r_, field) = value.TextValue;
        break;
    case Conversion::Number:
        At<std::uint32_t>(r_, field) = u;
        break;
    case Conversion::Low16:
        At<std::uint16_t>(r_, field) = static_cast<std::uint16_t>(u);
        break;
    case Conversion::Rational:
        At<TExifRational>(r_, field) = {value.TextValue, value.FloatValue};
        break;
    case Conversion::Coded:
        At<TExifStringValue>(r_, field) = {ExifCodeNameOrEmpty(rule.codes, u),
                                           static_cast<std::int32_t>(u)};
        break;
    case Conversion::UnitCode: {
        TExifStringValue& unit = At<TExifStringValue>(r_, field);
        unit.Value = static_cast<std::int32_t>(u);
        if (const std::string* name = ExifCodeName(rule.codes, u))
            unit.Text = *name;
        break;
    }
    case Conversion::Orientation:
        // The first directory's code is the one the picture is turned by.
        if (const auto code = MapOrientationCode(toThumb ? u : ifd0Orientation_))
            At<std::uint8_t>(r_, field) = *code;
        break;
    case Conversion::Version:
        At<std::string>(r_, field) = VersionText(rule.name, value.TextValue);
        break;
    case Conversion::RelatedSize:
        if (std::uint32_t& size = At<std::uint32_t>(r_, field); size == 0)
            size = u;
        break;
    case Conversion::ExposureIndex:
        At<std::uint16_t>(r_, field) = RoundedLow16(value.FloatValue);
        break;
    case Conversion::Directory:
        Queue(u);
        break;
    case Conversion::InteropIndex:
        isThm_ = EqualsIgnoringAsciiCase(value.TextValue, "THM");
        break;
    case Conversion::MakerNote:
        // The value field is taken as an offset whatever the count.
        r_.makerNoteLength = count;
        r_.makerNotePosition = static_cast<std::uint32_t>(base + FixOrderUnsigned(valueField));
        break;
    case Conversion::UserComment:
        AddUserCommentLine(type, value);
        break;
    }
}

} // namespace tessaly
