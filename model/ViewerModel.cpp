#include "model/ViewerModel.h"

#include "base/Credits.h"
#include "base/Format.h"
#include "base/Rounding.h"

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

// The zoom step's scrolling, on the client area as ImgSizSet left it.
//
// Before the step the anchor (AncX, AncY), a point of the picture, lay at AncX - H0 in the
// client area (the panel's left is -H0 while scrolled). Its distance from the client
// area's centre is f = Round(CW / 2) - (AncX - H0); the zoom ratio r = Zoom / DspRatio
// scales every distance on the picture. The view is moved by r x f from where it was:
// the new position is H0 - Round(f x r). An axis on which the panel is narrower than the
// client area has nothing to scroll: the panel is centred on it and f is 0, so the
// position stays H0 (limited by the scroll bar). Otherwise the panel is first put back
// to the origin (position 0, left 0) and then scrolled to the new position, which the
// scroll bar limits to 0 .. range - visible size. Vertically likewise with g.
ScrollArea ZoomScroll(ScrollArea client, int h0, int v0, long double r, int ancX, int ancY) {
    const int cw = client.ClientWidth();
    const int ch = client.ClientHeight();
    long double f = static_cast<long double>(Round(cw / 2.0L) - (ancX - h0));
    long double g = static_cast<long double>(Round(ch / 2.0L) - (ancY - v0));
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

ViewerModel::ViewerModel(std::function<std::string(std::string_view)> displayPath)
    : displayPath_(std::move(displayPath)) {}

ViewerSnapshot ViewerModel::Snapshot() const {
    ViewerSnapshot s;
    s.ImgWidth = imgWidth_;
    s.ImgHeight = imgHeight_;
    s.DragX = dragX_;
    s.DragY = dragY_;
    s.Dragging = dragging_;
    s.Zoom = zoom_;
    s.ImgIndex = list_.Index();
    s.DspRatio = dspRatio_;
    s.GrabX = grabX_;
    s.GrabY = grabY_;
    s.AreaDragging = areaDragging_;
    s.SavedCap = savedCap_;
    s.AncX = ancX_;
    s.AncY = ancY_;
    s.PickCount = pickCount_;
    s.DblClicked = dblClicked_;
    s.FileCount = list_.Count();
    return s;
}

std::string ViewerModel::StartupCaption() {
    return Format("%s %s %s %s %s", {"Tess", credits::kVersion, credits::kAuthor, credits::kProduct,
                                     credits::kContactAddress});
}

void ViewerModel::Reset() {
    zoom_ = 0;
    dragging_ = false;
    SetAreaAnc();
    DspAreaAnc(false);
    dspRatio_ = 100.0L;
    pickCount_ = 0;
    dblClicked_ = false;
}

// ---------------------------------------------------------------------------------------
// The view

void ViewerModel::SetBarExtent(int extent) {
    client_.SetBarExtent(extent);
}

Rect ViewerModel::PanelInterior() const {
    return {1, 1, std::max(0, Panel().width - 2), std::max(0, Panel().height - 2)};
}

void ViewerModel::SetImageFilling(bool filling) {
    imageFilling_ = filling;
    if (filling)
        image_ = PanelInterior();
}

void ViewerModel::FitImage() {
    image_ = FitRect(imgHeight_, imgWidth_, image_, {Panel().width, Panel().height});
}

void ViewerModel::CenterImage() {
    image_.top = CenterOffset(Panel().height, image_.height);
    image_.left = CenterOffset(Panel().width, image_.width);
}

void ViewerModel::FormResize(int fullWidth, int fullHeight) {
    client_.Resize(fullWidth, fullHeight);
    if (imageFilling_)
        image_ = PanelInterior();
    if (zoom_ == 0)
        FitImage();
    DspInfo1(list_.Index());
}

void ViewerModel::PictureLoaded(std::optional<Size> natural) {
    stretch_ = false;
    if (natural) {
        image_.width = natural->width;
        image_.height = natural->height;
    }
    if (imageFilling_)
        image_ = PanelInterior();
}

bool ViewerModel::SetJPEGOptions(std::optional<Size> natural) {
    if (!natural)
        return true;
    imgWidth_ = natural->width;
    imgHeight_ = natural->height;
    return ImgSizSet();
}

bool ViewerModel::ImgSizSet() {
    try {
        if (zoom_ != 0) {
            client_.SetFilling(false);
            client_.ResizeContent(Panel().width, RoundInt(imgHeight_ * zoom_));
            client_.ResizeContent(RoundInt(imgWidth_ * zoom_), Panel().height);
            SetImageFilling(true);
        } else {
            client_.SetFilling(true);
            SetImageFilling(false);
            FitImage();
        }
        stretch_ = true;
        DspInfo1(list_.Index());
        return true;
    } catch (const std::exception&) {
        return false;
    }
}

void ViewerModel::DspInfo1(int k) {
    if (k < 1) {
        caption_ = StartupCaption();
        return;
    }
    const std::string& path = list_.Path(k);
    long double percent = 0;
    if (imgWidth_ != 0) {
        dspRatio_ = static_cast<long double>(image_.width) / imgWidth_;
        percent = dspRatio_ * 100;
    }
    caption_ = Format("%s %s [%.1f%%](%d/%d files)",
                      {"Tess", displayPath_(path), percent, k, list_.Count()});
}

void ViewerModel::ImgDspMove(int dx, int dy) {
    if (dy != 0) {
        const int p = client_.VertPosition() - dy;
        if (p >= 0 && p <= client_.VertRange())
            client_.SetVertPosition(p);
    }
    if (dx != 0) {
        const int p = client_.HorzPosition() - dx;
        if (p >= 0 && p <= client_.HorzRange())
            client_.SetHorzPosition(p);
    }
}

bool ViewerModel::SetEnlarge(int step) {
    const int h0 = client_.HorzPosition();
    const int v0 = client_.VertPosition();
    zoom_ = static_cast<long double>(step) / 100 * 5 + dspRatio_;
    // The scroll ratio, from the zoom before it is limited; a picture shown 0 pixels wide
    // (a ratio of 0) scrolls unscaled.
    const long double r = dspRatio_ > 0 ? zoom_ / dspRatio_ : 1.0L;
    zoom_ = std::clamp(zoom_, 0.01L, 4.0L);
    const bool laidOut = ImgSizSet();
    client_ = ZoomScroll(client_, h0, v0, r, ancX_, ancY_);
    return laidOut;
}

bool ViewerModel::Fit() {
    zoom_ = 0;
    const bool laidOut = ImgSizSet();
    CenterImage();
    return laidOut;
}

bool ViewerModel::ActualSize() {
    zoom_ = 1.0L;
    return ImgSizSet();
}

void ViewerModel::ScrollTo(int horizontal, int vertical) {
    if (horizontal != client_.HorzPosition())
        client_.SetHorzPosition(horizontal);
    if (vertical != client_.VertPosition())
        client_.SetVertPosition(vertical);
}

// ---------------------------------------------------------------------------------------
// Mouse over the picture and the panel

void ViewerModel::ImageMouseDown(int x, int y) {
    dragX_ = x;
    dragY_ = y;
    dragging_ = true;
    if (!selecting_) {
        ancX_ = x;
        ancY_ = y;
        selAncX_ = image_.left + x;
        selAncY_ = image_.top + y;
    }
}

void ViewerModel::ImageMouseMove(int x, int y, const std::function<void()>& pending) {
    if (dblClicked_) {
        dblClicked_ = false;
        return;
    }
    if (!dragging_)
        return;
    const int dx = x - dragX_;
    const int dy = y - dragY_;
    if (dx != 0 || dy != 0) {
        ImgDspMove(dx, dy);
        if (pending)
            pending();
    }
    dragX_ = x;
    dragY_ = y;
}

bool ViewerModel::ImageDblClick() {
    dblClicked_ = true;
    dragging_ = false;
    return SetEnlarge(1);
}

void ViewerModel::PanelMouseDown(int x, int y) {
    if (selecting_)
        return;
    ancX_ = selAncX_ = x;
    ancY_ = selAncY_ = y;
}

// ---------------------------------------------------------------------------------------
// The selection rectangle

void ViewerModel::SetSelecting(bool on) {
    selecting_ = on;
    DspAreaAnc(on);
}

void ViewerModel::SetAreaAnc() {
    handle_.left = shape_.left + shape_.width - Half(kHandleSide) - 1;
    handle_.top = shape_.top + shape_.height - Half(kHandleSide) - 1;
}

void ViewerModel::DspAreaAnc(bool show) {
    if (show) {
        // Centred where the anchor's press was, whether on the picture or beside it.
        shape_.left = selAncX_ - Half(shape_.width);
        shape_.top = selAncY_ - Half(shape_.height);
        SetAreaAnc();
    }
    selectionVisible_ = show;
}

int ViewerModel::ActualPixels(int displayed) const {
    // A picture shown 0 pixels wide has a ratio of 0: there is nothing to convert to.
    if (!(dspRatio_ > 0))
        return 0;
    const long double actual = displayed / dspRatio_;
    if (!(std::fabs(actual) < static_cast<long double>(std::numeric_limits<int>::max())))
        return 0;
    return RoundInt(actual);
}

std::string ViewerModel::SelAreaCap(bool moving) const {
    return Format("選択範囲%s 位置(%4d,%4d) 実サイズ[%4d,%4d]",
                  {moving ? "移動" : "拡縮", shape_.left - image_.left, shape_.top - image_.top,
                   ActualPixels(shape_.width), ActualPixels(shape_.height)});
}

bool ViewerModel::ShapeMouseDown(bool leftButton, int x, int y, bool moving) {
    if (!leftButton)
        return false;
    areaDragging_ = true;
    grabX_ = x;
    grabY_ = y;
    savedCap_ = caption_;
    caption_ = SelAreaCap(moving);
    return true;
}

void ViewerModel::ShapeMouseMove(int x, int y, bool moving) {
    if (!areaDragging_)
        return;
    if (moving) {
        shape_.left = shape_.left + x - grabX_;
        shape_.top = shape_.top + y - grabY_;
    } else {
        handle_.left = handle_.left + x - grabX_;
        handle_.top = handle_.top + y - grabY_;
        const int width = handle_.left + Half(kHandleSide) - shape_.left + 1;
        const int height = handle_.top + Half(kHandleSide) - shape_.top + 1;
        shape_.width = std::max(width, 1);
        shape_.height = std::max(height, 1);
    }
    SetAreaAnc();
    caption_ = SelAreaCap(moving);
}

void ViewerModel::ShapeMouseUp(bool moving) {
    if (areaDragging_)
        caption_ = savedCap_;
    areaDragging_ = false;
    if (moving)
        SetAreaAnc();
}

Rect ViewerModel::SelectedArea() const {
    return {ActualPixels(shape_.left - image_.left), ActualPixels(shape_.top - image_.top),
            ActualPixels(shape_.width), ActualPixels(shape_.height)};
}

} // namespace tessaly
