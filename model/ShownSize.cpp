#include "model/ShownSize.h"

#include "base/Rounding.h"
#include "model/Geometry.h"

#include <algorithm>

namespace tessaly {

Size ShownSizeOf(Size stored, Orientation orientation, const ShowingNow& now) {
    const bool turned = !now.asStored && SwapsSides(orientation);
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
