// The picture the main window shows, as far as the picture pipeline has delivered it: the
// size its header gave, and what there is of its pixels.
//
// The state moves only with the pipeline's results for the picture, and only forward:
// waiting, then a stand-in (the file's own preview, drawn stretched until the picture's own
// pixels come), then a screen copy (a reduced decode, drawn until the full picture comes), then
// the full picture or the failure of its decode, either of which is final. Each step may be
// missing; none comes back once a later one has come. Nothing is decoded or
// read here.
#pragma once

#include "picture/DecodedPicture.h"
#include "pictures/PicturePipeline.h"

#include <memory>
#include <string>
#include <variant>

namespace tessaly {

class LoadedPicture {
public:
    struct Waiting {};
    struct StandIn {
        std::shared_ptr<const DecodedPicture> pixels;
    };
    struct ScreenCopy {
        std::shared_ptr<const DecodedPicture> pixels;
    };
    struct Full {
        std::shared_ptr<const DecodedPicture> pixels;
    };
    struct Failed {
        std::string error;
    };
    using State = std::variant<Waiting, StandIn, ScreenCopy, Full, Failed>;

    // A picture of width x height, as its header says, whose pixels are awaited.
    LoadedPicture(int width, int height) : width_(width), height_(height) {}

    int Width() const { return width_; }
    int Height() const { return height_; }
    const State& Current() const { return state_; }

    // A result of the picture pipeline for this picture: its stand-in, its screen copy, its
    // full picture or the failure of its decode. A stand-in counts only while nothing else has
    // come; once the picture is settled, results change nothing.
    void Deliver(const PictureResult& result);

    // The full picture or the failure has come: nothing more will.
    bool Settled() const;
    // What can be drawn now: the full picture, else the screen copy, else the stand-in, else
    // nullptr.
    const DecodedPicture* Drawable() const;
    // What is drawn is the stand-in: of the picture's shape, but not its pixels.
    bool ShowsStandIn() const { return std::holds_alternative<StandIn>(state_); }
    // The full picture; nullptr before it has come or when its decode failed.
    const DecodedPicture* FullPixels() const;
    // Why the decode failed; empty unless it did.
    const std::string& Error() const;

private:
    int width_;
    int height_;
    State state_;
};

} // namespace tessaly
