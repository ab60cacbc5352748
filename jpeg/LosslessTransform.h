// Turning, flipping and cutting a JPEG picture in its DCT coefficients with libjpeg-turbo's
// transform (TurboJPEG's tjTransform), so that no pixel is decoded and encoded again.
//
// A transform works on whole iMCUs (the blocks of the largest sampling: 8 or 16 pixels a
// side). A picture whose width or height is not a multiple of them ends in a partial block,
// which a flip or turn cannot move to the other side; such a transform is either refused
// (TrimsNeeded tells beforehand by how much) or done with that strip trimmed off, never
// written with the strip left untransformed.
#pragma once

#include "base/PixelGeometry.h"
#include "jpeg/OrientationTurn.h"

#include <cstdint>
#include <memory>
#include <optional>
#include <span>
#include <stdexcept>
#include <vector>

namespace tessaly {

// The picture cannot be transformed: not a JPEG the transform reads, damaged, a sampling it
// does not know, or a transform that would need a trim the caller did not allow. The
// message says which.
class LosslessError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The size of the stored picture and of its iMCU.
struct BlockLayout {
    Size size;
    int blockWidth = 8;
    int blockHeight = 8;
};

// Reads the frame header; throws LosslessError when it cannot.
BlockLayout ReadBlockLayout(std::span<const std::uint8_t> jpeg);

// An edge of the transformed picture and how many pixels a trim takes off it.
struct EdgeTrim {
    enum class Edge { Left, Right, Top, Bottom };
    Edge edge = Edge::Right;
    int pixels = 0;
    friend bool operator==(const EdgeTrim&, const EdgeTrim&) = default;
};

// The strips that `op` can only do without by trimming them, as edges of its result: none
// when the picture's partial blocks stay where they are (they always may on the right and
// bottom of the result).
std::vector<EdgeTrim> TrimsNeeded(const BlockLayout& layout, LosslessOp op);

// The area that a cut of `area` (stored coordinates, inside the picture) keeps: its left and
// top edges moved out to the iMCU grid, its right and bottom edges where they are.
Rect SnapToBlocks(const BlockLayout& layout, Rect area);

struct TransformRequest {
    LosslessOp op = LosslessOp::None;
    bool trim = false;        // trim partial blocks a flip or turn cannot move; else refuse
    std::optional<Rect> crop; // an area of the result, already snapped to the grid
    bool progressive = false; // write progressive scans instead of one baseline scan
};

// A JPEG file the transform wrote, in the buffer the library made for it.
class TransformedJpeg {
public:
    TransformedJpeg(unsigned char* bytes, std::size_t size) : bytes_(bytes), size_(size) {}
    std::span<const std::uint8_t> Bytes() const { return {bytes_.get(), size_}; }

private:
    struct Free {
        void operator()(unsigned char* bytes) const;
    };
    std::unique_ptr<unsigned char, Free> bytes_;
    std::size_t size_;
};

// The transformed picture: SOI, the frame and scans, EOI. Of the input's marker segments
// only those the library writes itself (JFIF APP0, Adobe APP14) are in it; the caller puts
// the others back. Throws LosslessError.
TransformedJpeg TransformJpeg(std::span<const std::uint8_t> jpeg, const TransformRequest& request);

} // namespace tessaly
