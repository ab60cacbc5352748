#include "viewer/MainWindow.h"

#include "base/Format.h"
#include "base/ShiftJis.h"
#include "exif/ExifOverlay.h"
#include "jpeg/JpegDecoder.h"
#include "model/Pick.h"
#include "pick/PickWindow.h"
#include "picture/AreaCut.h"
#include "picture/PictureLimit.h"
#include "pictures/LoadedPicture.h"
#include "readme/ReadmeWindow.h"
#include "ui/BitmapView.h"
#include "ui/Cursors.h"
#include "ui/Dialogs.h"
#include "ui/Fonts.h"
#include "ui/Guard.h"
#include "ui/MenuItems.h"
#include "ui/TwoColumnMenu.h"
#include "ui/WindowFrame.h"
#include "ui/WindowPlacement.h"
#include "viewer/ListOrder.h"
#include "viewer/PictureControl.h"
#include "viewer/ScrollingClient.h"
#include "viewer/SearchFiles.h"
#include "viewer/SelectionShape.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QGuiApplication>
#include <QKeyEvent>
#include <QLabel>
#include <QMimeData>
#include <QMouseEvent>
#include <QScreen>
#include <QUrl>
#include <chrono>
#include <iostream>
#include <stdexcept>

namespace tessaly {

namespace {

constexpr int kOuterWidth = 593;
constexpr int kOuterHeight = 428;
constexpr int kClientWidth = kOuterWidth - kAssumedFrameWidth;
constexpr int kClientHeight = kOuterHeight - kAssumedFrameHeight;

QRect ToQRect(const Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

std::string ToPath(const QString& localFile) {
    return QFile::encodeName(localFile).toStdString();
}

} // namespace

ViewPanel::ViewPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAutoFillBackground(true);
}

// Applies the model's answer to the controls when the outermost handler ends.
class MainWindow::ViewUpdate {
public:
    explicit ViewUpdate(MainWindow& form) : form_(form) { ++form_.applyDepth_; }
    ~ViewUpdate() {
        if (--form_.applyDepth_ == 0)
            form_.ApplyView();
    }
    ViewUpdate(const ViewUpdate&) = delete;
    ViewUpdate& operator=(const ViewUpdate&) = delete;

private:
    MainWindow& form_;
};

MainWindow::MainWindow(std::vector<std::string> arguments, SaveFolder* saveFolder,
                       PictureDecoders decoders, ShowingOptions showing, QWidget* parent)
    : QWidget(parent), model_([](std::string_view path) { return DisplayPath(path); }),
      saveFolder_(saveFolder ? saveFolder : &ownFolder_),
      colours_(showing.colours ? showing.colours : &ownColours_), asStored_(showing.asStored),
      pipeline_(
          std::make_unique<PicturePipeline>(std::move(decoders), [this](PictureResult result) {
              // On a worker thread: handed to the GUI thread, where all state lives. The
              // pipeline is destroyed (and its workers joined) before this window.
              arrived_.Put(std::move(result));
              QMetaObject::invokeMethod(
                  this, [this] { TakeArrivedPixels(); }, Qt::QueuedConnection);
          })) {
    const ViewUpdate update(*this);
    CreateControls();
    CreateMenu();
    readmePath_ = ReadmePath();
    Start(arguments);
}

MainWindow::~MainWindow() {
    // No result may arrive once the window is going: the workers are joined here.
    pipeline_.reset();
}

void MainWindow::CreateControls() {
    setWindowTitle(QStringLiteral("Form1"));
    setFont(WindowFont(12));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    resize(kClientWidth, kClientHeight);

    ui_.client = new ScrollingClient(this);
    ui_.panel = new ViewPanel;
    ui_.client->SetContent(ui_.panel);
    model_.SetBarExtent(ui_.client->BarExtent());
    ui_.panel->installEventFilter(this);
    ui_.client->installEventFilter(this);
    ui_.client->Viewport()->installEventFilter(this);
    connect(ui_.client, &ScrollingClient::Resized, this, [this] { ClientResized(); });
    connect(ui_.client, &ScrollingClient::ScrollRequested, this, [this](int h, int v) {
        const ViewUpdate update(*this);
        model_.ScrollTo(h, v);
    });
    ui_.client->setGeometry(rect());
    model_.SetClientSize(ui_.client->width(), ui_.client->height());

    ui_.picture = new PictureControl(ui_.panel);
    ui_.picture->setGeometry(1, 1, 0, 0);
    ui_.picture->installEventFilter(this);

    ui_.selectionFrame = new SelectionShape(SelectionShape::Fill::None, ui_.panel);
    ui_.selectionHandle = new SelectionShape(SelectionShape::Fill::Black, ui_.panel);
    ui_.selectionHandle->setCursor(Qt::SizeFDiagCursor);
    ui_.selectionFrame->installEventFilter(this);
    ui_.selectionHandle->installEventFilter(this);

    const QFont overlayFont = WindowFont(16, true);
    ui_.overlayLabel = new QLabel(ui_.panel);
    ui_.overlayCopy = new QLabel(ui_.panel);
    for (QLabel* label : {ui_.overlayLabel, ui_.overlayCopy}) {
        label->setFont(overlayFont);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setAutoFillBackground(false);
        label->setTextFormat(Qt::PlainText);
        label->setForegroundRole(QPalette::WindowText);
        label->hide();
    }
    QPalette red = ui_.overlayLabel->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    ui_.overlayLabel->setPalette(red);
    QPalette highlight = ui_.overlayCopy->palette();
    highlight.setColor(QPalette::WindowText, highlight.color(QPalette::HighlightedText));
    ui_.overlayCopy->setPalette(highlight);
}

void MainWindow::CreateMenu() {
    ui_.menu = new TwoColumnMenu(this);
    TwoColumnMenu& menu = *ui_.menu;
    ui_.zoomIn5Item = AddMenuItem(menu, *this, QStringLiteral("拡大(+5)"), &MainWindow::ZoomIn5);
    ui_.zoomIn1Item = AddMenuItem(menu, *this, QStringLiteral("拡大(+1)"), &MainWindow::ZoomIn1);
    ui_.zoomOut1Item = AddMenuItem(menu, *this, QStringLiteral("縮小(-1)"), &MainWindow::ZoomOut1);
    ui_.zoomOut5Item = AddMenuItem(menu, *this, QStringLiteral("縮小(-5)"), &MainWindow::ZoomOut5);
    ui_.zoomSeparator = AddMenuSeparator(menu, *this);
    ui_.overlayItem =
        AddMenuItem(menu, *this, QStringLiteral("Exif表示"), &MainWindow::ToggleOverlay, true);
    ui_.selectionItem =
        AddMenuItem(menu, *this, QStringLiteral("範囲選択"), &MainWindow::ToggleSelection, true);
    ui_.copyAreaItem = AddMenuItem(menu, *this, QStringLiteral("コピー"), &MainWindow::CopyArea);
    ui_.pickAreaItem = AddMenuItem(menu, *this, QStringLiteral("取出表示"), &MainWindow::PickArea);
    ui_.fitItem =
        AddMenuItem(menu, *this, QStringLiteral("フィット"), &MainWindow::FitToWindow, true);
    ui_.actualSizeItem =
        AddMenuItem(menu, *this, QStringLiteral("実寸"), &MainWindow::ShowActualSize, true);
    ui_.stepSeparator = AddMenuSeparator(menu, *this);
    ui_.nextItem = AddMenuItem(menu, *this, QStringLiteral("次の画像"), &MainWindow::ShowNext);
    ui_.previousItem =
        AddMenuItem(menu, *this, QStringLiteral("前の画像"), &MainWindow::ShowPrevious);
    ui_.firstItem = AddMenuItem(menu, *this, QStringLiteral("先頭へ"), &MainWindow::ShowFirst);
    ui_.endSeparator = AddMenuSeparator(menu, *this);
    ui_.readmeItem = AddMenuItem(menu, *this, QStringLiteral("ヘルプ"), &MainWindow::ShowReadme);
    ui_.endItem = AddMenuItem(menu, *this, QStringLiteral("おわり"), &MainWindow::EndProgram);
    menu.SetColumnBreak(ui_.fitItem);
}

// ---------------------------------------------------------------------------------------
// Start-up and shutdown

void MainWindow::Start(const std::vector<std::string>& arguments) {
    const ViewUpdate update(*this);
    model_.List().Replace({});
    model_.Reset();
    if (!arguments.empty())
        Guarded(
            [&] {
                model_.List().Replace(CollectFiles(arguments));
                ShowFirstAfterBuild();
            },
            this);
    firstActivate_ = true;
}

FileListType MainWindow::CollectFiles(const std::vector<std::string>& paths) {
    FileListType found;
    bool aborted = false;
    {
        const BusyCursor busy;
        for (const std::string& path : paths) {
            if (ExtCheck(path)) {
                found.push_back(path);
            } else if (IsFolder(path)) {
                SearchFiles(path, found, std::string(kJpegExtension), aborted);
                if (aborted)
                    break;
            }
        }
    }
    if (aborted)
        ShowPlainBox(QStringLiteral("検索を中断しました。"), this);
    return found;
}

void MainWindow::WindowActivated() {
    if (!firstActivate_)
        return;
    // Before the window manager has reported the frame, the window's corner is not known.
    if (frameSettled_)
        MovePickToCorner();
    else
        pickMovePending_ = true;
    firstActivate_ = false;
    FollowSaveFolder();
}

void MainWindow::MovePickToCorner() {
    MovePickToCorner(OuterPos(*this));
}

void MainWindow::MovePickToCorner(QPoint corner) {
    if (PickWindow* pick = CurrentPickWindow())
        SetOuterPos(*pick, corner);
}

void MainWindow::WindowClosing() {
    DropPicture();
    model_.List().Clear();
}

void MainWindow::EndProgram() {
    emit TerminateRequested();
}

// ---------------------------------------------------------------------------------------
// The image list

void MainWindow::DropFiles(const std::vector<std::string>& paths) {
    const ViewUpdate update(*this);
    model_.List().Replace({});
    // The save folder follows the new list even when showing its first entry fails.
    struct SaveFolderUpdate {
        MainWindow* form;
        ~SaveFolderUpdate() { form->FollowSaveFolder(); }
    } const saveFolder{this};
    model_.List().Replace(CollectFiles(paths));
    ShowFirstAfterBuild();
}

void MainWindow::ShowFirstAfterBuild() {
    const ViewUpdate update(*this);
    if (!model_.StartList(SortFileList)) {
        ShowInformationBox(QStringLiteral("Nothing"), this);
        return;
    }
    ShowEntry(model_.List().First());
}

void MainWindow::FollowSaveFolder() {
    saveFolder_->FollowList(model_.List().Entries());
}

void MainWindow::ShowNext() {
    travel_ = 1;
    ShowEntry(model_.List().Next());
}

void MainWindow::ShowPrevious() {
    travel_ = -1;
    ShowEntry(model_.List().Previous());
}

void MainWindow::ShowFirst() {
    ShowEntry(model_.List().First());
}

void MainWindow::PressKey(int key) {
    if (model_.List().Empty())
        return;
    switch (key) {
    case Qt::Key_Control: // previous
    case Qt::Key_Left:
        ShowPrevious();
        break;
    case Qt::Key_Space: // next
    case Qt::Key_Right:
        ShowNext();
        break;
    case Qt::Key_Up: // first
        ShowFirst();
        break;
    case Qt::Key_Down: // last
        ShowEntry(model_.List().Last());
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------
// The view

void MainWindow::ShowEntry(int k) {
    const ViewUpdate update(*this);
    const std::string& path = model_.List().Path(k);
    model_.StartLoading();
    const BusyCursor busy;
    std::optional<Size> natural;
    Orientation orientation = Orientation::AsStored;
    try {
        // Only the header is read here; the pixels come from the picture pipeline, as stored.
        // The header's orientation and colour profile say how they are shown.
        const JpegInfo header = ReadJpegHeader(RegularFile(path));
        CheckDecodable(header);
        natural = Size{header.width, header.height};
        if (!asStored_)
            orientation = header.orientation;
        DropPicture();
        ColourConversion conversion = colours_->ForPicture(header);
        ReportColourProblem(path, conversion.problem);
        copiesProfile_ = ProfileOfCopies(header);
        ui_.picture->SetPicture(std::make_shared<LoadedPicture>(header.width, header.height),
                                PixelLook{orientation, std::move(conversion.transform)});
    } catch (const FileReadError&) {
        throw std::runtime_error(Format("ファイル %s は開けません", {DisplayPath(path)}));
    } catch (const JpegTooLarge& e) {
        throw std::runtime_error(Format("ファイル %s は大きすぎて表示できません (%d x %d)",
                                        {DisplayPath(path), e.width(), e.height()}));
    } catch (const JpegError&) {
        DropPicture(); // not a valid image: an empty picture, and the steps go on
    }
    ReportLayout(model_.PictureLoaded(natural, orientation));
    if (natural)
        RequestPixels(path);
    UpdateCaption(k);
    ShowOverlay(k);
}

QSize MainWindow::ShownDeviceSize() const {
    const Rect& shown = model_.Image();
    return DeviceSize(QSize(shown.width, shown.height), ui_.picture->devicePixelRatioF());
}

QSize MainWindow::StoredDeviceSize(QSize shown) const {
    const Size stored = model_.ToStored({shown.width(), shown.height()});
    return {stored.width, stored.height};
}

void MainWindow::ReportColourProblem(const std::string& path, const std::string& problem) {
    if (problem.empty() || !colourProblemsReported_.insert(path).second)
        return;
    std::cerr << "tessaly: " << path << ": " << problem << ", shown without it\n";
}

void MainWindow::RequestPixels(const std::string& path) {
    // The size the picture is drawn at, in device pixels, as the stored pixels have it; a
    // picture not larger than that comes at full size at once.
    const QSize shown = StoredDeviceSize(ShownDeviceSize());
    const LoadedPicture& picture = *ui_.picture->Picture();
    pixelRequest_ =
        pipeline_->Show(path, shown.width(), shown.height(), picture.Width(), picture.Height());
}

void MainWindow::TakeArrivedPixels() {
    for (PictureResult& result : arrived_.TakeAll())
        PixelsArrived(std::move(result));
}

void MainWindow::AwaitFullPixels() {
    using namespace std::chrono_literals;
    while (ui_.picture->HasPicture() && !ui_.picture->Picture()->Settled() && pixelRequest_ != 0) {
        arrived_.WaitForResult(100ms);
        TakeArrivedPixels();
    }
}

void MainWindow::PixelsArrived(PictureResult result) {
    const std::shared_ptr<LoadedPicture>& picture = ui_.picture->Picture();
    if (result.request != pixelRequest_ || !picture) {
        pipeline_->Release(std::move(result.pixels)); // for a picture no longer shown
        return;
    }
    // A picture whose decode fails stays empty.
    picture->Deliver(result);
    if (picture->Settled()) {
        pixelRequest_ = 0;
        DecodeNeighbours();
    } else if (result.exact && QSize(result.pixels->Width(), result.pixels->Height()) ==
                                   StoredDeviceSize(ui_.picture->DeviceDrawSize())) {
        // A neighbour decoded ahead into exactly what the control draws (before it is turned
        // and converted): it is the final picture already, and the full-size pixels that
        // follow draw the same.
        const Bitmap* copy = result.pixels->Rgb();
        ui_.picture->AdoptDisplayCopy(
            std::shared_ptr<const Bitmap>(std::move(result.pixels), copy));
        return;
    }
    ui_.picture->PixelsChanged();
}

void MainWindow::DecodeNeighbours() {
    std::vector<std::string> paths = model_.List().Neighbours(travel_);
    if (paths.empty())
        return;
    // At the shown picture's stored shape: most neighbours are taken the same way. A
    // neighbour's copy is at most its picture's size at fit, in device pixels, however far
    // the window is zoomed in.
    const QSize shown = StoredDeviceSize(ShownDeviceSize());
    const Size area = model_.FitArea();
    const qreal ratio = ui_.picture->devicePixelRatioF();
    pipeline_->Ahead(std::move(paths), shown.width(), shown.height(), [area, ratio](int w, int h) {
        const Rect fit = FitRect(h, w, {0, 0, w, h}, area);
        const QSize device = DeviceSize(QSize(fit.width, fit.height), ratio);
        return Size{device.width(), device.height()};
    });
}

void MainWindow::DropPicture() {
    if (std::shared_ptr<LoadedPicture> picture = ui_.picture->TakePicture()) {
        // Handed to the pipeline as a pointer to its full pixels that owns the whole picture:
        // the picture, and with it those pixels, are freed on a worker thread.
        const DecodedPicture* full = picture->FullPixels();
        pipeline_->Release(std::shared_ptr<const DecodedPicture>(std::move(picture), full));
    }
    pixelRequest_ = 0;
    copiesProfile_.clear();
}

void MainWindow::ReportLayout(bool laidOut) {
    if (!laidOut)
        ShowInformationBox(QStringLiteral("例外発生"), this);
}

void MainWindow::UpdateCaption(int k) {
    const ViewUpdate update(*this);
    model_.UpdateCaption(k);
}

void MainWindow::ApplyView() {
    ui_.client->Show(model_.Client());
    ui_.picture->setGeometry(ToQRect(model_.Image()));
    ui_.picture->SetStretch(model_.Stretch());
    ui_.selectionFrame->setGeometry(ToQRect(model_.SelectionRect()));
    ui_.selectionHandle->setGeometry(ToQRect(model_.HandleRect()));
    ui_.selectionFrame->setVisible(model_.SelectionVisible());
    ui_.selectionHandle->setVisible(model_.SelectionVisible());
    if (model_.SelectionVisible()) {
        ui_.selectionFrame->raise();
        ui_.selectionHandle->raise();
    }
    const QString caption = QString::fromStdString(model_.Caption());
    if (windowTitle() != caption)
        setWindowTitle(caption);
    ApplyMenu();
}

void MainWindow::ApplyMenu() {
    // A check mark goes with the bold default state.
    const auto mark = [](QAction& item, bool on) {
        if (item.isChecked() != on || IsDefault(item) != on)
            SetCheckDefault(item, on);
    };
    mark(*ui_.fitItem, model_.Mode() == ViewMode::Fit);
    mark(*ui_.actualSizeItem, model_.Mode() == ViewMode::ActualSize);
    mark(*ui_.overlayItem, model_.OverlayShown());
    ui_.selectionItem->setEnabled(model_.SelectionAllowed());
    ui_.selectionItem->setChecked(model_.Selecting());
    ui_.copyAreaItem->setEnabled(model_.CopyAndPickAllowed());
    ui_.pickAreaItem->setEnabled(model_.CopyAndPickAllowed());
    for (QAction* step : {ui_.nextItem, ui_.previousItem, ui_.firstItem})
        step->setEnabled(model_.CanStep());
}

void MainWindow::StepZoom(int step) {
    const ViewUpdate update(*this);
    ReportLayout(model_.StepZoom(step));
}

void MainWindow::FitToWindow() {
    const ViewUpdate update(*this);
    ReportLayout(model_.Fit());
}

void MainWindow::ShowActualSize() {
    const ViewUpdate update(*this);
    ReportLayout(model_.ActualSize());
}

void MainWindow::ZoomIn5() {
    StepZoom(5);
}
void MainWindow::ZoomIn1() {
    StepZoom(1);
}
void MainWindow::ZoomOut1() {
    StepZoom(-1);
}
void MainWindow::ZoomOut5() {
    StepZoom(-5);
}

void MainWindow::ClientResized() {
    const ViewUpdate update(*this);
    Guarded([this] { model_.ClientResized(ui_.client->width(), ui_.client->height()); }, this);
}

void MainWindow::PressPicture(Qt::MouseButton, int x, int y) {
    const ViewUpdate update(*this);
    model_.PressPicture(x, y);
}

void MainWindow::DragPicture(int x, int y) {
    const ViewUpdate update(*this);
    model_.DragPicture(x, y, [this] {
        ApplyView();
        QCoreApplication::processEvents();
    });
}

void MainWindow::ReleasePicture() {
    model_.ReleasePicture();
}

void MainWindow::DoubleClickPicture() {
    const ViewUpdate update(*this);
    ReportLayout(model_.DoubleClickPicture());
}

void MainWindow::PressPanel(Qt::MouseButton, int x, int y) {
    model_.PressPanel(x, y);
}

void MainWindow::ShowMenu(const QPoint& globalPos) {
    ui_.menu->Popup(globalPos);
}

// ---------------------------------------------------------------------------------------
// The selection rectangle

void MainWindow::ShowSelectionCaption(bool moving) {
    const ViewUpdate update(*this);
    model_.SetCaption(
        model_.SelectionCaption(moving ? SelectionDrag::Move : SelectionDrag::Resize));
}

void MainWindow::ToggleSelection() {
    const ViewUpdate update(*this);
    model_.ToggleSelection();
}

void MainWindow::PressSelectionFrame(Qt::MouseButton button, int x, int y) {
    SelectionMouseDown(SelectionDrag::Move, button, x, y);
}
void MainWindow::DragSelectionFrame(int x, int y) {
    SelectionMouseMove(SelectionDrag::Move, x, y);
}
void MainWindow::ReleaseSelectionFrame() {
    SelectionMouseUp(SelectionDrag::Move);
}
void MainWindow::PressSelectionHandle(Qt::MouseButton button, int x, int y) {
    SelectionMouseDown(SelectionDrag::Resize, button, x, y);
}
void MainWindow::DragSelectionHandle(int x, int y) {
    SelectionMouseMove(SelectionDrag::Resize, x, y);
}
void MainWindow::ReleaseSelectionHandle() {
    SelectionMouseUp(SelectionDrag::Resize);
}

void MainWindow::SelectionMouseDown(SelectionDrag part, Qt::MouseButton button, int x, int y) {
    const ViewUpdate update(*this);
    // Moving shows the drag cursor; the handle shows its own sizing cursor.
    if (model_.StartSelectionDrag(button == Qt::LeftButton, x, y, part) &&
        part == SelectionDrag::Move)
        SetScreenCursor(Qt::DragMoveCursor);
}

void MainWindow::SelectionMouseMove(SelectionDrag part, int x, int y) {
    const ViewUpdate update(*this);
    model_.DragSelection(x, y, part);
}

void MainWindow::SelectionMouseUp(SelectionDrag part) {
    const ViewUpdate update(*this);
    model_.EndSelectionDrag(part);
    if (part == SelectionDrag::Move)
        SetScreenCursor(std::nullopt);
}

bool MainWindow::FilterShapeMouse(QObject* watched, QEvent::Type type, const QMouseEvent& mouse) {
    if (watched != ui_.selectionFrame && watched != ui_.selectionHandle)
        return false;
    const QPoint pos = mouse.position().toPoint();
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    const SelectionDrag part =
        watched == ui_.selectionFrame ? SelectionDrag::Move : SelectionDrag::Resize;
    Guarded(
        [&] {
            if (press)
                SelectionMouseDown(part, mouse.button(), pos.x(), pos.y());
            else if (type == QEvent::MouseMove)
                SelectionMouseMove(part, pos.x(), pos.y());
            else
                SelectionMouseUp(part);
        },
        this);
    return true;
}

// ---------------------------------------------------------------------------------------
// The EXIF overlay

void MainWindow::ToggleOverlay() {
    const ViewUpdate update(*this);
    model_.ToggleOverlay();
    if (!model_.List().Empty())
        ShowOverlay(model_.List().Index());
}

void MainWindow::ShowOverlay(int k) {
    if (!model_.OverlayShown()) {
        ui_.overlayLabel->hide();
        ui_.overlayLabel->clear();
        ui_.overlayCopy->hide();
        ui_.overlayCopy->clear();
        return;
    }
    const std::string& path = model_.List().Path(k);
    // A read error passes on from here before the labels change: they keep the old text.
    const std::string text = MakeDspExifInfo(exifInfo_, path);
    const QString shown = QString::fromStdString(SjisToUtf8(text))
                              .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ui_.overlayLabel->setText(shown);
    ui_.overlayLabel->move(2, 2);
    ui_.overlayLabel->adjustSize();
    ui_.overlayLabel->show();
    ui_.overlayCopy->setText(ui_.overlayLabel->text());
    ui_.overlayCopy->move(3, 3);
    ui_.overlayCopy->adjustSize();
    ui_.overlayCopy->show();
    ui_.overlayLabel->raise();
    ui_.overlayCopy->raise();
}

// ---------------------------------------------------------------------------------------
// Area copy and pick, help

Bitmap MainWindow::CutSelectedArea() {
    const Rect area = model_.SelectedArea();
    if (area.width < 1 || area.height < 1)
        return {};
    if (ExceedsPictureLimit(area.width, area.height))
        throw std::runtime_error(
            Format("選択範囲が大きすぎます (%d x %d)", {area.width, area.height}));
    // The full-size pixels; a command that comes before the pipeline has delivered them
    // waits for its workers under the busy cursor.
    std::optional<BusyCursor> busy;
    if (ui_.picture->HasPicture() && !ui_.picture->Picture()->Settled()) {
        busy.emplace();
        AwaitFullPixels();
    }
    const DecodedPicture* decoded =
        ui_.picture->HasPicture() ? ui_.picture->Picture()->FullPixels() : nullptr;
    if (!decoded)
        return CutArea(Bitmap(), area.left, area.top, area.width, area.height);
    return CutArea(*decoded, model_.PictureOrientation(), area.left, area.top, area.width,
                   area.height);
}

void MainWindow::CopyArea() {
    const Bitmap out = CutSelectedArea();
    if (out.Width() < 1 || out.Height() < 1) {
        // Under one actual pixel wide or high: nothing is taken, and the beep says so.
        QApplication::beep();
        return;
    }
    PutOnClipboard(out, copiesProfile_);
}

void MainWindow::PickArea() {
    Bitmap picked = CutSelectedArea();
    if (picked.Width() < 1 || picked.Height() < 1) {
        QApplication::beep(); // no window for an empty pick
        return;
    }
    if (pickMovePending_) { // picked before the window manager reported the frame
        pickMovePending_ = false;
        MovePickToCorner();
    }
    QPointer<PickWindow>& current = CurrentPickWindow();
    const QPoint previous = current ? OuterPos(*current) : OuterPos(*this);
    const Point corner = NextPickCorner({previous.x(), previous.y()});
    const QSize outer = OuterSize(*this);
    const Size pickSize{picked.Width(), picked.Height()};
    auto* pick = new PickWindow(*saveFolder_, this);
    current = pick;
    pick->ShowPick({std::move(picked), PickDisplaySize(pickSize, {outer.width(), outer.height()}),
                    QPoint(corner.x, corner.y), model_.NextPickNumber(),
                    ui_.picture->Look().colours, copiesProfile_});
}

void MainWindow::ShowReadme() {
    if (!readme_)
        return;
    readme_->setWindowTitle(ReadmeCaption());
    readme_->LoadReadme(readmePath_);
    CenterForm(*readme_, *this);
    readme_->show();
    readme_->raise();
    readme_->activateWindow();
    // A window shown for the first time gets its frame a moment later: centre it again
    // by the frame the window manager gives it.
    WhenFramed(*readme_, [this] {
        if (readme_ && readme_->isVisible())
            CenterForm(*readme_, *this);
    });
}

// ---------------------------------------------------------------------------------------
// Qt events, each handed to the program's handler

bool MainWindow::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        Guarded([this] { WindowActivated(); }, this);
    return QWidget::event(e);
}

bool MainWindow::eventFilter(QObject* watched, QEvent* e) {
    const auto type = e->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseMove && type != QEvent::MouseButtonDblClick)
        return QWidget::eventFilter(watched, e);
    const auto* mouse = static_cast<QMouseEvent*>(e);
    const QPoint pos = mouse->position().toPoint();
    if (FilterShapeMouse(watched, type, *mouse)) {
        // handled by the selection's own handlers
    } else if (watched == ui_.picture) {
        switch (type) {
        case QEvent::MouseButtonPress:
            Guarded([&] { PressPicture(mouse->button(), pos.x(), pos.y()); }, this);
            break;
        case QEvent::MouseMove:
            Guarded([&] { DragPicture(pos.x(), pos.y()); }, this);
            break;
        case QEvent::MouseButtonRelease:
            Guarded([&] { ReleasePicture(); }, this);
            break;
        default:
            // A double-click of the left button is reported as a double-click, then a press;
            // of another button only as a press.
            if (mouse->button() == Qt::LeftButton)
                Guarded([&] { DoubleClickPicture(); }, this);
            Guarded([&] { PressPicture(mouse->button(), pos.x(), pos.y()); }, this);
            break;
        }
    } else if (watched == ui_.panel &&
               (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)) {
        Guarded([&] { PressPanel(mouse->button(), pos.x(), pos.y()); }, this);
    }
    if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::RightButton)
        ShowMenu(mouse->globalPosition().toPoint());
    return true;
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
    Guarded([&] { PressKey(e->key()); }, this);
    QWidget::keyPressEvent(e);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* e) {
    // A right-click opens the menu at its release (see eventFilter); the menu key opens it here.
    if (e->reason() == QContextMenuEvent::Keyboard)
        ui_.menu->Popup(e->globalPos(), TwoColumnMenu::OpenedBy::Keyboard);
    e->accept();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    WindowClosing();
    e->accept();
    emit Closed();
}

void MainWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    ui_.client->setGeometry(rect());
}

void MainWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (centredOnce_)
        return;
    centredOnce_ = true;
    CentreOnScreen();
    WhenFramed(*this, [this] { SettleFrame(); });
}

QPoint MainWindow::CentredOnScreen(QSize outer) const {
    const QScreen* screen = this->screen();
    if (screen == nullptr)
        return OuterPos(*this);
    const QRect area = screen->availableGeometry();
    return {area.x() + CenterOffset(area.width(), outer.width()),
            area.y() + CenterOffset(area.height(), outer.height())};
}

void MainWindow::CentreOnScreen() {
    if (screen() != nullptr)
        SetOuterPos(*this, CentredOnScreen(OuterSize(*this)));
}

void MainWindow::SettleFrame() {
    // Only while the window still has the size it was created with: a size the user (or
    // the window manager) has given it meanwhile stays.
    QPoint corner = OuterPos(*this);
    if (HasWindowFrame(*this) && size() == QSize(kClientWidth, kClientHeight)) {
        const QSize outer(kOuterWidth, kOuterHeight);
        corner = CentredOnScreen(outer);
        // The widget takes the new geometry only when the window system reports it.
        SetFramedGeometry(*this, corner, outer.shrunkBy(FrameMargins(*this)));
    }
    frameSettled_ = true;
    if (pickMovePending_) {
        pickMovePending_ = false;
        MovePickToCorner(corner);
    }
}

void MainWindow::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void MainWindow::dropEvent(QDropEvent* e) {
    e->acceptProposedAction();
    DropMimeData(*e->mimeData());
}

void MainWindow::DropMimeData(const QMimeData& mime) {
    std::vector<std::string> paths;
    for (const QUrl& url : mime.urls())
        if (url.isLocalFile())
            paths.push_back(ToPath(url.toLocalFile()));
    Guarded([&] { DropFiles(paths); }, this);
}

} // namespace tessaly
