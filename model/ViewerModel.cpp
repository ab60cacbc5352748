#include "model/ViewerModel.h"

#include "base/Credits.h"
#include "base/Format.h"
#include "base/Rounding.h"
#include "picture/PictureLimit.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <stdexcept>

namespace tessaly {

namespace {

// Half of a displayed length, halves to the even neighbour.
int Half(int length) {
    return RoundInt(length / 2.0L);
}

// The zoom step's scrolling, on the client area as the layout left it.
//
// Before the step the anchor (x, y), a point of the picture, lay at x - H0 in the client
// area (the panel's left is -H0 while scrolled). Its distance from the client area's centre
// is f = Round(CW / 2) - (x - H0); the zoom ratio r = zoom / ratio scales every distance on
// the picture. The view is moved by r x f from where it was: the new position is
// H0 - Round(f x r). An axis on which the panel is narrower than the client area has nothing
// to scroll: the panel is centred on it and f is 0, so the position stays H0 (limited by the
// scroll bar). Otherwise the panel is first put back to the origin (position 0, left 0) and
// then scrolled to the new position, which the scroll bar limits to 0 .. range - visible
// size. Vertically likewise with g.
ScrollArea ZoomScroll(ScrollArea client, int h0, int v0, long double r, Point anchor) {
    const int cw = client.ClientWidth();
    const int ch = client.ClientHeight();
    long double f = static_cast<long double>(Round(cw / 2.0L) - (anchor.x - h0));
    long double g = static_cast<long double>(Round(ch / 2.0L) - (anchor.y - v0));
    if (cw > client.Content().width) {
        client.MoveContent(CenterOffset(cw, client.Content().width), client.Content().top);
        f = 0;
    }
    if (ch > client.Content().height) {
        client.MoveContent(client.Content().left, CenterOffset(ch, client.Content().height));
        g = 0;
    }
    if (f != 0) {
        client.SetHorzPosition(0);
        client.MoveContent(0, client.Content().top);
    }
    if (g != 0) {
        client.SetVertPosition(0);
        client.MoveContent(client.Content().left, 0);
    }
    client.SetHorzPosition(h0 - RoundInt(f * r));
    client.SetVertPosition(v0 - RoundInt(g * r));
    return client;
}

} // namespace

std::optional<Size> SettledOuterSize(bool framed, Size client, Size createdClient) {
    if (!framed || client.width != createdClient.width || client.height != createdClient.height)
        return std::nullopt;
    return kMainWindowOuterSize;
}

ViewerModel::ViewerModel(std::function<std::string(std::string_view)> displayPath)
    : displayPath_(std::move(displayPath)) {}

std::string ViewerModel::StartupCaption() {
    return Format("%s %s %s %s %s", {"Tess", credits::kVersion, credits::kAuthor, credits::kProduct,
                                     credits::kContactAddress});
}

bool ViewerModel::StartList(const std::function<void(FileListType&)>& sort) {
    list_.Sort(sort);
    state_.canStep = list_.Count() >= 2;
    return !list_.Empty();
}

int ViewerModel::StepForward() {
    state_.travel = 1;
    return list_.Next();
}

int ViewerModel::StepBack() {
    state_.travel = -1;
    return list_.Previous();
}

void ViewerModel::Reset() {
    state_.mode = ViewMode::Fit;
    state_.zoom = 0;
    state_.dragging = false;
    PlaceHandle();
    ShowSelection(false);
    state_.ratio = 100.0L;
    state_.pickCount = 0;
    state_.doubleClicked = false;
}

// ---------------------------------------------------------------------------------------
// The view

void ViewerModel::SetBarExtent(int extent) {
    state_.client.SetBarExtent(extent);
}

Rect ViewerModel::PanelInterior() const {
    return {1, 1, std::max(0, Panel().width - 2), std::max(0, Panel().height - 2)};
}

void ViewerModel::SetImageFilling(bool filling) {
    state_.imageFilling = filling;
    if (filling)
        state_.image = PanelInterior();
}

void ViewerModel::FitImage() {
    state_.image = FitRect(state_.picture.height, state_.picture.width, state_.image,
                           {Panel().width, Panel().height});
}

void ViewerModel::CenterImage() {
    state_.image.top = CenterOffset(Panel().height, state_.image.height);
    state_.image.left = CenterOffset(Panel().width, state_.image.width);
}

void ViewerModel::ClientResized(int fullWidth, int fullHeight) {
    state_.client.Resize(fullWidth, fullHeight);
    if (state_.imageFilling)
        state_.image = PanelInterior();
    if (state_.mode == ViewMode::Fit)
        FitImage();
    UpdateCaption(list_.Index());
}

void ViewerModel::StartLoading() {
    state_.stretch = false;
    if (state_.imageFilling)
        state_.image = PanelInterior();
}

bool ViewerModel::PictureLoaded(std::optional<Size> stored, Orientation orientation) {
    StartLoading();
    if (!stored)
        return true;
    state_.orientation = orientation;
    storedPicture_ = *stored;
    state_.picture = Mapping().Upright();
    state_.image.width = state_.picture.width;
    state_.image.height = state_.picture.height;
    if (state_.imageFilling)
        state_.image = PanelInterior();
    return LayOut();
}

UprightMapping ViewerModel::Mapping() const {
    return UprightMapping(state_.orientation, storedPicture_);
}

Size ViewerModel::ToStored(Size upright) const {
    const Rect stored = Mapping().ToStored(Rect{0, 0, upright.width, upright.height});
    return {stored.width, stored.height};
}

bool ViewerModel::LayOut() {
    try {
        ScrollArea& client = state_.client;
        if (state_.mode != ViewMode::Fit) {
            client.SetFilling(false);
            client.ResizeContent(Panel().width, RoundInt(state_.picture.height * state_.zoom));
            client.ResizeContent(RoundInt(state_.picture.width * state_.zoom), Panel().height);
            SetImageFilling(true);
        } else {
            client.SetFilling(true);
            SetImageFilling(false);
            FitImage();
        }
        state_.stretch = true;
        UpdateCaption(list_.Index());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void ViewerModel::UpdateCaption(int k) {
    if (k < 1) {
        state_.caption = StartupCaption();
        return;
    }
    const std::string& path = list_.Path(k);
    long double percent = 0;
    if (state_.picture.width != 0) {
        state_.ratio = static_cast<long double>(state_.image.width) / state_.picture.width;
        percent = state_.ratio * 100;
    }
    state_.caption = Format("%s %s [%.1f%%](%d/%d files)",
                            {"Tess", displayPath_(path), percent, k, list_.Count()});
}

void ViewerModel::Pan(int dx, int dy) {
    ScrollArea& client = state_.client;
    if (dy != 0) {
        const int p = client.VertPosition() - dy;
        if (p >= 0 && p <= client.VertRange())
            client.SetVertPosition(p);
    }
    if (dx != 0) {
        const int p = client.HorzPosition() - dx;
        if (p >= 0 && p <= client.HorzRange())
            client.SetHorzPosition(p);
    }
}

bool ViewerModel::StepZoom(int step) {
    const int h0 = state_.client.HorzPosition();
    const int v0 = state_.client.VertPosition();
    const long double zoom = static_cast<long double>(step) / 100 * 5 + state_.ratio;
    // The scroll ratio, from the zoom before it is limited; a picture shown 0 pixels wide
    // (a ratio of 0) scrolls unscaled.
    const long double r = state_.ratio > 0 ? zoom / state_.ratio : 1.0L;
    state_.mode = ViewMode::Zoomed;
    state_.zoom = std::clamp(zoom, 0.01L, 4.0L);
    const bool laidOut = LayOut();
    state_.client = ZoomScroll(state_.client, h0, v0, r, state_.anchor);
    return laidOut;
}

bool ViewerModel::Fit() {
    state_.mode = ViewMode::Fit;
    state_.zoom = 0;
    const bool laidOut = LayOut();
    CenterImage();
    return laidOut;
}

bool ViewerModel::ActualSize() {
    state_.mode = ViewMode::ActualSize;
    state_.zoom = 1.0L;
    return LayOut();
}

void ViewerModel::ScrollTo(int horizontal, int vertical) {
    ScrollArea& client = state_.client;
    if (horizontal != client.HorzPosition())
        client.SetHorzPosition(horizontal);
    if (vertical != client.VertPosition())
        client.SetVertPosition(vertical);
}

// ---------------------------------------------------------------------------------------
// Mouse over the picture and the panel

void ViewerModel::PressPicture(int x, int y) {
    state_.drag = {x, y};
    state_.dragging = true;
    if (!state_.selecting) {
        state_.anchor = {x, y};
        state_.selectionAnchor = {state_.image.left + x, state_.image.top + y};
    }
}

void ViewerModel::DragPicture(int x, int y, const std::function<void()>& pending) {
    if (state_.doubleClicked) {
        state_.doubleClicked = false;
        return;
    }
    if (!state_.dragging)
        return;
    const int dx = x - state_.drag.x;
    const int dy = y - state_.drag.y;
    if (dx != 0 || dy != 0) {
        Pan(dx, dy);
        if (pending)
            pending();
    }
    state_.drag = {x, y};
}

bool ViewerModel::DoubleClickPicture() {
    state_.doubleClicked = true;
    state_.dragging = false;
    return StepZoom(1);
}

void ViewerModel::PressPanel(int x, int y) {
    if (state_.selecting)
        return;
    state_.anchor = state_.selectionAnchor = {x, y};
}

// ---------------------------------------------------------------------------------------
// The selection rectangle

bool ViewerModel::ToggleSelection() {
    if (state_.overlay)
        return false;
    SetSelecting(!state_.selecting);
    return true;
}

void ViewerModel::SetSelecting(bool on) {
    if (list_.Empty()) {
        state_.selecting = false;
        return;
    }
    state_.selecting = on;
    state_.selectionCommands = on;
    ShowSelection(on);
}

void ViewerModel::PlaceHandle() {
    const Rect& shape = state_.selection;
    state_.handle.left = shape.left + shape.width - Half(kHandleSide) - 1;
    state_.handle.top = shape.top + shape.height - Half(kHandleSide) - 1;
}

void ViewerModel::ShowSelection(bool show) {
    if (show) {
        // Centred where the anchor's press was, whether on the picture or beside it.
        Rect& shape = state_.selection;
        shape.left = state_.selectionAnchor.x - Half(shape.width);
        shape.top = state_.selectionAnchor.y - Half(shape.height);
        PlaceHandle();
    }
    state_.selectionVisible = show;
}

int ViewerModel::ActualPixels(int displayed) const {
    // A picture shown 0 pixels wide has a ratio of 0: there is nothing to convert to.
    if (!(state_.ratio > 0))
        return 0;
    const long double actual = displayed / state_.ratio;
    if (!(std::fabs(actual) < static_cast<long double>(std::numeric_limits<int>::max())))
        return 0;
    return RoundInt(actual);
}

std::string ViewerModel::SelectionCaption(SelectionDrag part) const {
    const Rect& shape = state_.selection;
    return Format("選択範囲%s 位置(%4d,%4d) 実サイズ[%4d,%4d]",
                  {part == SelectionDrag::Move ? "移動" : "拡縮", shape.left - state_.image.left,
                   shape.top - state_.image.top, ActualPixels(shape.width),
                   ActualPixels(shape.height)});
}

bool ViewerModel::StartSelectionDrag(bool leftButton, int x, int y, SelectionDrag part) {
    if (!leftButton)
        return false;
    state_.selectionDragging = true;
    state_.grab = {x, y};
    state_.savedCaption = state_.caption;
    state_.caption = SelectionCaption(part);
    return true;
}

void ViewerModel::DragSelection(int x, int y, SelectionDrag part) {
    if (!state_.selectionDragging)
        return;
    Rect& shape = state_.selection;
    Rect& handle = state_.handle;
    if (part == SelectionDrag::Move) {
        shape.left = shape.left + x - state_.grab.x;
        shape.top = shape.top + y - state_.grab.y;
    } else {
        handle.left = handle.left + x - state_.grab.x;
        handle.top = handle.top + y - state_.grab.y;
        const int width = handle.left + Half(kHandleSide) - shape.left + 1;
        const int height = handle.top + Half(kHandleSide) - shape.top + 1;
        shape.width = std::max(width, 1);
        shape.height = std::max(height, 1);
    }
    PlaceHandle();
    state_.caption = SelectionCaption(part);
}

void ViewerModel::EndSelectionDrag(SelectionDrag part) {
    if (state_.selectionDragging)
        state_.caption = state_.savedCaption;
    state_.selectionDragging = false;
    if (part == SelectionDrag::Move)
        PlaceHandle();
}

Rect ViewerModel::SelectedArea() const {
    const Rect& shape = state_.selection;
    return {ActualPixels(shape.left - state_.image.left),
            ActualPixels(shape.top - state_.image.top), ActualPixels(shape.width),
            ActualPixels(shape.height)};
}

Rect ViewerModel::DisplayedArea(Rect area) const {
    const auto displayed = [this](int actual) { return RoundInt(actual * state_.ratio); };
    return {state_.image.left + displayed(area.left), state_.image.top + displayed(area.top),
            displayed(area.width), displayed(area.height)};
}

std::optional<Rect> ViewerModel::AreaToTake() const {
    const Rect area = SelectedArea();
    if (area.width < 1 || area.height < 1)
        return std::nullopt;
    if (ExceedsPictureLimit(area.width, area.height))
        throw std::runtime_error(
            Format("選択範囲が大きすぎます (%d x %d)", {area.width, area.height}));
    return area;
}

// ---------------------------------------------------------------------------------------
// The EXIF overlay

void ViewerModel::ToggleOverlay() {
    state_.overlay = !state_.overlay;
    if (state_.overlay && state_.selecting)
        SetSelecting(false);
}

} // namespace tessaly
