#include "exif/ExifInfo.h"

#include "base/AsciiCase.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "exif/ExifCodeTables.h"
#include "exif/ExifText.h"

#include <algorithm>
#include <bit>
#include <cmath>
#include <cstring>

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

TExifRational Rational(const TDatas& value) {
    return {value.TextValue, value.FloatValue};
}

TExifStringValue Coded(ExifCodeTable table, const TDatas& value) {
    return {ExifCodeNameOrEmpty(table, value.UnsignedValue),
            static_cast<std::int32_t>(value.UnsignedValue)};
}

// Round to nearest with halves to even, kept to its low 16 bits; a value no 64-bit integer
// holds (NaN, infinities, huge numbers) gives 0.
std::uint16_t RoundedLow16(double value) {
    if (!(std::fabs(value) < 9.2e18))
        return 0;
    return static_cast<std::uint16_t>(static_cast<std::uint64_t>(Round(value)));
}

// Tags whose rule uses the entry's value; the values of all other entries are skipped,
// since nothing depends on them.
bool UsesValue(std::uint16_t tag) {
    switch (tag) {
    case 1:
    case 256:
    case 257:
    case 259:
    case 262:
    case 270:
    case 271:
    case 272:
    case 274:
    case 277:
    case 282:
    case 283:
    case 284:
    case 296:
    case 305:
    case 306:
    case 513:
    case 514:
    case 4097:
    case 4098:
    case 33432:
    case 33434:
    case 33437:
    case 34665:
    case 34850:
    case 34855:
    case 36864:
    case 36867:
    case 36868:
    case 37122:
    case 37377:
    case 37378:
    case 37379:
    case 37380:
    case 37381:
    case 37382:
    case 37383:
    case 37384:
    case 37385:
    case 37386:
    case 37510:
    case 37520:
    case 37521:
    case 37522:
    case 40960:
    case 40961:
    case 40962:
    case 40963:
    case 40964:
    case 40965:
    case 41486:
    case 41487:
    case 41488:
    case 41493:
    case 41495:
        return true;
    default:
        return false;
    }
}

} // namespace

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
    std::uint64_t base = 0;
    if (!FindExifHeader(imageFileName_, base)) {
        DoReadError();
        return;
    }
    ReadIfds(base);
}

void TExifInfo::DoReadError() {
    if (onReadError_)
        onReadError_(*this);
}

void TExifInfo::ClearInfo() {
    // Assigning keeps the UserComment list object itself, so references to it stay valid.
    r_ = Results{};
}

