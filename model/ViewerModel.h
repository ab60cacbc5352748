// The main window's state and arithmetic, without widgets: the image list and its position,
// the layout of the view panel and the picture (fit, actual size, zoom steps and scrolling),
// the anchor, the selection rectangle and the overlay that excludes it, and the captions.
//
// The window turns each event into one call here and then shows the answer: the panel's
// and the picture's bounds, the scroll bars, the selection, the caption and the menu's check
// marks. Everything is in logical pixels; coordinates of the panel, the picture and the
// selection are those of the panel's client area, as the window lays out its controls.
#pragma once

#include "model/FullScreenMode.h"
#include "model/Geometry.h"
#include "model/ImageList.h"
#include "model/ScrollArea.h"
#include "model/Slideshow.h"
#include "picture/Orientation.h"

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// The main window's outer size, frame and title bar included, as it opens.
inline constexpr Size kMainWindowOuterSize{593, 428};

// Once the window manager has framed the main window (`framed`): the outer size it takes
// (kMainWindowOuterSize), only while it still has the client size it was created with; a
// size the user or the window manager has given it meanwhile stays (nothing).
std::optional<Size> SettledOuterSize(bool framed, Size client, Size createdClient);

// The side of the selection's corner handle.
inline constexpr int kHandleSide = 5;

// How the picture is laid out: fitted to the panel, at its actual size, or magnified by zoom
// steps (and double-clicks).
enum class ViewMode { Fit, ActualSize, Zoomed };

// What a drag of the selection holds: the rectangle, which moves it, or its corner handle,
// which resizes it.
enum class SelectionDrag { Move, Resize };

// Everything the model knows of the view besides the list.
struct ViewState {
    // What the window shows: the client area with its scroll bars and the panel in it, the
    // picture control's bounds in the panel, and the caption.
    ScrollArea client;
    Rect image;
    // The picture control covers the panel's interior (magnified or at actual size).
    bool imageFilling = false;
    // The picture is drawn stretched over the control (after a layout) or at its natural
    // size from the top-left corner (from a load until the next layout).
    bool stretch = false;
    std::string caption;

    // The loaded picture's own size, upright (0 x 0 before the first), and how its stored
    // pixels are turned to show it so.
    Size picture;
    Orientation orientation = Orientation::AsStored;
    ViewMode mode = ViewMode::Fit;
    // The magnification laid out; 0 while fitted.
    long double zoom = 0;
    // The shown width over the picture's own, as of the last caption (0 while shown 0
    // pixels wide).
    long double ratio = 0;

    // Panning: the last drag position on the picture, and a double-click's swallowing of the
    // next move.
    Point drag;
    bool dragging = false;
    bool doubleClicked = false;
    // The anchor, around which zoom steps scroll: the last press on the picture (in the
    // picture's coordinates) or on the panel, and where that press was in the panel: the
    // selection is centred there.
    Point anchor;
    Point selectionAnchor;

    // The selection: its mode ("範囲選択"), its commands ("コピー", "取出表示"), the rectangle
    // and its handle, and a drag of either with the grab point and the caption to restore.
    bool selecting = false;
    bool selectionCommands = false;
    bool selectionVisible = false;
    Rect selection{120, 40, 64, 48};
    Rect handle{376, 200, kHandleSide, kHandleSide};
    bool selectionDragging = false;
    Point grab;
    std::string savedCaption;

    // The EXIF overlay is shown ("Exif表示").
    bool overlay = false;
    // Stepping through the list is enabled: it had two or more entries when it was started.
    bool canStep = false;
    // The direction of travel: +1 after a step forward, -1 after a step back.
    int travel = 1;
    // Picks made so far.
    int pickCount = 0;
    // The grid of thumbnails shows in place of the single picture: the commands on the shown
    // picture (zoom, the selection, turns) do not act.
    bool overview = false;
};

class ViewerModel {
public:
    // `displayPath` turns a path's bytes into the text the caption shows.
    explicit ViewerModel(std::function<std::string(std::string_view)> displayPath);

