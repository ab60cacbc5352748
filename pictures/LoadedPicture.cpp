#include "pictures/LoadedPicture.h"

namespace tessaly {

void LoadedPicture::Deliver(const PictureResult& result) {
    if (Settled())
        return;
    if (result.kind == PictureKind::StandIn) {
        if (result.Ok() && std::holds_alternative<Waiting>(state_))
            state_ = StandIn{result.pixels};
        return;
    }
    if (!result.Ok())
        state_ = Failed{result.errorText};
    else if (result.kind == PictureKind::Full)
        state_ = Full{result.pixels};
    else
        state_ = ScreenCopy{result.pixels};
}

bool LoadedPicture::Settled() const {
    return std::holds_alternative<Full>(state_) || std::holds_alternative<Failed>(state_);
}

const DecodedPicture* LoadedPicture::Drawable() const {
    if (const auto* copy = std::get_if<ScreenCopy>(&state_))
        return copy->pixels.get();
    if (const auto* standIn = std::get_if<StandIn>(&state_))
        return standIn->pixels.get();
    return FullPixels();
}

const DecodedPicture* LoadedPicture::FullPixels() const {
    const auto* full = std::get_if<Full>(&state_);
    return full ? full->pixels.get() : nullptr;
}

const std::string& LoadedPicture::Error() const {
    static const std::string none;
    const auto* failed = std::get_if<Failed>(&state_);
    return failed ? failed->error : none;
}

} // namespace tessaly