bool TExifInfo::FindExifHeader(const std::string& fileName, std::uint64_t& base) {
    if (fileName.empty())
        return false;
    const std::unique_ptr<ByteSource> source = OpenSource(fileName);
    if (!source)
        return false;
    ByteCursor file(*source);
    std::uint8_t pair[2] = {};
    if (file.Read(pair) != 2 || pair[0] != 0xFF || pair[1] != 0xD8)
        return false;
    // A two-byte window slides one byte at a time from offset 2; marker segments are not
    // skipped by their lengths. The pair at offset 2 is always examined.
    std::uint64_t k = 2;
    for (;;) {
        file.Seek(k);
        if (file.Read(pair) != 2)
            return false;
        if (pair[0] == 0xFF && pair[1] == 0xE1)
            break;
        if (static_cast<std::int64_t>(k) + 2 > static_cast<std::int64_t>(searchRange_))
            return false;
        ++k;
    }
    file.Skip(2); // the segment length
    std::uint8_t id[6] = {};
    file.Read(id);
    const auto* idEnd = std::find(std::begin(id), std::end(id), std::uint8_t{0});
    const std::string_view text(reinterpret_cast<const char*>(id),
                                static_cast<std::size_t>(idEnd - std::begin(id)));
    if (!EqualsIgnoringAsciiCase(text, "exif"))
        return false;
    base = k + 2 + 2 + 6;
    return true;
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

void TExifInfo::ReadIfds(std::uint64_t base) {
    const std::unique_ptr<ByteSource> source = OpenSource(imageFileName_);
    if (!source)
        throw ExifReadError("Cannot open \"" + imageFileName_ + "\" again to read its EXIF block");
    ByteCursor file(*source);
    file.Seek(base);
    std::uint8_t mark[2] = {};
    if (file.Read(mark) != 2)
        throw ExifReadError("The EXIF block of \"" + imageFileName_ +
                            "\" ends before its byte-order mark");
    motorolaOrder_ = mark[0] == 'M' && mark[1] == 'M' ? 1 : 0;
    file.Skip(2); // the TIFF magic number
    std::uint8_t four[4] = {};
    file.Read(four);
    ifdList_ = {};
    ifdList_[0] = base + FixOrderUnsigned(four);
    ifdCount_ = 0;
    r_.makerNotePosition = 0;
    isThm_ = false;
    textBytesLeft_ = kMaxTextBytesPerRead;

    for (int p = 0; p <= ifdCount_; ++p) {
        file.Seek(ifdList_[static_cast<std::size_t>(p)]);
        std::uint8_t two[2] = {};
        if (file.Read(two) != 2)
            return;
        const std::uint32_t entries = FixOrderUnsigned(two);
        if (entries > kMaxEntries)
            return;
        bool cutOff = false;
        for (std::uint32_t e = 0; e < entries; ++e) {
            std::uint8_t head[8] = {};
            if (file.Read(head) != 8) {
                cutOff = true; // the source ends inside this entry: so does the directory
                break;
            }
            const auto tag = static_cast<std::uint16_t>(FixOrderUnsigned({head, 2}));
            const auto type = static_cast<std::uint8_t>(FixOrderSigned({head + 2, 2}));
            const std::uint32_t count = FixOrderUnsigned({head + 4, 4});
            const std::uint64_t valueFieldPosition = file.Position();
            TDatas value;
            if (UsesValue(tag))
                value = ReadTagValue(file, base, type, count);
            std::uint8_t valueField[4] = {};
            file.Seek(valueFieldPosition);
            file.Read(valueField);
            file.Seek(valueFieldPosition + 4);
            ApplyTagRule(tag, type, count, value, p == 0, base, valueField);
        }
        if (cutOff)
            continue;
        std::uint8_t link[4] = {};
        file.Read(link);
        if (const std::uint32_t next = FixOrderUnsigned(link); next != 0)
            Queue(base + next);
    }
}

TDatas TExifInfo::ReadTagValue(ByteCursor& file, std::uint64_t base, std::uint8_t type,
                               std::uint32_t count) {
    TDatas d;
    const std::uint32_t size = count * ElementSize(type); // 32-bit product, as stored
    const std::uint64_t noted = file.Position();
    if (size > 4) {
        std::uint8_t offset[4] = {};
        file.Read(offset);
        file.Seek(base + FixOrderUnsigned(offset));
    }
    // Missing bytes of a number cut off by the end of the source count as zero.
    std::uint8_t raw[8] = {};
    auto readRaw = [&](std::size_t n) { file.Read({raw, n}); };
    // A text takes what the source holds, within the limits of one value and one read.
    auto readText = [&]() {
        const std::size_t n = static_cast<std::size_t>(
            std::min<std::uint64_t>({count, file.Remaining(), kMaxTextValueBytes, textBytesLeft_}));
        std::vector<std::uint8_t> bytes(n);
        bytes.resize(file.Read(bytes));
        textBytesLeft_ -= bytes.size();
        return bytes;
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
    file.Seek(noted);
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

void TExifInfo::ApplyTagRule(std::uint16_t tag, std::uint8_t type, std::uint32_t count,
                             const TDatas& value, bool firstDirectory, std::uint64_t base,
                             std::span<const std::uint8_t, 4> valueField) {
    Results& r = r_;
    const std::uint32_t u = value.UnsignedValue;
    switch (tag) {
    case 1:
        isThm_ = EqualsIgnoringAsciiCase(value.TextValue, "THM");
        break;
    case 256:
        r.imageWidth = u;
        break;
    case 257:
        r.imageLength = u;
        break;
    case 259:
        r.compression = Coded(ExifCodeTable::Compression, value);
        break;
    case 262:
        r.photometricInterpretation = Coded(ExifCodeTable::PhotometricInterpretation, value);
        break;
    case 270:
        r.imageDescription = value.TextValue;
        break;
    case 271:
        r.make = value.TextValue;
        break;
    case 272:
        r.model = value.TextValue;
        break;
    case 274:
        if (const auto code = MapOrientationCode(u))
            (firstDirectory ? r.orientation : r.thumbOrientation) = *code;
        break;
    case 277:
        r.samplesPerPixel = static_cast<std::uint16_t>(u);
        break;
    case 282:
        (firstDirectory ? r.xResolution : r.thumbXResolution) = Rational(value);
        break;
    case 283:
        (firstDirectory ? r.yResolution : r.thumbYResolution) = Rational(value);
        break;
    case 284:
        r.planarConfiguration = static_cast<std::uint16_t>(u);
        break;
    case 296: {
        TExifStringValue& unit = firstDirectory ? r.resolutionUnit : r.thumbResolutionUnit;
        unit.Value = static_cast<std::int32_t>(u);
        if (const std::string* name = ExifCodeName(ExifCodeTable::ResolutionUnit, u))
            unit.Text = *name;
        break;
    }
    case 305:
        r.software = value.TextValue;
        break;
    case 306:
        r.dateTime = value.TextValue;
        break;
    case 513:
        r.jpegInterchangeFormat = u;
        break;
    case 514:
        r.jpegInterchangeFormatLength = u;
        break;
    case 4097:
        if (isThm_) {
            if (r.imageWidth == 0)
                r.imageWidth = u;
        } else if (r.pixelXDimension == 0) {
            r.pixelXDimension = u;
        }
        break;
    case 4098:
        if (isThm_) {
            if (r.imageLength == 0)
                r.imageLength = u;
        } else if (r.pixelYDimension == 0) {
            r.pixelYDimension = u;
        }
        break;
    case 33432:
        r.rightsNotice = value.TextValue;
        break;
    case 33434:
        r.exposureTime = Rational(value);
        break;
    case 33437:
        r.fNumber = Rational(value);
        break;
    case 34665: // the Exif directory
    case 40965: // the interoperability directory
        Queue(base + u);
        break;
    case 34850:
        r.exposureProgram = Coded(ExifCodeTable::ExposureProgram, value);
        break;
    case 34855:
        r.isoSpeedRatings = static_cast<std::uint16_t>(u);
        break;
    case 36864:
        r.exifVersion = VersionText("ExifVersion", value.TextValue);
        break;
    case 36867:
        r.dateTimeOriginal = value.TextValue;
        break;
    case 36868:
        r.dateTimeDigitized = value.TextValue;
        break;
    case 37122:
        r.compressedBitsPerPixel = Rational(value);
        break;
    case 37377:
        r.shutterSpeedValue = Rational(value);
        break;
    case 37378:
        r.apertureValue = Rational(value);
        break;
    case 37379:
        r.brightnessValue = Rational(value);
        break;
    case 37380:
        r.exposureBiasValue = Rational(value);
        break;
    case 37381:
        r.maxApertureValue = Rational(value);
        break;
    case 37382:
        r.subjectDistance = Rational(value);
        break;
    case 37383:
        r.meteringMode = Coded(ExifCodeTable::MeteringMode, value);
        break;
    case 37384:
        r.lightSource = Coded(ExifCodeTable::LightSource, value);
        break;
    case 37385:
        r.flash = Coded(ExifCodeTable::Flash, value);
        break;
    case 37386:
        r.focalLength = Rational(value);
        break;
    case 37500:
        // The value field is taken as an offset whatever the count.
        r.makerNoteLength = count;
        r.makerNotePosition = static_cast<std::uint32_t>(base + FixOrderUnsigned(valueField));
        break;
    case 37510:
        AddUserCommentLine(type, value);
        break;
    case 37520:
        r.subSecTime = value.TextValue;
        break;
    case 37521:
        r.subSecTimeOriginal = value.TextValue;
        break;
    case 37522:
        r.subSecTimeDigitized = value.TextValue;
        break;
    case 40960:
        r.flashpixVersion = VersionText("FlashpixVersion", value.TextValue);
        break;
    case 40961:
        r.colorSpace = Coded(ExifCodeTable::ColorSpace, value);
        break;
    case 40962:
        r.pixelXDimension = u;
        break;
    case 40963:
        r.pixelYDimension = u;
        break;
    case 40964:
        r.relatedSoundFile = value.TextValue;
        break;
    case 41486:
        r.focalPlaneXResolution = Rational(value);
        break;
    case 41487:
        r.focalPlaneYResolution = Rational(value);
        break;
    case 41488:
        r.focalPlaneResolutionUnit = Coded(ExifCodeTable::ResolutionUnit, value);
        break;
    case 41493:
        r.isoSpeedRatings = RoundedLow16(value.FloatValue);
        break;
    case 41495:
        r.sensingMethod = Coded(ExifCodeTable::SensingMethod, value);
        break;
    default:
        break;
    }
}

} // namespace tessaly