    // A copy of the view's state, for tests and benchmarks to read.
    ViewState Snapshot() const { return state_; }

    // --- The image list ---
    ImageList& List() { return list_; }
    const ImageList& List() const { return list_; }
    // A list built anew: sorted by `sort`, with stepping through it ("次の画像", "前の画像",
    // "先頭へ") enabled for two or more entries. False for an empty list.
    bool StartList(const std::function<void(FileListType&)>& sort);
    bool CanStep() const { return state_.canStep; }
    // The keys step through the list while it has entries (whether or not the menu's steps
    // are enabled).
    bool KeysAct() const { return !list_.Empty(); }
    // A step forward ("次の画像") or back ("前の画像"): the entry to show, and the direction of
    // travel, in which the neighbours are decoded ahead. Jumps to the first or last entry
    // keep the direction.
    int StepForward();
    int StepBack();
    // The entries to decode ahead, in the direction of travel first.
    std::vector<std::string> NeighboursAhead() const { return list_.Neighbours(state_.travel); }

    // --- Start-up ---
    // The state the window starts from: fit, no drag, ratio 100, the handle on the
    // corner of the selection rectangle's starting bounds and the selection hidden.
    void Reset();

    // --- The view ---
    // The scroll bars' thickness.
    void SetBarExtent(int extent);
    // The client area's size (scroll bars included), before the window is shown.
    void SetClientSize(int fullWidth, int fullHeight) {
        state_.client.Resize(fullWidth, fullHeight);
    }
    // The area a picture is fit into: the whole client area, as no scroll bar shows at fit.
    Size FitArea() const { return {state_.client.FullWidth(), state_.client.FullHeight()}; }
    // The client area took a new size (scroll bars included): the picture is laid out again
    // and the caption rewritten.
    void ClientResized(int fullWidth, int fullHeight);
    // A picture is about to be loaded: it is drawn at its natural size until laid out.
    void StartLoading();
    // A picture was loaded; no size: the file was not a valid image. `stored` is the size
    // its pixels are stored at and `orientation` how they are shown upright: everything the
    // view measures (fit, zoom, caption, selection) is the upright picture. A free picture
    // takes its natural size, a filling one keeps covering the panel; a valid picture's size
    // is kept and laid out. False when the layout failed (the window shows "例外発生").
    bool PictureLoaded(std::optional<Size> stored, Orientation orientation = Orientation::AsStored);
    // The loaded picture's upright size and its mapping to the stored pixels.
    const Size& PictureSize() const { return state_.picture; }
    Orientation PictureOrientation() const { return state_.orientation; }
    UprightMapping Mapping() const;
    // A size on the upright picture (as the picture is shown) as the stored pixels have it:
    // width and height exchanged for the orientations that swap them.
    Size ToStored(Size upright) const;
    // The ratio and the caption of entry k (the start-up caption for k < 1). Throws
    // std::out_of_range for k beyond the list.
    void UpdateCaption(int k);
    // A zoom step of step x 5 percentage points around the anchor. False when the layout
    // failed.
    bool StepZoom(int step);
    // "フィット" and "実寸". False when the layout failed.
    bool Fit();
    bool ActualSize();
    ViewMode Mode() const { return state_.mode; }
    // The scroll bars or the wheel moved a position.
    void ScrollTo(int horizontal, int vertical);

    // --- Mouse over the picture and the panel ---
    void PressPicture(int x, int y);
    // Pans by the move; `pending` lets waiting window events run after a scroll, before the
    // drag position is recorded.
    void DragPicture(int x, int y, const std::function<void()>& pending);
    void ReleasePicture() { state_.dragging = false; }
    // A double-click: one zoom step in, and the next move does not pan. False when the
    // layout failed.
    bool DoubleClickPicture();
    void PressPanel(int x, int y);

