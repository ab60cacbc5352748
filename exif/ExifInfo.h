// TExifInfo: reads the EXIF block of a JPEG file into typed, read-only properties.
//
// Assigning ImageFileName runs the whole read: every result is cleared, the file's EXIF
// block is found (jpegfile/ExifBlock.h: the first APP1 segment that starts with "Exif\0\0"
// among the marker segments before the frame header, the one the picture is turned by), and
// the TIFF directories in it are walked through jpegfile/TiffView (IFD0, the Exif directory, IFD1,
// the interoperability directory, in the order their links and pointers queue them). When no block
// is found, OnReadError is raised (if assigned) and the results stay cleared.
//
// Texts are Shift-JIS byte strings as the file holds them; file names are paths as the
// operating system spells them.
//
// Bad input: every read is bounded by the end of the block (the segment); a value that runs
// past the end yields the bytes that are there (missing bytes of a number count as zero); an
// entry cut off by the end of the block ends its directory. In the first directory (IFD0)
// the first entry of a tag counts and later entries of the same tag are skipped, and the
// orientation is the one ExifOrientationCode reads, the code the picture is turned by (stored
// with codes 3 and 4 exchanged, see Orientation()). At most 13 directories are walked
// per read (a further link or pointer is not queued, which also ends a chain that loops),
// at most 1,024 entries each, and a text value takes at most 64 KiB of the file and all text
// values of one read together at most 1 MiB, so a count in the billions costs nothing.
#pragma once

#include "exif/ByteSource.h"
#include "exif/ExifError.h"
#include "jpegfile/ExifBlock.h"
#include "jpegfile/TiffView.h"

#include <array>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// A rational (or FLOAT/DOUBLE) value: Text is "numerator/denominator" for the rational
// types, Value the quotient (0 for a denominator of 0, for other types and when absent).
struct TExifRational {
    std::string Text;
    double Value = 0;
};

// A coded value: Text is the code's name (empty when it has none), Value the code as read.
struct TExifStringValue {
    std::string Text;
    std::int32_t Value = 0;
};

// One entry's value while it is read; which fields are filled depends on the TIFF type.
struct TDatas {
    double FloatValue = 0;
    std::int32_t SignedValue = 0;
    std::string TextValue;
    std::uint32_t UnsignedValue = 0;
};

class TExifInfo {
public:
    using ReadErrorEvent = std::function<void(TExifInfo& sender)>;
    // Opens the named source for a read; nullptr when it cannot be opened.
    using SourceOpener = std::function<std::unique_ptr<ByteSource>(const std::string& name)>;

    static constexpr int kMaxDirectories = 13;
    static constexpr std::uint32_t kMaxEntries = 1024;
    static constexpr std::size_t kMaxTextValueBytes = 64 * 1024;
    static constexpr std::size_t kMaxTextBytesPerRead = 1024 * 1024;

    TExifInfo();
    virtual ~TExifInfo() = default;
    TExifInfo(const TExifInfo&) = delete;
    TExifInfo& operator=(const TExifInfo&) = delete;

    // --- Published properties ---

    const std::string& ImageFileName() const { return imageFileName_; }
    // Stores the name and runs a read, also when the name is unchanged. Throws
    // ExifReadError when a found block cannot be walked (see ExifError.h).
    void SetImageFileName(std::string name);

    const ReadErrorEvent& OnReadError() const { return onReadError_; }
    void SetOnReadError(ReadErrorEvent handler) { onReadError_ = std::move(handler); }

    // Where the reads get their bytes: files by default; tests and the fuzzer give bytes in
    // memory. An empty opener restores the default.
    void SetSourceOpener(SourceOpener opener);

    // --- Results of the last read ---

