// Decoding a JPEG file in stripes on several threads at once, byte for byte as the decode
// in one piece (DecodeJpegScaled, DecodeJpegToKeep) gives it.
//
// A baseline file (Huffman-coded, one scan) with restart markers starts its entropy-coded
// data afresh at each marker. Where a restart interval begins at the top of a row of iMCUs
// (the rows of MCUs libjpeg decodes at once), a stripe of such rows can be decoded on its
// own: libjpeg reads the file's marker segments with the frame's height set to the
// stripe's, then the file's data from that interval on, straight from the file, its restart
// markers renumbered on the way. Where the chroma upsampling at the chosen scale reaches
// across rows (libjpeg's triangle filter for 4:2:0 at full size, for 4:4:0 from 2/8 on),
// each stripe also decodes the iMCU rows next to it and drops them, so its rows are those
// of the whole decode.
//
// Files of any other kind (no restart markers, progressive, arithmetic-coded, CMYK or YCCK)
// and files whose markers are not exactly as libjpeg reads them without recovering from
// damage (a restart marker missing or out of turn, the data ending before the last one)
// get no plan and are decoded in one piece. Damage inside a restart interval decodes in a
// stripe as in the whole file, since libjpeg reads the same bytes from the same state.
#pragma once

#include "base/RegularFile.h"
#include "jpeg/JpegDecoder.h"
#include "picture/Bitmap.h"
#include "picture/DecodedPicture.h"
#include "picture/YccPlanes.h"

#include <array>
#include <atomic>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace tessaly {

namespace jpeg_detail {
struct StripeJob;
} // namespace jpeg_detail

class JpegStripes {
public:
    // A plan for the picture at scale eighths/8 (1 to 8) as 24-bit pixels, as
    // DecodeJpegScaled gives it, in at most `stripes` stripes of about equal height; nothing
    // when the file cannot be decoded in at least two. `info` is the file's header as
    // ReadJpegHeader gave it. Reads the file's marker segments and searches its data for
    // the restart markers. Throws JpegTooLarge for a picture above the decode limits and
    // FileReadError when the file cannot be read. The file, or the bytes, must outlive the
    // plan.
    static std::optional<JpegStripes> Scaled(const RegularFile& file, const JpegInfo& info,
                                             int eighths, int stripes);
    static std::optional<JpegStripes> Scaled(std::span<const std::uint8_t> data,
                                             const JpegInfo& info, int eighths, int stripes);
    // A plan for the full picture as DecodeJpegToKeep keeps it: planes when YccPlanes suits
    // the header, else 24-bit pixels.
    static std::optional<JpegStripes> ToKeep(const RegularFile& file, const JpegInfo& info,
                                             int stripes);
    static std::optional<JpegStripes> ToKeep(std::span<const std::uint8_t> data,
                                             const JpegInfo& info, int stripes);

    int Count() const { return static_cast<int>(stripes_.size()); }
    bool MakesPlanes() const { return eighths_ == 0; }
    // The picture the stripes are decoded into, its pixels unset: a bitmap at the plan's
    // scale, or (MakesPlanes) planes.
    Bitmap NewBitmap() const;
    YccPlanes NewPlanes() const;

    // Decodes stripe i (0 to Count() - 1) into its rows of `out`, made by NewBitmap or
    // NewPlanes. Different stripes may be decoded at once on different threads into the same
    // picture. Throws JpegDecodeStopped soon after `stop` is raised, FileReadError when the
    // file cannot be read, and JpegError when the stripe cannot be decoded as planned (the
    // file changed, or libjpeg refused it): the picture is then to be decoded in one piece.
    void Decode(int stripe, Bitmap& out, const std::atomic<bool>* stop = nullptr) const;
    void Decode(int stripe, YccPlanes& out, const std::atomic<bool>* stop = nullptr) const;

private:
    struct Stripe {
        int first; // the iMCU rows the stripe gives, [first, end)
        int end;
        int from; // the iMCU rows it decodes, [from, to): its own and its neighbours'
        int to;
        std::uint64_t offset;   // where the data of row `from` begin in the file
        std::uint32_t interval; // the restart interval that begins there
    };

    JpegStripes() = default;
    static std::optional<JpegStripes> Make(const RegularFile* file,
                                           std::span<const std::uint8_t> memory,
                                           const JpegInfo& info, int eighths, int stripes);

    // The stripe's rows of the output at the plan's scale: the first of the stripe picture
    // (row `from`), and the first and end of those it gives.
    struct OutputRows {
        int top;
        int first;
        int end;
    };
    OutputRows RowsOf(const Stripe& stripe) const;
    // Rows of the stripe picture, as its frame header says.
    int PictureHeight(const Stripe& stripe) const;
    // Fills in the stream and the stripe picture of `job` and decodes it.
    void Run(const Stripe& stripe, jpeg_detail::StripeJob& job,
             const std::atomic<bool>* stop) const;

    const RegularFile* file_ = nullptr;
    std::span<const std::uint8_t> memory_;
    int width_ = 0;
    int height_ = 0;
    int eighths_ = 8; // 0: planes
    YccPlanes::Layout layout_ = YccPlanes::Layout::Grey;
    // The marker segments libjpeg reads before the data, and where the frame's height is.
    std::vector<std::uint8_t> header_;
    std::size_t heightAt_ = 0;
    unsigned restartInterval_ = 0;
    int maxV_ = 1;
    std::array<int, 3> v_{};
    int iMcuRows_ = 0;
    std::vector<Stripe> stripes_;
};

// Pictures below this many pixels decode in one piece about as fast as in stripes.
inline constexpr std::uint64_t kStripedDecodeMinPixels = std::uint64_t{4} << 20;

// Whether DecodeJpegScaledInStripes and DecodeJpegToKeepInStripes would plan stripes for a
// file of this header on `threads` threads: a large enough baseline file with restart
// markers (its plan may still find the markers other than libjpeg reads them).
bool MayDecodeInStripes(const JpegInfo& info, int threads);

// The picture at scale eighths/8 as DecodeJpegScaled gives it, decoded in stripes on
// `threads` threads (the calling thread one of them) when the file allows it and has at
// least kStripedDecodeMinPixels, else, and when a stripe fails, in one piece. The same
// limits, errors and notes as DecodeJpegScaled (a file decoded in stripes has every restart
// marker in turn with nothing between, so no bound cuts its data).
Bitmap DecodeJpegScaledInStripes(const RegularFile& file, const JpegInfo& info, int eighths,
                                 int threads, const std::atomic<bool>* stop = nullptr,
                                 DecodeNotes* notes = nullptr);
// The full picture as DecodeJpegToKeep keeps it, likewise.
DecodedPicture DecodeJpegToKeepInStripes(const RegularFile& file, const JpegInfo& info, int threads,
                                         const std::atomic<bool>* stop = nullptr,
                                         DecodeNotes* notes = nullptr);

} // namespace tessaly
