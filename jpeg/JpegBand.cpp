#include "jpeg/JpegBand.h"

#include <algorithm>
#include <cstring>

namespace tessaly::jpeg_detail {

namespace {

constexpr int kRst0 = 0xD0;
constexpr std::size_t kPiece = 1 << 20;

// The band's data in `out`, from `dataAt` on: read from the file piece by piece and searched
// for markers as libjpeg meets them (0xFF, any fill bytes, then a code that is not 0), each
// restart marker renumbered `shift` down. The data end before the fill bytes of the marker
// that ends the band: the restart marker before the interval `intervals` on (0: the marker
// after the scan's data, which is no restart marker). False when another marker comes
// first, or the data end before that marker.
bool CopyData(const Input& input, std::uint64_t from, std::uint64_t to, std::uint64_t intervals,
              int shift, std::vector<std::uint8_t>& out, std::size_t dataAt) {
    std::uint64_t at = from;
    std::uint64_t restarts = 0;
    std::size_t scan = dataAt; // the next byte of `out` to search
    for (;;) {
        while (scan < out.size()) {
            const void* ff = std::memchr(out.data() + scan, 0xFF, out.size() - scan);
            if (ff == nullptr) {
                scan = out.size();
                break;
            }
            const auto marker =
                static_cast<std::size_t>(static_cast<const std::uint8_t*>(ff) - out.data());
            std::size_t code = marker + 1;
            while (code < out.size() && out[code] == 0xFF)
                ++code;
            if (code == out.size()) {
                scan = marker; // its code comes with the next piece
                break;
            }
            scan = code + 1;
            const int value = out[code];
            if (value == 0)
                continue; // a stuffed 0xFF data byte
            const bool restart = value >= kRst0 && value <= kRst0 + 7;
            if (restart && (intervals == 0 || restarts + 1 < intervals)) {
                out[code] = static_cast<std::uint8_t>(kRst0 + ((value - kRst0 - shift) & 7));
                ++restarts;
                continue;
            }
            if (restart != (intervals != 0))
                return false;
            out.resize(marker);
            return true;
        }
        const std::uint64_t left = to - at;
        if (left == 0)
            return false;
        const std::size_t start = out.size();
        const auto want = static_cast<std::size_t>(std::min<std::uint64_t>(left, kPiece));
        out.resize(start + want);
        const std::size_t got = input.Read(at, out.data() + start, want);
        out.resize(start + got);
        if (got == 0)
            return false;
        at += got;
    }
}

} // namespace

std::optional<JpegBand> CutBand(const Input& input, const RestartIndex& index, int pictureHeight,
                                int top, int bottom) {
    const std::vector<RestartRow>& rows = index.rows;
    const int rowHeight = 8 * index.maxV;
    if (rows.empty() || rows.front().row != 0 || top < 0 || bottom <= top ||
        bottom > pictureHeight || rowHeight <= 0)
        return std::nullopt;
    const auto byRow = [](int row, const RestartRow& r) { return row < r.row; };
    // The last row beginning an interval at or above the first row of iMCUs wanted, and the
    // first one below the last.
    const auto from = std::upper_bound(rows.begin(), rows.end(), top / rowHeight, byRow) - 1;
    const auto to = std::upper_bound(rows.begin(), rows.end(), (bottom - 1) / rowHeight, byRow);
    if (from == rows.begin() && to == rows.end())
        return std::nullopt;
    JpegBand band;
    band.top = from->row * rowHeight;
    band.height = (to == rows.end() ? pictureHeight : to->row * rowHeight) - band.top;
    band.bytes = index.header;
    if (index.heightAt + 2 > band.bytes.size())
        return std::nullopt;
    band.bytes[index.heightAt] = static_cast<std::uint8_t>(band.height >> 8);
    band.bytes[index.heightAt + 1] = static_cast<std::uint8_t>(band.height);
    const std::size_t dataAt = band.bytes.size();
    const std::uint64_t end = to == rows.end() ? UINT64_MAX : to->offset;
    const std::uint64_t intervals = to == rows.end() ? 0 : to->interval - from->interval;
    if (!CopyData(input, from->offset, end, intervals, static_cast<int>(from->interval % 8),
                  band.bytes, dataAt))
        return std::nullopt;
    band.bytes.push_back(0xFF);
    band.bytes.push_back(0xD9);
    return band;
}

} // namespace tessaly::jpeg_detail
