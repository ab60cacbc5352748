#include "jpeg/LosslessEdit.h"

#include "base/Descriptor.h"
#include "base/FileReplace.h"
#include "base/RegularFile.h"
#include "jpeg/JpegBand.h"
#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegHeader.h"
#include "jpeg/JpegInput.h"
#include "jpeg/JpegRestartIndex.h"
#include "jpeg/JpegWriter.h"
#include "jpegfile/ExifEdit.h"
#include "jpegfile/ExifOrientation.h"
#include "jpegfile/JpegSegments.h"
#include "jpegfile/MpfIndex.h"
#include "jpegfile/QuantTables.h"
#include "picture/PictureLimit.h"
#include "picture/UprightPixels.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <functional>
#include <optional>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace {

using Bytes = std::vector<std::uint8_t>;

// What makes a file the one that was read: a file replaced, or written since, differs.
struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    off_t size = 0;
    timespec modified{};

    static FileIdentity Of(const struct stat& st) {
        return {st.st_dev, st.st_ino, st.st_size, st.st_mtim};
    }
    bool operator==(const FileIdentity& other) const {
        return device == other.device && inode == other.inode && size == other.size &&
               modified.tv_sec == other.modified.tv_sec &&
               modified.tv_nsec == other.modified.tv_nsec;
    }
};

FileIdentity IdentityOf(const RegularFile& file) {
    struct stat st {};
    if (::fstat(file.Descriptor(), &st) != 0)
        throw FileReadError("ファイル " + file.Path() + " を読めません");
    return FileIdentity::Of(st);
}

// Throws unless `path` still names the file that was read, unchanged.
void CheckUnchanged(const std::string& path, const FileIdentity& read) {
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !(FileIdentity::Of(st) == read))
        throw LosslessError("ファイル " + path + " は読み込んだ後に変更されました");
}

// The whole file, read rather than mapped: a file cut short by another program while it is
// transformed must not end this one (a mapped page beyond the end would).
class SourceBytes {
public:
    explicit SourceBytes(const RegularFile& file) : bytes_(file.ReadAll(kMaxSourceBytes)) {
        if (bytes_.empty())
            throw LosslessError("ファイル " + file.Path() + " は空です");
    }
    std::span<const std::uint8_t> Bytes() const { return bytes_; }

private:
    // Far above the file of the largest picture the program takes.
    static constexpr std::uint64_t kMaxSourceBytes = std::uint64_t{4} << 30;
    std::vector<std::uint8_t> bytes_;
};

bool StartsWith(std::span<const std::uint8_t> data, std::string_view id) {
    return data.size() >= id.size() && std::memcmp(data.data(), id.data(), id.size()) == 0;
}

bool IsProgressiveFrame(std::uint8_t marker) {
    return marker == 0xC2 || marker == 0xC6 || marker == 0xCA || marker == 0xCE;
}