    const TExifRational& ApertureValue() const { return r_.apertureValue; }
    const TExifRational& BrightnessValue() const { return r_.brightnessValue; }
    const TExifStringValue& ColorSpace() const { return r_.colorSpace; }
    const TExifStringValue& Compression() const { return r_.compression; }
    const TExifRational& CompressedBitsPerPixel() const { return r_.compressedBitsPerPixel; }
    const std::string& RightsNotice() const { return r_.rightsNotice; }
    const std::string& DateTime() const { return r_.dateTime; }
    const std::string& DateTimeDigitized() const { return r_.dateTimeDigitized; }
    const std::string& DateTimeOriginal() const { return r_.dateTimeOriginal; }
    const std::string& ExifVersion() const { return r_.exifVersion; }
    const TExifRational& ExposureBiasValue() const { return r_.exposureBiasValue; }
    const TExifStringValue& ExposureProgram() const { return r_.exposureProgram; }
    const TExifRational& ExposureTime() const { return r_.exposureTime; }
    const TExifStringValue& Flash() const { return r_.flash; }
    const std::string& FlashpixVersion() const { return r_.flashpixVersion; }
    const TExifRational& FNumber() const { return r_.fNumber; }
    const TExifRational& FocalLength() const { return r_.focalLength; }
    const TExifStringValue& FocalPlaneResolutionUnit() const { return r_.focalPlaneResolutionUnit; }
    const TExifRational& FocalPlaneXResolution() const { return r_.focalPlaneXResolution; }
    const TExifRational& FocalPlaneYResolution() const { return r_.focalPlaneYResolution; }
    const std::string& ImageDescription() const { return r_.imageDescription; }
    std::uint32_t PixelYDimension() const { return r_.pixelYDimension; }
    std::uint32_t PixelXDimension() const { return r_.pixelXDimension; }
    std::uint16_t ISOSpeedRatings() const { return r_.isoSpeedRatings; }
    std::uint32_t JPEGInterchangeFormat() const { return r_.jpegInterchangeFormat; }
    std::uint32_t JPEGInterchangeFormatLength() const { return r_.jpegInterchangeFormatLength; }
    const TExifStringValue& LightSource() const { return r_.lightSource; }
    const std::string& Make() const { return r_.make; }
    std::uint32_t MakerNoteLength() const { return r_.makerNoteLength; }
    std::uint32_t MakerNotePosition() const { return r_.makerNotePosition; }
    const TExifRational& MaxApertureValue() const { return r_.maxApertureValue; }
    const TExifStringValue& MeteringMode() const { return r_.meteringMode; }
    const std::string& Model() const { return r_.model; }
    std::uint8_t Orientation() const { return r_.orientation; }
    const TExifStringValue& PhotometricInterpretation() const {
        return r_.photometricInterpretation;
    }
    std::uint16_t PlanarConfiguration() const { return r_.planarConfiguration; }
    const std::string& RelatedSoundFile() const { return r_.relatedSoundFile; }
    const TExifStringValue& ResolutionUnit() const { return r_.resolutionUnit; }
    std::uint16_t SamplesPerPixel() const { return r_.samplesPerPixel; }
    const TExifStringValue& SensingMethod() const { return r_.sensingMethod; }
    const TExifRational& ShutterSpeedValue() const { return r_.shutterSpeedValue; }
    const std::string& Software() const { return r_.software; }
    const TExifRational& SubjectDistance() const { return r_.subjectDistance; }
    const std::string& SubSecTime() const { return r_.subSecTime; }
    const std::string& SubSecTimeDigitized() const { return r_.subSecTimeDigitized; }
    const std::string& SubSecTimeOriginal() const { return r_.subSecTimeOriginal; }
    std::uint32_t ImageLength() const { return r_.imageLength; }
    std::uint32_t ImageWidth() const { return r_.imageWidth; }
    std::uint8_t ThumbOrientation() const { return r_.thumbOrientation; }
    const TExifStringValue& ThumbResolutionUnit() const { return r_.thumbResolutionUnit; }
    const TExifRational& ThumbXResolution() const { return r_.thumbXResolution; }
    const TExifRational& ThumbYResolution() const { return r_.thumbYResolution; }
    // The component's own list, one line per user-comment entry.
    const std::vector<std::string>& UserComment() const { return r_.userComment; }
    const TExifRational& XResolution() const { return r_.xResolution; }
    const TExifRational& YResolution() const { return r_.yResolution; }

    // --- Conversions used by a read ---

    // The text spelt by hexadecimal digit pairs, zero bytes dropped; throws ExifReadError
    // for a pair that is not hexadecimal.
    static std::string HexToText(std::string_view hex);

    // The line a user comment of type UNDEFINED adds, from the hexadecimal text of the whole
    // value: the 8-byte code field names "ASCII", "Unicode" (units in the file's byte order)
    // or "JIS"; any other code gives an empty line.
    std::string DecodeUserComment(std::string_view hex) const;

protected:
    // Raises OnReadError when a handler is assigned.
    virtual void DoReadError();

    // Every result text and name empty, every number, code and float 0, no comment lines.
    void ClearInfo();

