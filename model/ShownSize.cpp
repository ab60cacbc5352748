#include "model/ShownSize.h"

#include "base/Rounding.h"
#include "model/Geometry.h"

#include <algorithm>

namespace tessaly {

Size ShownSizeOf(Size stored, Orientation orientation, const ShowingNow& now) {
    return ShownSizeOf(stored, SwapsSides(orientation), now);
}

ShowingNow ShowingIn(const ViewerModel& model, bool asStored) {
    return {model.Mode(), model.Mode() == ViewMode::Fit ? 0 : model.Snapshot().zoom,
            model.FitArea(), asStored};
}

Size ShownSizeOf(Size stored, bool swapsSides, const ShowingNow& now) {
    const bool turned = !now.asStored && swapsSides;
    const Size upright = turned ? Size{stored.height, stored.width} : stored;
    Size shown;
    if (now.mode == ViewMode::Fit) {
        const Rect fit = FitRect(upright.height, upright.width,
                                 {0, 0, upright.width, upright.height}, now.fitArea);
        shown = {fit.width, fit.height};
    } else {
        shown = {std::max(0, RoundInt(upright.width * now.zoom) - 2),
                 std::max(0, RoundInt(upright.height * now.zoom) - 2)};
    }
    return turned ? Size{shown.height, shown.width} : shown;
}

} // namespace tessaly
