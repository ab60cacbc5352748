#include "jpeg/LosslessTransform.h"

#include "picture/PictureLimit.h"

#include <memory>
#include <string>
#include <turbojpeg.h>

namespace tessaly {
namespace {

struct HandleCloser {
    void operator()(void* handle) const { tjDestroy(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

Handle OpenTransformer() {
    Handle handle(tjInitTransform());
    if (!handle)
        throw LosslessError("libjpeg-turbo の変換を開始できません");
    return handle;
}

[[noreturn]] void Fail(void* handle, const char* what) {
    throw LosslessError(std::string(what) + ": " + tjGetErrorStr2(handle));
}

int TransformOp(LosslessOp op) {
    switch (op) {
    case LosslessOp::None:
        return TJXOP_NONE;
    case LosslessOp::FlipLeftRight:
        return TJXOP_HFLIP;
    case LosslessOp::FlipTopBottom:
        return TJXOP_VFLIP;
    case LosslessOp::Transpose:
        return TJXOP_TRANSPOSE;
    case LosslessOp::Transverse:
        return TJXOP_TRANSVERSE;
    case LosslessOp::QuarterClockwise:
        return TJXOP_ROT90;
    case LosslessOp::HalfTurn:
        return TJXOP_ROT180;
    case LosslessOp::QuarterAnticlockwise:
        return TJXOP_ROT270;
    }
    return TJXOP_NONE;
}

// Where a stored edge ends up in the result: the right edge (x) or the bottom edge (y).
EdgeTrim::Edge ResultEdge(LosslessOp op, bool storedRight) {
    using E = EdgeTrim::Edge;
    switch (op) {
    case LosslessOp::None:
        break;
    case LosslessOp::FlipLeftRight:
        return storedRight ? E::Left : E::Bottom;
    case LosslessOp::FlipTopBottom:
        return storedRight ? E::Right : E::Top;
    case LosslessOp::Transpose:
        return storedRight ? E::Bottom : E::Right;
    case LosslessOp::Transverse:
        return storedRight ? E::Top : E::Left;
    case LosslessOp::QuarterClockwise:
        return storedRight ? E::Bottom : E::Left;
    case LosslessOp::HalfTurn:
        return storedRight ? E::Left : E::Top;
    case LosslessOp::QuarterAnticlockwise:
        return storedRight ? E::Top : E::Right;
    }
    return storedRight ? E::Right : E::Bottom;
}

} // namespace

BlockLayout ReadBlockLayout(std::span<const std::uint8_t> jpeg) {
    const Handle handle = OpenTransformer();
    int width = 0, height = 0, sampling = 0, colours = 0;
    if (tjDecompressHeader3(handle.get(), jpeg.data(), jpeg.size(), &width, &height, &sampling,
                            &colours) != 0)
        Fail(handle.get(), "JPEG のヘッダーを読めません");
    if (sampling < 0 || sampling >= TJ_NUMSAMP)
        throw LosslessError("この JPEG のサンプリングは無劣化で変換できません");
    return {{width, height}, tjMCUWidth[sampling], tjMCUHeight[sampling]};
}

std::vector<EdgeTrim> TrimsNeeded(const BlockLayout& layout, LosslessOp op) {
    const int right = layout.size.width % layout.blockWidth;
    const int bottom = layout.size.height % layout.blockHeight;
    std::vector<EdgeTrim> trims;
    // A partial block on a stored edge can stay only where the result keeps it on its own
    // right or bottom edge.
    const auto add = [&](int pixels, bool storedRight) {
        const EdgeTrim::Edge edge = ResultEdge(op, storedRight);
        if (pixels != 0 && edge != EdgeTrim::Edge::Right && edge != EdgeTrim::Edge::Bottom)
            trims.push_back({edge, pixels});
    };
    add(right, true);
    add(bottom, false);
    return trims;
}

Rect SnapToBlocks(const BlockLayout& layout, Rect area) {
    const int dx = area.left % layout.blockWidth;
    const int dy = area.top % layout.blockHeight;
    return {area.left - dx, area.top - dy, area.width + dx, area.height + dy};
}

void TransformedJpeg::Free::operator()(unsigned char* bytes) const {
    tjFree(bytes);
}

TransformedJpeg TransformJpeg(std::span<const std::uint8_t> jpeg, const TransformRequest& request) {
    const BlockLayout layout = ReadBlockLayout(jpeg);
    if (ExceedsPictureLimit(static_cast<std::uint64_t>(layout.size.width),
                            static_cast<std::uint64_t>(layout.size.height)))
        throw LosslessError("画像が大きすぎます");
    if (!request.trim && !TrimsNeeded(layout, request.op).empty())
        throw LosslessError("画像の端に半端なブロックがあるため、切り落とさずには回転できません");
    const Handle handle = OpenTransformer();
    tjtransform transform{};
    transform.op = TransformOp(request.op);
    // Other markers are the caller's to write (some of them change); a strip that cannot be
    // transformed is trimmed when allowed and otherwise an error, never left as it was.
    transform.options = TJXOPT_COPYNONE | (request.trim ? TJXOPT_TRIM : TJXOPT_PERFECT);
    if (request.progressive)
        transform.options |= TJXOPT_PROGRESSIVE;
    if (request.crop) {
        transform.options |= TJXOPT_CROP;
        transform.r = {request.crop->left, request.crop->top, request.crop->width,
                       request.crop->height};
    }
    unsigned char* out = nullptr;
    unsigned long outSize = 0;
    // A damaged file is refused rather than rewritten with its damage made permanent: a
    // warning fails as an error does. Hostile progressive files stop after a few hundred scans.
    const int result = tjTransform(handle.get(), jpeg.data(), jpeg.size(), 1, &out, &outSize,
                                   &transform, TJFLAG_LIMITSCANS | TJFLAG_STOPONWARNING);
    TransformedJpeg transformed(out, outSize);
    if (result != 0)
        Fail(handle.get(), "JPEG を無劣化で変換できません");
    return transformed;
}

} // namespace tessaly
