// The main window: the image list, the view with its fit, zoom and panning, the caption,
// the context menu with every command, the selection rectangle and the EXIF overlay.
#pragma once

#include "colour/DisplayColours.h"
#include "exif/ExifInfo.h"
#include "jpeg/OrientationTurn.h"
#include "model/Pick.h"
#include "model/SaveFolder.h"
#include "model/ViewerModel.h"
#include "overview/GridGeometry.h"
#include "picture/Bitmap.h"
#include "pictures/EarlyDecode.h"
#include "pictures/PictureDecoders.h"
#include "viewer/CropSaveDialog.h"
#include "viewer/ShownPicture.h"

#include <QEvent>
#include <QPointer>
#include <QWidget>
#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMimeData;
class QMouseEvent;
class QTimer;

namespace tessaly {

class FileCommands;
class PictureControl;
class SelectionShape;
class ViewPanel;
class ScrollingClient;
class TwoColumnMenu;
class PickWindow;
class ReadmeWindow;
class ScreenSaverInhibitor;
struct CommandRow;
class OverviewGrid;

// How the main window shows pictures: in the display's colours (the program's; without
// them the window keeps its own, for a display without a profile), and upright by their
// orientation or as stored (--as-stored).
struct ShowingOptions {
    DisplayColours* colours = nullptr;
    bool asStored = false;
    bool overview = false; // start in the overview (--overview)
    // The first picture's screen copy, decoded since the program started (EarlyDecode),
    // handed to the picture pipeline for the first entry shown.
    std::unique_ptr<EarlyDecode> early;
};

class MainWindow : public QWidget {
    Q_OBJECT
public:
    // Creates the window and runs Start with the command-line arguments (the program
    // name excluded), which builds the image list and shows its first entry. The save
    // folder is the program's, shared with the pick windows; without one the window keeps
    // its own. The picture pipeline decodes with `decoders`.
    explicit MainWindow(std::vector<std::string> arguments = {}, SaveFolder* saveFolder = nullptr,
                        PictureDecoders decoders = DefaultPictureDecoders(),
                        ShowingOptions showing = {}, QWidget* parent = nullptr);
    ~MainWindow() override;

    // The window's controls and the context menu's items, in their order (owned by the
    // window); the command table (MainWindowCommands) makes the items. The handlers below
    // are the way in; tests read and press the controls here.
    struct Controls {
        ScrollingClient* client = nullptr; // the scrolling client area
        ViewPanel* panel = nullptr;
        PictureControl* picture = nullptr;
        SelectionShape* selectionFrame = nullptr;  // the selection rectangle
        SelectionShape* selectionHandle = nullptr; // its corner handle
        QLabel* overlayLabel = nullptr;            // the EXIF overlay, and its copy one pixel off
        QLabel* overlayCopy = nullptr;
        TwoColumnMenu* menu = nullptr;

        QAction* zoomIn5Item = nullptr;
        QAction* zoomIn1Item = nullptr;
        QAction* zoomOut1Item = nullptr;
        QAction* zoomOut5Item = nullptr;
        QAction* zoomSeparator = nullptr;
        QAction* overlayItem = nullptr;
        QAction* selectionItem = nullptr;
        QAction* copyAreaItem = nullptr;
        QAction* pickAreaItem = nullptr;
        QAction* cropSaveItem = nullptr;   // "選択範囲を無劣化で保存..."
        QAction* fitItem = nullptr;        // "フィット"
        QAction* actualSizeItem = nullptr; // "実寸"
        QAction* fullScreenItem = nullptr; // "全画面表示"
        QAction* stepSeparator = nullptr;
        QAction* nextItem = nullptr;
        QAction* previousItem = nullptr;
        QAction* firstItem = nullptr;
        QAction* turnSeparator = nullptr;
        QAction* turnRightItem = nullptr;
        QAction* turnLeftItem = nullptr;
        QAction* bakeItem = nullptr; // "回転を画素に反映"
        QAction* fileSeparator = nullptr;
        QAction* trashItem = nullptr;     // "ゴミ箱へ移動"
        QAction* moveItem = nullptr;      // "フォルダへ移動..."
        QAction* copyItem = nullptr;      // "フォルダへコピー..."
        QAction* moveAgainItem = nullptr; // "前回のフォルダへ移動"
        QAction* undoItem = nullptr;      // "元に戻す"
        QAction* slideshowSeparator = nullptr;
        QAction* slideshowItem = nullptr; // "スライドショー", and its intervals
        QAction* every2Item = nullptr;
        QAction* every3Item = nullptr;
        QAction* every5Item = nullptr;
        QAction* every10Item = nullptr;
        QAction* endSeparator = nullptr;
        QAction* readmeItem = nullptr;
        QAction* endItem = nullptr;
        QAction* overviewItem = nullptr;  // "一覧表示"
        OverviewGrid* overview = nullptr; // the grid of thumbnails, made when first shown
    };
    const Controls& Ui() const { return ui_; }
    // The EXIF reader of the overlay.
    const TExifInfo& ExifReader() const { return exifInfo_; }