bool IsFrameHeader(std::uint8_t marker) {
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

struct Segment {
    std::uint8_t marker = 0;
    Bytes data;
};

// The marker segments before the frame header, with their data, and the kind of frame.
struct Head {
    std::vector<Segment> segments;
    bool progressive = false;
    // The first EXIF block among the segments.
    std::optional<std::size_t> exif;
    std::uint64_t exifOffset = 0; // where its data lie in the file
    std::uint64_t frameAt = 0;    // where the frame header begins

    const Bytes* Exif() const { return exif ? &segments[*exif].data : nullptr; }
};

// Reads the file's head; throws unless it is a JPEG whose segments all lie before a frame
// header. `multiPicture` refuses a file with a multi-picture index of more pictures.
Head ReadHead(const RegularFile& file, bool refuseMultiPicture) {
    std::array<std::uint8_t, 2> soi{};
    if (file.ReadAt(0, soi.data(), 2) != 2 || soi[0] != 0xFF || soi[1] != 0xD8)
        throw LosslessError("ファイル " + file.Path() + " は JPEG ファイルではありません");
    Head head;
    std::uint64_t end = 2;
    for (const JpegSegment& segment : ListJpegSegments(file)) {
        Segment read{segment.marker, ReadSegmentData(file, segment)};
        if (read.data.size() != segment.size)
            throw LosslessError("ファイル " + file.Path() + " は途中で切れています");
        if (read.marker == 0xE2 && StartsWith(read.data, std::string_view("MPF\0", 4)) &&
            refuseMultiPicture && ReadMpEntries(std::span(read.data).subspan(4)).size() != 1)
            throw LosslessError(
                "ファイル " + file.Path() +
                " は別の画像 (ゲインマップ、深度マップ、プレビューなど) を含むため、"
                "画素を回転したり切り抜いたりできません");
        if (!head.exif && read.marker == 0xE1 && IsExifData(read.data)) {
            head.exif = head.segments.size();
            head.exifOffset = segment.offset;
        }
        head.segments.push_back(std::move(read));
        end = segment.offset + segment.size;
    }
    // The walk must have stopped at the frame header, not at its bound or at bytes that are
    // no marker, or segments after it would be lost.
    std::array<std::uint8_t, 8> next{};
    const std::size_t got = file.ReadAt(end, next.data(), next.size());
    std::size_t code = 1;
    while (code < got && next[code] == 0xFF)
        ++code;
    if (got < 2 || next[0] != 0xFF || code >= got || !IsFrameHeader(next[code]))
        throw LosslessError("ファイル " + file.Path() + " のマーカーを読み切れません");
    head.progressive = IsProgressiveFrame(next[code]);
    head.frameAt = end;
    return head;
}

Orientation OrientationOf(const Head& head) {
    return OrientationFromCode(head.Exif() ? ExifPayloadOrientationCode(*head.Exif()) : 1);
}

Bytes SegmentHeader(std::uint8_t marker, std::size_t size) {
    if (size > kMaxSegmentData)
        throw LosslessError("マーカーが大きすぎます");
    const std::size_t length = size + 2;
    return {0xFF, marker, static_cast<std::uint8_t>(length >> 8),
            static_cast<std::uint8_t>(length)};
}

// Copies `count` bytes of the file from `offset` to the sink, piece by piece.
void CopyRange(const RegularFile& file, std::uint64_t offset, std::uint64_t count,
               const ContentSink& sink) {
    Bytes piece(static_cast<std::size_t>(std::min<std::uint64_t>(count, 1 << 20)));
    while (count > 0) {
        const auto take = static_cast<std::size_t>(std::min<std::uint64_t>(count, piece.size()));
        if (file.ReadAt(offset, piece.data(), take) != take)
            throw LosslessError("ファイル " + file.Path() + " は読み込み中に短くなりました");
        sink(std::span(piece).first(take));
        offset += take;
        count -= take;
    }
}

// Writes the orientation tag into the file: its two bytes in place when the tag is there
// as a SHORT, else the whole file anew with the EXIF block changed or added.
void WriteOrientation(const RegularFile& file, const FileIdentity& identity, const Head& head,
                      Orientation orientation) {
    const auto code = static_cast<std::uint16_t>(orientation);
    const std::string& path = file.Path();
    const Bytes* exif = head.Exif();
    if (const std::optional<std::size_t> at = exif ? OrientationValueOffset(*exif) : std::nullopt) {
        const std::array<std::uint8_t, 2> value = ShortBytes(*exif, code);
        Descriptor out(::open(path.c_str(), O_WRONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK));
        struct stat st {};
        // A read-only file stays as it is whoever turns it, as WriteFileReplacing keeps it.
        if (out.get() < 0 || ::fstat(out.get(), &st) != 0 ||
            (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0)
            throw FileCreateError(path);
        if (!(FileIdentity::Of(st) == identity))
            throw LosslessError("ファイル " + path + " は読み込んだ後に変更されました");
        const auto offset = static_cast<off_t>(head.exifOffset + *at);
        if (::pwrite(out.get(), value.data(), value.size(), offset) != 2 ||
            ::fdatasync(out.get()) != 0 || !out.Close())
            throw FileCreateError(path);
        return;
    }
    const std::optional<Bytes> changed =
        exif ? WithOrientation(*exif, code) : MinimalExifData(code);
    if (!changed)
        throw LosslessError("ファイル " + path + " の EXIF を書き換えられません");
    // Replaced where it was, or put after the start of image and a JFIF APP0 right after it.
    std::uint64_t from = 2, to = 2;
    if (exif) {
        from = head.exifOffset - 4;
        to = head.exifOffset + exif->size();
    } else if (!head.segments.empty() && head.segments.front().marker == 0xE0 &&
               StartsWith(head.segments.front().data, std::string_view("JFIF\0", 5))) {
        from = to = 2 + 4 + head.segments.front().data.size();
    }
    const Bytes header = SegmentHeader(0xE1, changed->size());
    const std::uint64_t size = file.Size() - (to - from) + header.size() + changed->size();
    WriteFileReplacing(path, size, [&](const ContentSink& sink) {
        CopyRange(file, 0, from, sink);
        sink(header);
        sink(*changed);
        CopyRange(file, to, file.Size() - to, sink);
        CheckUnchanged(path, identity);
    });
}

// Where the marker segments the encoder wrote itself end, and which they were.
struct EncoderHead {
    std::size_t end = 2;
    bool jfif = false;
    bool adobe = false;
};

EncoderHead ReadEncoderHead(std::span<const std::uint8_t> jpeg) {
    EncoderHead head;
    while (head.end + 4 <= jpeg.size() && jpeg[head.end] == 0xFF) {
        const std::uint8_t marker = jpeg[head.end + 1];
        const std::size_t length = std::size_t{jpeg[head.end + 2]} << 8 | jpeg[head.end + 3];
        if (length < 2 || length > jpeg.size() - head.end - 2)
            break;
        const std::span<const std::uint8_t> data = jpeg.subspan(head.end + 4, length - 2);
        if (marker == 0xE0 && StartsWith(data, std::string_view("JFIF\0", 5)))
            head.jfif = true;
        else if (marker == 0xEE && StartsWith(data, "Adobe"))
            head.adobe = true;
        else
            break;
        head.end += 2 + length;
    }
    return head;
}

// The source's segments that go into the transformed file: application segments and
// comments, less what the encoder wrote itself and what would no longer be true (a JFIF
// extension thumbnail, a multi-picture index of the primary picture alone, and for a picture
// encoded anew an Adobe segment, which tells how the old one stored its colours). The EXIF
// block is the one given.
std::vector<const Segment*> KeptSegments(const Head& head, const EncoderHead& encoder,
                                         bool encodedAnew) {
    std::vector<const Segment*> kept;
    for (const Segment& segment : head.segments) {
        const std::uint8_t marker = segment.marker;
        if ((marker < 0xE0 || marker > 0xEF) && marker != 0xFE)
            continue;
        const std::span<const std::uint8_t> data = segment.data;
        if (marker == 0xE0 && ((encoder.jfif && StartsWith(data, std::string_view("JFIF\0", 5))) ||
                               StartsWith(data, std::string_view("JFXX\0", 5))))
            continue;
        if (marker == 0xEE && (encoder.adobe || encodedAnew) && StartsWith(data, "Adobe"))
            continue;
        if (marker == 0xE2 && StartsWith(data, std::string_view("MPF\0", 4)))
            continue;
        kept.push_back(&segment);
    }
    return kept;
}

// Writes the transformed (or `encodedAnew`) picture with the source's segments to `path`;
// `beforeReplace` runs once the content is written, before it replaces what `path` held.
void WriteTransformed(const std::string& path, std::span<const std::uint8_t> encoded,
                      const Head& head, const Bytes* exif,
                      const std::function<void()>& beforeReplace, bool encodedAnew = false) {
    const EncoderHead encoder = ReadEncoderHead(encoded);
    std::vector<std::pair<Bytes, const Bytes*>> parts;
    std::uint64_t size = encoded.size();
    for (const Segment* segment : KeptSegments(head, encoder, encodedAnew)) {
        const Bytes* data = head.Exif() == &segment->data && exif ? exif : &segment->data;
        parts.emplace_back(SegmentHeader(segment->marker, data->size()), data);
        size += 4 + data->size();
    }
    WriteFileReplacing(path, size, [&](const ContentSink& sink) {
        sink(encoded.first(encoder.end));
        for (const auto& [header, data] : parts) {
            sink(header);
            sink(*data);
        }
        sink(encoded.subspan(encoder.end));
        if (beforeReplace)
            beforeReplace();
    });
}

Size SizeOf(std::span<const std::uint8_t> jpeg) {
    return ReadBlockLayout(jpeg).size;
}

// The EXIF block of a baked picture: orientation 1, the pixel sizes of the new picture, the
// thumbnail turned as the picture was (dropped when it cannot be).
Bytes BakedExif(const Bytes& exif, LosslessOp op, Size before, Size after) {
    Bytes result = exif;
    if (ExifPayloadOrientationCode(exif) != 0) {
        if (std::optional<Bytes> upright = WithOrientation(exif, 1))
            result = std::move(*upright);
    }
    if (const std::optional<PixelDimensions> pixels = ReadPixelDimensions(result)) {
        const auto width = static_cast<std::uint32_t>(after.width);
        const auto height = static_cast<std::uint32_t>(after.height);
        const bool exact = pixels->width == static_cast<std::uint32_t>(before.width) &&
                           pixels->height == static_cast<std::uint32_t>(before.height);
        if (exact)
            SetPixelDimensions(result, {width, height});
        else if (SwapsSides(op))
            SetPixelDimensions(result, {pixels->height, pixels->width});
    }
    if (const std::optional<std::span<const std::uint8_t>> thumbnail = ExifThumbnailBytes(result)) {
        std::optional<Bytes> turned;
        try {
            const TransformedJpeg small = TransformJpeg(*thumbnail, {.op = op, .trim = true});
            turned = WithThumbnail(result, small.Bytes());
        } catch (const LosslessError&) {
        }
        result = turned ? std::move(*turned) : WithoutThumbnail(result);
    }
    return result;
}

Size UprightSize(Size stored, Orientation orientation) {
    return SwapsSides(orientation) ? Size{stored.height, stored.width} : stored;
}

// The quality the file's luminance table (slot 0, as the common encoders store it) shows.
int QualityOf(const Head& head, const std::string& path) {
    for (const Segment& segment : head.segments)
        if (segment.marker == 0xDB)
            if (const std::optional<QuantTable> luminance = QuantTableIn(segment.data, 0))
                return EstimateQuality(*luminance);
    throw LosslessError("ファイル " + path + " の圧縮品質を読み取れません");
}

// The layout of the file's picture as it shows in `target`: its luminance sampling against
// its colour's (across and down swapped when the picture turns a quarter), grey or colour,
// progressive or not.
JpegLayout EncodingLayoutOf(const JpegInfo& info, Orientation target) {
    JpegLayout layout{
        .lumaH = 1, .lumaV = 1, .grey = info.grayscale, .progressive = info.progressive};
    const JpegInfo::Sampling luma = info.sampling[0];
    const JpegInfo::Sampling colour = info.sampling[1];
    if (info.ycc && colour == info.sampling[2] && colour.h > 0 && colour.v > 0 &&
        luma.h % colour.h == 0 && luma.v % colour.v == 0) {
        layout.lumaH = std::clamp(luma.h / colour.h, 1, 4);
        layout.lumaV = std::clamp(luma.v / colour.v, 1, 4);
    }
    if (SwapsSides(target))
        std::swap(layout.lumaH, layout.lumaV);
    return layout;
}

// The picture decoded, shown as `target` shows it and encoded again at `quality`.
std::vector<std::uint8_t> EncodedTurned(std::span<const std::uint8_t> source,
                                        const std::string& path, Orientation target, int quality) {
    try {
        const JpegInfo info = ReadJpegHeader(source);
        if (info.cmyk)
            throw LosslessError("ファイル " + path + " は CMYK のため再圧縮できません");
        CheckDecodable(info);
        JpegWriter writer(TurnUpright(DecodeFlawlessJpegScaled(source, info, 8), target));
        writer.SetLayout(EncodingLayoutOf(info, target));
        writer.SetCompressionQuality(static_cast<std::uint8_t>(quality));
        writer.Compress();
        return writer.Stream();
    } catch (const JpegError& e) {
        throw LosslessError("ファイル " + path + " を再圧縮できません: " + e.what());
    }
}

} // namespace

Orientation TurnByTag(const std::string& path, Turn turn) {
    const RegularFile file(path);
    const FileIdentity identity = IdentityOf(file);
    const Head head = ReadHead(file, false);
    const Orientation turned = Turned(OrientationOf(head), turn);
    if (turn != Turn::None)
        WriteOrientation(file, identity, head, turned);
    return turned;
}

BakeResult Bake(const std::string& path, Turn turn, TrimPolicy trim,
                const std::function<void()>& afterRead) {
    const RegularFile file(path);
    const FileIdentity identity = IdentityOf(file);
    const Head head = ReadHead(file, true);
    const Orientation orientation = OrientationOf(head);
    const Orientation target = Turned(orientation, turn);
    const LosslessOp op = UprightOp(target);
    const SourceBytes source(file);
    const BlockLayout layout = ReadBlockLayout(source.Bytes());
    BakeResult result;
    result.size = UprightSize(layout.size, orientation);
    if (op == LosslessOp::None) {
        // The stored picture already looks as it should: only the tag may need to say so.
        if (orientation != Orientation::AsStored) {
            WriteOrientation(file, identity, head, Orientation::AsStored);
            result.written = true;
        }
        return result;
    }
    result.trims = TrimsNeeded(layout, op);
    if (!result.trims.empty() && trim == TrimPolicy::Refuse)
        return result;
    // Turned in its blocks, or, when that needs a trim and the user chose a second
    // generation of loss instead, decoded, turned and encoded anew.
    const bool encodeAnew = !result.trims.empty() && trim == TrimPolicy::Reencode;
    std::optional<TransformedJpeg> baked;
    std::vector<std::uint8_t> reencoded;
    if (encodeAnew) {
        result.quality = QualityOf(head, path);
        reencoded = EncodedTurned(source.Bytes(), path, target, result.quality);
        result.trims.clear();
    } else {
        baked = TransformJpeg(
            source.Bytes(),
            {.op = op, .trim = trim == TrimPolicy::Trim, .progressive = head.progressive});
    }
    const std::span<const std::uint8_t> encoded =
        baked ? baked->Bytes() : std::span<const std::uint8_t>(reencoded);
    const Size after = SizeOf(encoded);
    if (afterRead)
        afterRead();
    std::optional<Bytes> exif;
    if (head.Exif())
        exif = BakedExif(*head.Exif(), op, layout.size, after);
    WriteTransformed(
        path, encoded, head, exif ? &*exif : nullptr, [&] { CheckUnchanged(path, identity); },
        encodeAnew);
    result.written = true;
    result.size = after;
    return result;
}

namespace {

// The stored area a crop of `upright` (cut to the picture) keeps, snapped to the block grid.
Rect StoredCrop(const BlockLayout& layout, const UprightMapping& mapping, Rect upright) {
    const Size shown = mapping.Upright();
    const long left = std::max<long>(upright.left, 0);
    const long top = std::max<long>(upright.top, 0);
    const long right = std::min<long>(long{upright.left} + upright.width, shown.width);
    const long bottom = std::min<long>(long{upright.top} + upright.height, shown.height);
    if (upright.width <= 0 || upright.height <= 0 || right <= left || bottom <= top)
        throw LosslessError("切り抜く範囲が画像の外です");
    const Rect inside{static_cast<int>(left), static_cast<int>(top), static_cast<int>(right - left),
                      static_cast<int>(bottom - top)};
    return SnapToBlocks(layout, mapping.ToStored(inside));
}

// The picture's layout, read from the file's head up to a little past its frame header
// (the tables and the scan header that follow it), or from the whole file when the scan
// header lies further on.
BlockLayout LayoutOf(const RegularFile& file, const Head& head) {
    constexpr std::uint64_t kAfterFrame = 256 * 1024;
    Bytes start(static_cast<std::size_t>(std::min(file.Size(), head.frameAt + kAfterFrame)));
    start.resize(file.ReadAt(0, start.data(), start.size()));
    try {
        return ReadBlockLayout(start);
    } catch (const LosslessError&) {
        return ReadBlockLayout(SourceBytes(file).Bytes());
    }
}

// The cut of `stored` read from the band of the picture's rows that holds it, when the file
// is a baseline one whose restart markers begin rows of iMCUs around the area: only the
// band's data are read and decoded, not the whole picture's. Nothing when the file is not
// of that kind or the band would be the whole picture, or when libjpeg does not read the
// band without a warning or does not give the area's size: the caller cuts from the whole
// file then, so a file is never written from a band that did not read cleanly.
std::optional<TransformedJpeg> CutFromBand(const RegularFile& file, Rect stored) {
    const jpeg_detail::Input input(file);
    JpegInfo info;
    try {
        info = ReadJpegHeader(file);
    } catch (const JpegError&) {
        return std::nullopt;
    }
    // A picture too large for the program is refused as the whole file's cut refuses it.
    if (ExceedsPictureLimit(static_cast<std::uint64_t>(info.width),
                            static_cast<std::uint64_t>(info.height)))
        return std::nullopt;
    const std::optional<jpeg_detail::RestartIndex> index = jpeg_detail::IndexRestarts(input, info);
    if (!index)
        return std::nullopt;
    const std::optional<jpeg_detail::JpegBand> band =
        jpeg_detail::CutBand(input, *index, info.height, stored.top, stored.top + stored.height);
    if (!band)
        return std::nullopt;
    try {
        TransformedJpeg cut = TransformJpeg(
            band->bytes,
            {.crop = Rect{stored.left, stored.top - band->top, stored.width, stored.height}});
        if (SizeOf(cut.Bytes()) == Size{stored.width, stored.height})
            return cut;
    } catch (const LosslessError&) {
    }
    return std::nullopt;
}

// The cut of `stored` (snapped to the block grid): from a band of the picture when the file
// allows it, else from the whole file.
TransformedJpeg CutOf(const RegularFile& file, const Head& head, Rect stored) {
    if (!head.progressive)
        if (std::optional<TransformedJpeg> cut = CutFromBand(file, stored))
            return std::move(*cut);
    const SourceBytes source(file);
    return TransformJpeg(source.Bytes(), {.crop = stored, .progressive = head.progressive});
}

} // namespace

Rect CroppedArea(const std::string& path, Rect upright) {
    const RegularFile file(path);
    const Head head = ReadHead(file, true);
    const BlockLayout layout = LayoutOf(file, head);
    const UprightMapping mapping(OrientationOf(head), layout.size);
    return mapping.ToUpright(StoredCrop(layout, mapping, upright));
}

Rect CropToFile(const std::string& path, Rect upright, const std::string& outPath,
                bool replaceExisting) {
    namespace fs = std::filesystem;
    std::error_code ec;
    if (fs::path(path).lexically_normal() == fs::path(outPath).lexically_normal() ||
        fs::equivalent(path, outPath, ec))
        throw LosslessError("切り抜きを元のファイル " + path + " に保存することはできません");
    const RegularFile file(path);
    const Head head = ReadHead(file, true);
    const BlockLayout layout = LayoutOf(file, head);
    const UprightMapping mapping(OrientationOf(head), layout.size);
    const Rect stored = StoredCrop(layout, mapping, upright);
    const TransformedJpeg cut = CutOf(file, head, stored);
    std::optional<Bytes> exif;
    if (head.Exif()) {
        exif = WithoutThumbnail(*head.Exif());
        SetPixelDimensions(*exif, {static_cast<std::uint32_t>(stored.width),
                                   static_cast<std::uint32_t>(stored.height)});
    }
    // A new file's name is taken first, so that a file made there meanwhile is not replaced;
    // it goes again when the crop cannot be written.
    bool reserved = false;
    if (!replaceExisting) {
        Descriptor name(::open(outPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666));
        if (name.get() < 0) {
            if (errno == EEXIST)
                throw LosslessError("ファイル " + outPath + " は既にあります");
            throw FileCreateError(outPath);
        }
        reserved = true;
    }
    try {
        WriteTransformed(outPath, cut.Bytes(), head, exif ? &*exif : nullptr, {});
    } catch (...) {
        if (reserved)
            ::unlink(outPath.c_str());
        throw;
    }
    return mapping.ToUpright(stored);
}

} // namespace tessaly