    // The file's EXIF block; nullopt when the file cannot be opened or has none.
    std::optional<ExifBlock> FindExifBlock(const std::string& fileName);

    // Walks the directories of the block from its TIFF header.
    void ReadIfds(const ExifBlock& block);

    // 2 or 4 bytes in the file's byte order; the unsigned form zero-extends 2 bytes, the
    // signed form sign-extends them.
    std::uint32_t FixOrderUnsigned(std::span<const std::uint8_t> bytes) const;
    std::int32_t FixOrderSigned(std::span<const std::uint8_t> bytes) const;

    bool MotorolaOrder() const { return motorolaOrder_ != 0; }

    // Reads one entry's value of the given type and count, whose 4-byte value field lies at
    // `field` in the block.
    TDatas ReadTagValue(const TiffView& block, std::uint64_t field, std::uint8_t type,
                        std::uint32_t count);

private:
    std::unique_ptr<ByteSource> OpenSource(const std::string& name) const;
    void Queue(std::uint64_t position);
    // The tag table: for each tag the reader knows, where the value goes and how it is
    // converted. An entry of a tag without a row is skipped unread.
    struct TagRule;
    static const TagRule* FindTagRule(std::uint16_t tag);
    void ApplyTagRule(const TagRule& rule, std::uint8_t type, std::uint32_t count,
                      const TDatas& value, bool firstDirectory, std::uint64_t base,
                      std::span<const std::uint8_t, 4> valueField);
    void AddUserCommentLine(std::uint8_t type, const TDatas& value);
    std::string VersionText(const char* property, const std::string& hex) const;

    std::string imageFileName_;
    ReadErrorEvent onReadError_;
    SourceOpener sourceOpener_;
    std::uint8_t motorolaOrder_ = 0;

    // The results of a read, cleared as a whole before each read.
    struct Results {
        TExifRational apertureValue;
        TExifRational brightnessValue;
        TExifStringValue colorSpace;
        TExifStringValue compression;
        TExifRational compressedBitsPerPixel;
        std::string rightsNotice;
        std::string dateTime;
        std::string dateTimeDigitized;
        std::string dateTimeOriginal;
        std::string exifVersion;
        TExifRational exposureBiasValue;
        TExifStringValue exposureProgram;
        TExifRational exposureTime;
        TExifStringValue flash;
        std::string flashpixVersion;
        TExifRational fNumber;
        TExifRational focalLength;
        TExifStringValue focalPlaneResolutionUnit;
        TExifRational focalPlaneXResolution;
        TExifRational focalPlaneYResolution;
        std::string imageDescription;
        std::uint32_t pixelYDimension = 0;
        std::uint32_t pixelXDimension = 0;
        std::uint16_t isoSpeedRatings = 0;
        std::uint32_t jpegInterchangeFormat = 0;
        std::uint32_t jpegInterchangeFormatLength = 0;
        TExifStringValue lightSource;
        std::string make;
        std::uint32_t makerNoteLength = 0;
        std::uint32_t makerNotePosition = 0;
        TExifRational maxApertureValue;
        TExifStringValue meteringMode;
        std::string model;
        std::uint8_t orientation = 0;
        TExifStringValue photometricInterpretation;
        std::uint16_t planarConfiguration = 0;
        std::string relatedSoundFile;
        TExifStringValue resolutionUnit;
        std::uint16_t samplesPerPixel = 0;
        TExifStringValue sensingMethod;
        TExifRational shutterSpeedValue;
        std::string software;
        TExifRational subjectDistance;
        std::string subSecTime;
        std::string subSecTimeDigitized;
        std::string subSecTimeOriginal;
        std::uint32_t imageLength = 0;
        std::uint32_t imageWidth = 0;
        std::uint8_t thumbOrientation = 0;
        TExifStringValue thumbResolutionUnit;
        TExifRational thumbXResolution;
        TExifRational thumbYResolution;
        std::vector<std::string> userComment;
        TExifRational xResolution;
        TExifRational yResolution;
    };
    Results r_;

    // The state of one directory walk.
    std::array<std::uint64_t, kMaxDirectories> ifdList_{};
    int ifdCount_ = 0; // index of the last queued directory
    bool isThm_ = false;
    std::size_t textBytesLeft_ = 0;
    // The orientation code of IFD0 as the header read takes it (ExifOrientationCode).
    std::uint32_t ifd0Orientation_ = 0;
};

} // namespace tessaly