    // --- Start-up and shutdown ---
    // The largest size the window shows a picture at when it first shows one, known before it
    // is mapped: fitted to the window's outer size, which its client area never exceeds (the
    // window manager's frame takes its share once it is known, SettleFrame), in the device
    // pixels of `ratio`, as the pixels are stored (for EarlyDecode::Aim).
    static FitSize FirstShownSize(bool asStored, qreal ratio);
    // Builds the image list of the arguments and shows its first entry.
    void Start(const std::vector<std::string>& arguments);
    // The first activation places the first pick's corner and the save folder follows the
    // list; later activations do nothing.
    void WindowActivated();
    void WindowClosing();

    // --- The image list ---
    void DropFiles(const std::vector<std::string>& paths);
    // The local files of a drop, handed to DropFiles.
    void DropMimeData(const QMimeData& mime);
    // Sorts the list just built and shows its first entry; the box "Nothing" for none.
    void ShowFirstAfterBuild();
    // The save folder follows the list (SaveFolder::FollowList).
    void FollowSaveFolder();
    void ShowNext();
    void ShowPrevious();
    void ShowFirst();
    void ShowLast();
    // A key press (with the modifiers held): the command the command table lists for the key
    // with its modifiers, else for the key, while the list has entries (some keys act
    // without: CommandRow::withoutList).
    void PressKey(int key);
    // A command of the table, from its key or its menu item: it stops the slideshow unless
    // the row keeps it.
    void RunCommand(const CommandRow& row);

    // --- Steps on the shown file (FileCommands) ---
    void MoveToTrash();
    void DeleteForGood();
    void MoveToFolder();
    void CopyToFolder();
    void MoveToLastFolder();
    void UndoFileStep();
    FileCommands& Files() { return *files_; }
    // The list changed on the disk or by a step: shows entry k anew (k > 0), or keeps the
    // shown entry with its position updated (0); an emptied list shows no picture.
    void FollowList(int k);

    // --- The view ---
    void ShowEntry(int k);
    void StepZoom(int step);
    void FitToWindow();
    void ShowActualSize();
    void ZoomIn5();
    void ZoomIn1();
    void ZoomOut1();
    void ZoomOut5();
    void ClientResized();
    void PressPicture(Qt::MouseButton button, int x, int y);
    void DragPicture(int x, int y);
    void ReleasePicture();
    void DoubleClickPicture();
    void PressPanel(Qt::MouseButton button, int x, int y);

    // --- The overview ---
    // Switches between the single picture and the grid of thumbnails; leaving the grid shows
    // its current entry. While the grid shows, ShowEntry only moves the current entry.
    void ToggleOverview();
    // Moves the current entry in the grid; nothing in the single view.
    void MoveInOverview(GridMove move);
    bool OverviewShown() const { return model_.OverviewShown(); }

    // --- The menu's other commands ---
    void ToggleOverlay();
    void ToggleSelection();
    void CopyArea();
    void PickArea();
    void ShowReadme();
    void EndProgram();

    // --- Lossless turns and crops of the shown file (MainWindowLossless.cpp) ---
    // The file's orientation tag turned; the view turns with it, from the pixels it has.
    void TurnRight();
    void TurnLeft();
    void TurnHalf();
    // The turn written into the pixels (asking first when partial blocks must be trimmed);
    // the file is shown anew.
    void BakeTurn();
    // The selected area saved as a new file cut from the DCT blocks, named in a save dialog
    // whose caption gives the size saved.
    void SaveSelectionLossless();
    // The save dialog SaveSelectionLossless opens; tests put their own in its place.
    void SetCropSaveDialog(std::unique_ptr<CropSaveDialog> dialog) {
        cropSaveDialog_ = std::move(dialog);
    }
    // --- Full screen and the slideshow (MainWindowFullScreen.cpp) ---
    // "全画面表示": the whole screen the window is on, or back to the place it had.
    void ToggleFullScreen();
    // Escape: out of full screen, else the slideshow stopped (EscapeMeaning).
    void PressEscape();
    // "スライドショー": the next picture every interval, or stopped.
    void ToggleSlideshow();
    void StopSlideshow();
    // The interval items: the slideshow's interval in seconds.
    template <int Seconds> void SlideshowEvery() {
        SetSlideshowInterval(std::chrono::seconds(Seconds));
    }
    void SetSlideshowInterval(std::chrono::seconds interval);
    // The slideshow's timer fired at `now`: the next picture when it is due and nothing holds
    // it (a folder search, a modal dialog, an open popup).
    void SlideshowTick(Slideshow::Clock::time_point now);

