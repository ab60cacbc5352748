// How large a picture would be shown now: the rule the viewer lays a picture out by, for any
// picture (not only the loaded one), so that a neighbour can be decoded ahead at the size it
// will be shown at.
#pragma once

#include "base/PixelGeometry.h"
#include "model/ViewerModel.h"
#include "picture/Orientation.h"

namespace tessaly {

// What the layout of a newly loaded picture follows: the view's mode and kept zoom (a new
// picture keeps them), the client area it is fitted to, and whether pictures are shown as
// stored (--as-stored) rather than turned by their orientation.
struct ShowingNow {
    ViewMode mode = ViewMode::Fit;
    long double zoom = 0; // the magnification laid out; used outside Fit
    Size fitArea;         // the client area's full size (ViewerModel::FitArea)
    bool asStored = false;
};

// The size, in logical pixels, of the picture control a picture of `stored` size (as its
// file stores it) with `orientation` would be drawn on now, given back as stored (width and
// height exchanged again for a picture shown turned a quarter), as the decoders take sizes.
// At fit: the fitted rectangle (FitRect) of the upright picture in the area; at actual size
// or zoomed: the panel's interior, the upright picture times the zoom less the panel's
// border of 1 pixel on each side.
Size ShownSizeOf(Size stored, Orientation orientation, const ShowingNow& now);
// The same for a picture whose orientation exchanges its sides (`turned`) or not.
Size ShownSizeOf(Size stored, bool turned, const ShowingNow& now);

// What `model` shows a new picture by now, with pictures shown as stored when `asStored`.
ShowingNow ShowingIn(const ViewerModel& model, bool asStored);

} // namespace tessaly
