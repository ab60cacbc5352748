// The main window's state and arithmetic, without widgets: the image list and its position,
// the layout of the view panel and the picture (fit, actual size, zoom steps and scrolling),
// the anchor, the selection rectangle, and the numbers of the captions.
//
// The window turns each event into one call here and then shows the answer: the panel's
// and the picture's bounds, the scroll bars, the selection and the caption. Everything is
// in logical pixels; coordinates of the panel, the picture and the selection are those of
// the panel's client area, as the window lays out its controls.
#pragma once

#include "model/Geometry.h"
#include "model/ImageList.h"
#include "model/ScrollArea.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace tessaly {

// The side of the selection's corner handle.
inline constexpr int kHandleSide = 5;

// What a test or the window reads of the state, named as the window names its fields.
struct ViewerSnapshot {
    int ImgWidth = 0;
    int ImgHeight = 0;
    int DragX = 0;
    int DragY = 0;
    bool Dragging = false;
    long double Zoom = 0;
    int ImgIndex = 0;
    long double DspRatio = 0;
    int GrabX = 0;
    int GrabY = 0;
    bool AreaDragging = false;
    std::string SavedCap;
    int AncX = 0;
    int AncY = 0;
    int PickCount = 0;
    bool DblClicked = false;
    int FileCount = 0;
};

class ViewerModel {
public:
    // `displayPath` turns a path's bytes into the text the caption shows.
    explicit ViewerModel(std::function<std::string(std::string_view)> displayPath);

    ViewerSnapshot Snapshot() const;

    // --- The image list ---
    ImageList& List() { return list_; }
    const ImageList& List() const { return list_; }

    // --- Start-up ---
    // The state the window starts from: fit, no drag, ratio 100, the handle on the design
    // rectangle's corner and the selection hidden.
    void Reset();

    // --- The view ---
    // The client area (scroll bars included) changed size, or the scroll bars' thickness.
    void SetBarExtent(int extent);
    // The client area's size (scroll bars included), before the window is shown.
    void ResizeClient(int fullWidth, int fullHeight) { client_.Resize(fullWidth, fullHeight); }
    // FormResize: the client area took a new size; the picture is laid out again and the
    // caption rewritten.
    void FormResize(int fullWidth, int fullHeight);
    // A picture was loaded with auto-size on: a free picture takes its natural size, a
    // filling one keeps covering the panel. No size: the file was not a valid image.
    void PictureLoaded(std::optional<Size> natural);
    // SetJPEGOptions: records the loaded picture's size and lays out (nothing for no size).
    // Returns false when the layout failed (the window shows "例外発生").
    bool SetJPEGOptions(std::optional<Size> natural);
    // ImgSizSet: the layout of the current zoom, then the caption. False when it failed.
    bool ImgSizSet();
    // DspInfo1: the ratio and the caption of entry k (the start-up caption for k < 1).
    // Throws std::out_of_range for k beyond the list.
    void DspInfo1(int k);
    void ImgDspMove(int dx, int dy);
    // A zoom step of step x 5 percentage points around the anchor. False when the layout
    // failed.
    bool SetEnlarge(int step);
    // "フィット" and "実寸". False when the layout failed.
    bool Fit();
    bool ActualSize();
    // The scroll bars or the wheel moved a position.
    void ScrollTo(int horizontal, int vertical);

    // --- Mouse over the picture and the panel ---
    void ImageMouseDown(int x, int y);
    // Pans by the move; `pending` lets waiting window events run after a scroll, before the
    // drag position is recorded.
    void ImageMouseMove(int x, int y, const std::function<void()>& pending);
    void ImageMouseUp() { dragging_ = false; }
    // A double-click: one zoom step in, and the next move does not pan. False when the
    // layout failed.
    bool ImageDblClick();
    void PanelMouseDown(int x, int y);

    // --- The selection rectangle ---
    bool Selecting() const { return selecting_; }
    // Selection mode on or off ("範囲選択"); switching it on centres the rectangle on the
    // anchor and shows it.
    void SetSelecting(bool on);
    void SetAreaAnc();
    void DspAreaAnc(bool show);
    // The drag caption: "選択範囲移動" (moving) or "選択範囲拡縮" with the offset and the size
    // in actual pixels.
    std::string SelAreaCap(bool moving) const;
    // Drags of the rectangle (moving) and of its handle (resizing); positions are in the
    // coordinates of the control pressed. A press of a button other than the left one
    // starts nothing and returns false. The caption shows the selection during a drag and
    // goes back to what it was at its end.
    bool ShapeMouseDown(bool leftButton, int x, int y, bool moving);
    void ShapeMouseMove(int x, int y, bool moving);
    void ShapeMouseUp(bool moving);
    bool SelectionVisible() const { return selectionVisible_; }
    const Rect& SelectionRect() const { return shape_; }
    Rect HandleRect() const { return {handle_.left, handle_.top, kHandleSide, kHandleSide}; }
    // The selected area in actual pixels: position from the picture's top-left, and size.
    Rect SelectedArea() const;
    // A displayed length in actual pixels (divided by DspRatio, halves to even); 0 while
    // the picture is shown 0 pixels wide.
    int ActualPixels(int displayed) const;

    // --- Picks ---
    // Counts one more pick and returns its number.
    int NextPickNumber() { return ++pickCount_; }

    // --- What the window shows ---
    const ScrollArea& Client() const { return client_; }
    const Rect& Panel() const { return client_.Content(); }
    const Rect& Image() const { return image_; }
    bool ImageFilling() const { return imageFilling_; }
    // The picture is drawn stretched over the control (after a layout) or at its natural
    // size from the top-left corner (from a load until the next layout).
    bool Stretch() const { return stretch_; }
    // The panel's interior: its client rectangle less the 1-pixel bevel.
    Rect PanelInterior() const;
    // The caption as last written.
    const std::string& Caption() const { return caption_; }
    void SetCaption(std::string caption) { caption_ = std::move(caption); }
    // "Tess v0.1 ..." of the window before any entry is shown.
    static std::string StartupCaption();

private:
    void SetImageFilling(bool filling);
    void FitImage();
    void CenterImage();

    std::function<std::string(std::string_view)> displayPath_;
    ImageList list_;
    ScrollArea client_;
    Rect image_;
    bool imageFilling_ = false;
    bool stretch_ = false;
    std::string caption_;

    int imgWidth_ = 0;
    int imgHeight_ = 0;
    int dragX_ = 0;
    int dragY_ = 0;
    bool dragging_ = false;
    long double zoom_ = 0;
    long double dspRatio_ = 0;
    int grabX_ = 0;
    int grabY_ = 0;
    bool areaDragging_ = false;
    std::string savedCap_;
    int ancX_ = 0;
    int ancY_ = 0;
    // Where the anchor's press was, in panel coordinates: the selection is centred there.
    int selAncX_ = 0;
    int selAncY_ = 0;
    int pickCount_ = 0;
    bool dblClicked_ = false;

    bool selecting_ = false;
    bool selectionVisible_ = false;
    Rect shape_{120, 40, 64, 48};
    Rect handle_{376, 200, kHandleSide, kHandleSide};
};

} // namespace tessaly