    // --- The selection rectangle ---
    void ShowSelectionCaption(bool moving);
    // The mouse on the selection: on the rectangle (`Move`) or on its handle (`Resize`), in
    // the coordinates of the part pressed.
    void PressSelection(SelectionDrag part, Qt::MouseButton button, int x, int y);
    void DragSelection(SelectionDrag part, int x, int y);
    void ReleaseSelection(SelectionDrag part);

    // --- The EXIF overlay ---
    void ShowOverlay(int k);

    // The selected area cut out of the upright picture decoded at full size (never the zoomed
    // or fitted one on the screen), white where it lies outside the picture. Nothing, with a
    // beep, when the area is under one actual pixel wide or high; throws when it is larger
    // than the largest picture the program makes.
    std::optional<Bitmap> TakeSelectedArea();

    // The state, read-only: a copy of the view's state, and the model itself.
    ViewState Snapshot() const { return model_.Snapshot(); }
    const ViewerModel& Model() const { return model_; }
    const SaveFolder& Folder() const { return *saveFolder_; }

    // Opens the context menu at a screen position.
    void ShowMenu(const QPoint& globalPos);

signals:
    // The window was closed: the application ends.
    void Closed();
    // "おわり": the application is asked to end, without the close handler.
    void TerminateRequested();

public:
    // The pick window made last (none before the first pick), which the next is placed beside.
    PickWindow* CurrentPickWindow() const;
    // The readme window (set by the application after creating it).
    void SetReadmeWindow(ReadmeWindow* readme) { readme_ = readme; }
    // The readme file "ヘルプ" loads (the executable's folder; tests point it elsewhere).
    void SetReadmePath(QString path) { readmePath_ = std::move(path); }

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void changeEvent(QEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void CreateMenu();
    // Shows what the model says: the client area, the panel, the picture, the selection,
    // the caption and the menu's check marks and enabled items. Handlers run it when the
    // outermost of them ends.
    void ApplyView();
    // Runs ApplyView when the outermost handler in progress ends, however it ends.
    class ViewUpdate;
    friend class ViewUpdate;
    // The slideshow's timer and the screen kept awake (MainWindowFullScreen.cpp).
    void CreateSlideshow();
    void ArmSlideshow();
    // The slideshow's timer running only while the slideshow does, and the screen kept awake
    // while it runs in full screen; part of ApplyView.
    void ShowSlideshowState();
    // The pick windows belong to this window while the model says so
    // (FullScreenMode::PicksBelongToMainWindow), so that the window manager keeps them above it
    // in full screen; part of ApplyView.
    void ShowPicksOwner();
    void LeaveFullScreen();
    // Shows the box "例外発生" when a layout failed.
    void ReportLayout(bool laidOut);

    // Once the window manager has framed the window: the outer size becomes the main
    // window's (SettledOuterSize) and the window is centred again; the first pick's place
    // is known from then on.
    void SettleFrame();
    // Turns the shown file by its tag (MainWindowLossless.cpp).
    void TurnShown(Turn turn);
    // Makes the grid when first needed and shows it over the client area.
    void EnterOverview();
    // The grid follows the list and its position, and the caption tells the position.
    void ShowOverviewState();

    Controls ui_;
    TExifInfo exifInfo_;
    ViewerModel model_;
    SaveFolder ownFolder_;
    SaveFolder* saveFolder_;
    DisplayColours ownColours_;
    DisplayColours* colours_;
    std::unique_ptr<ShownPicture> shown_;
    std::unique_ptr<FileCommands> files_; // works on model_'s list: made after, gone before
    PickPlacement pickPlacement_;
    QPointer<PickWindow> currentPick_;
    bool picksOwned_ = false; // the pick windows belong to this window (ShowPicksOwner)
    int applyDepth_ = 0;
    bool firstActivate_ = false;
    bool centredOnce_ = false;
    ReadmeWindow* readme_ = nullptr; // owned by the application, lives as long as this window
    QString readmePath_;
    std::unique_ptr<CropSaveDialog> cropSaveDialog_;
    QTimer* slideshowTimer_ = nullptr;
    ScreenSaverInhibitor* screenAwake_ = nullptr;
    bool searching_ = false; // a folder search is in progress
};

} // namespace tessaly