    // --- The selection rectangle ---
    bool Selecting() const { return state_.selecting; }
    // "範囲選択": selection mode on or off. With an empty list the mode only goes off, and
    // the rectangle and its commands stay as they are. Switching it on centres the rectangle
    // on the anchor and shows it. Refused (false, nothing changes) while the overlay is shown.
    bool ToggleSelection();
    // Selection mode may be switched: not while the overlay is shown.
    bool SelectionAllowed() const { return !state_.overlay; }
    // "コピー" and "取出表示" are enabled.
    bool CopyAndPickAllowed() const { return state_.selectionCommands; }
    // Shows the rectangle centred where the anchor's press was, or hides it.
    void ShowSelection(bool show);
    // The drag caption: "選択範囲移動" (moving) or "選択範囲拡縮" with the offset and the size
    // in actual pixels.
    std::string SelectionCaption(SelectionDrag part) const;
    // Drags of the rectangle and of its handle; positions are in the coordinates of the part
    // pressed. A press of a button other than the left one starts nothing and returns false.
    // The caption shows the selection during a drag and goes back to what it was at its end.
    bool StartSelectionDrag(bool leftButton, int x, int y, SelectionDrag part);
    void DragSelection(int x, int y, SelectionDrag part);
    void EndSelectionDrag(SelectionDrag part);
    bool SelectionVisible() const { return state_.selectionVisible; }
    const Rect& SelectionRect() const { return state_.selection; }
    const Rect& HandleRect() const { return state_.handle; }
    // The selected area in actual pixels of the upright picture: position from its top-left,
    // and size.
    Rect SelectedArea() const;
    // The selected area for "コピー" and "取出表示": nothing when it is under one actual pixel
    // wide or high (the window beeps); throws std::runtime_error "選択範囲が大きすぎます (W x H)"
    // when it is larger than the largest picture the program makes.
    std::optional<Rect> AreaToTake() const;
    // The rectangle, in the coordinates of SelectionRect, that shows `area` (actual pixels of
    // the upright picture): SelectedArea's conversion back, each of its numbers times the
    // ratio, halves to even. The outline of an area a command will take rather than the one
    // selected (a lossless crop's, snapped to the blocks).
    Rect DisplayedArea(Rect area) const;
    // A displayed length in actual pixels (divided by the ratio, halves to even); 0 while
    // the picture is shown 0 pixels wide.
    int ActualPixels(int displayed) const;

    // --- The EXIF overlay ---
    // "Exif表示": the overlay on or off; on, it ends selection mode.
    void ToggleOverlay();
    bool OverlayShown() const { return state_.overlay; }

    // --- Picks ---
    // Counts one more pick and returns its number.
    int NextPickNumber() { return ++state_.pickCount; }

    // --- What the window shows ---
    const ScrollArea& Client() const { return state_.client; }
    const Rect& Panel() const { return state_.client.Content(); }
    const Rect& Image() const { return state_.image; }
    bool ImageFilling() const { return state_.imageFilling; }
    bool Stretch() const { return state_.stretch; }
    // The panel's interior: its client rectangle less the 1-pixel bevel.
    Rect PanelInterior() const;
    // The caption as last written.
    const std::string& Caption() const { return state_.caption; }
    void SetCaption(std::string caption) { state_.caption = std::move(caption); }
    // "Tess v0.1 ..." of the window before any entry is shown.
    static std::string StartupCaption();

    // --- The overview ---
    bool OverviewShown() const { return state_.overview; }
    void SetOverviewShown(bool shown) { state_.overview = shown; }

    // --- Full screen and the slideshow ---
    FullScreenMode& FullScreen() { return fullScreen_; }
    const FullScreenMode& FullScreen() const { return fullScreen_; }
    Slideshow& Slides() { return slides_; }
    const Slideshow& Slides() const { return slides_; }

private:
    bool LayOut();
    void Pan(int dx, int dy);
    void SetImageFilling(bool filling);
    void FitImage();
    void CenterImage();
    void PlaceHandle();
    void SetSelecting(bool on);

    std::function<std::string(std::string_view)> displayPath_;
    ImageList list_;
    ViewState state_;
    Size storedPicture_; // the loaded picture's size as its pixels are stored
    FullScreenMode fullScreen_;
    Slideshow slides_;
};

} // namespace tessaly
