#include "viewer/MainWindow.h"

#include "base/ShiftJis.h"
#include "exif/ExifOverlay.h"
#include "overview/OverviewCaption.h"
#include "overview/OverviewGrid.h"
#include "pick/PickWindow.h"
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
#include "viewer/FileCommands.h"
#include "viewer/ListOrder.h"
#include "viewer/MainWindowCommands.h"
#include "viewer/OverlayLabels.h"
#include "viewer/PictureControl.h"
#include "viewer/ScrollingClient.h"
#include "viewer/SelectionShape.h"
#include "viewer/ViewUpdate.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QCoreApplication>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QKeyEvent>
#include <QMimeData>
#include <QMouseEvent>
#include <QPointer>
#include <QScopedValueRollback>

namespace tessaly {

namespace {

// The client size the main window is created with: its outer size less the assumed frame.
constexpr int kClientWidth = kMainWindowOuterSize.width - kAssumedFrameWidth;
constexpr int kClientHeight = kMainWindowOuterSize.height - kAssumedFrameHeight;

QRect ToQRect(const Rect& r) {
    return {r.left, r.top, r.width, r.height};
}

Point ToPoint(QPoint p) {
    return {p.x(), p.y()};
}

} // namespace

MainWindow::MainWindow(std::vector<std::string> arguments, SaveFolder* saveFolder,
                       PictureDecoders decoders, ShowingOptions showing, QWidget* parent)
    : QWidget(parent), model_([](std::string_view path) { return DisplayPath(path); }),
      saveFolder_(saveFolder ? saveFolder : &ownFolder_),
      colours_(showing.colours ? showing.colours : &ownColours_) {
    const ViewUpdate update(*this);
    CreateControls();
    CreateMenu();
    CreateSlideshow();
    shown_ = std::make_unique<ShownPicture>(std::move(decoders), *ui_.picture, model_, *colours_,
                                            showing.asStored, *this, std::move(showing.early));
    files_ = std::make_unique<FileCommands>(*this, model_.List(), [this](int k) { FollowList(k); });
    readmePath_ = ReadmePath();
    cropSaveDialog_ = std::make_unique<FileCropSaveDialog>(this);
    if (showing.overview)
        EnterOverview();
    Start(arguments);
}

MainWindow::~MainWindow() = default;

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

    const OverlayLabels overlay = OverlayLabels::Create(*ui_.panel);
    ui_.overlayLabel = overlay.text;
    ui_.overlayCopy = overlay.copy;
}

void MainWindow::CreateMenu() {
    ui_.menu = new TwoColumnMenu(this);
    QAction* columnBreak = nullptr;
    for (const CommandRow& row : MainWindowCommands()) {
        QAction* entry = nullptr;
        if (row.kind == CommandRow::Kind::Separator)
            entry = AddMenuSeparator(*ui_.menu, *this);
        else if (row.kind != CommandRow::Kind::KeyOnly)
            entry = AddMenuItem(
                *ui_.menu, *this, QString::fromUtf8(row.caption), [this, &row] { RunCommand(row); },
                row.kind == CommandRow::Kind::CheckItem);
        if (row.item)
            ui_.*row.item = entry;
        if (row.columnBreak)
            columnBreak = entry;
    }
    ui_.menu->SetColumnBreak(columnBreak);
}

// --- Start-up and shutdown ---

FitSize MainWindow::FirstShownSize(bool asStored, qreal ratio) {
    return DeviceShownSize(ShowingNow{ViewMode::Fit, 0, kMainWindowOuterSize, asStored}, ratio);
}

void MainWindow::Start(const std::vector<std::string>& arguments) {
    const ViewUpdate update(*this);
    model_.List().Replace({});
    model_.Reset();
    if (!arguments.empty())
        Guarded(
            [&] {
                const QScopedValueRollback searching(searching_, true);
                model_.List().Replace(CollectFiles(arguments, this));
                files_->Watch(arguments);
                ShowFirstAfterBuild();
            },
            this);
    firstActivate_ = true;
}

void MainWindow::WindowActivated() {
    if (!firstActivate_)
        return;
    firstActivate_ = false;
    pickPlacement_.FirstActivation(ToPoint(OuterPos(*this)));
    FollowSaveFolder();
}

void MainWindow::WindowClosing() {
    files_->Stop();
    shown_->Drop();
    model_.List().Clear();
}

void MainWindow::EndProgram() {
    emit TerminateRequested();
}

// --- The image list ---

void MainWindow::DropFiles(const std::vector<std::string>& paths) {
    const ViewUpdate update(*this);
    model_.List().Replace({});
    // The save folder follows the new list even when showing its first entry fails.
    struct SaveFolderUpdate {
        MainWindow* form;
        ~SaveFolderUpdate() { form->FollowSaveFolder(); }
    } const saveFolder{this};
    StopSlideshow();
    {
        const QScopedValueRollback searching(searching_, true);
        model_.List().Replace(CollectFiles(paths, this));
    }
    files_->Watch(paths);
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
    ShowEntry(model_.StepForward());
}

void MainWindow::ShowPrevious() {
    ShowEntry(model_.StepBack());
}

void MainWindow::ShowFirst() {
    ShowEntry(model_.List().First());
}

void MainWindow::ShowLast() {
    ShowEntry(model_.List().Last());
}

void MainWindow::PressKey(int key) {
    // A key with modifiers runs its own row (Ctrl+Z, Shift+Delete), otherwise the key's.
    const CommandRow* row = CommandForKey(key, model_.OverviewShown());
    if (!row)
        row = CommandForKey(key & ~Qt::KeyboardModifierMask, model_.OverviewShown());
    if (row && (model_.KeysAct() || row->withoutList))
        RunCommand(*row);
}

void MainWindow::RunCommand(const CommandRow& row) {
    if (!row.keepsSlideshow)
        StopSlideshow();
    if (row.act)
        row.act(*this);
    else
        (this->*row.run)();
}

// --- The view ---

void MainWindow::ShowEntry(int k) {
    const ViewUpdate update(*this);
    if (model_.OverviewShown()) { // the picture is opened when the grid is left
        model_.List().SetIndex(k);
        return;
    }
    const std::string& path = model_.List().Path(k);
    model_.StartLoading();
    const BusyCursor busy;
    const ShownPicture::Header header = shown_->Open(path);
    ReportLayout(model_.PictureLoaded(header.stored, header.orientation));
    if (header.stored)
        shown_->RequestPixels(path);
    model_.UpdateCaption(k);
    ShowOverlay(k);
}

void MainWindow::ReportLayout(bool laidOut) {
    if (!laidOut)
        ShowInformationBox(QStringLiteral("例外発生"), this);
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
    ShowSlideshowState();
    ShowPicksOwner();
    if (model_.OverviewShown())
        ShowOverviewState();
    const QString caption = QString::fromStdString(model_.Caption());
    if (windowTitle() != caption)
        setWindowTitle(caption);
    ShowMenuState(ui_, model_);
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

// --- Area copy and pick, help ---

std::optional<Bitmap> MainWindow::TakeSelectedArea() {
    const std::optional<Rect> area = model_.AreaToTake();
    if (!area) {
        QApplication::beep(); // nothing is taken, and the beep says so
        return std::nullopt;
    }
    return shown_->Cut(*area, model_.PictureOrientation());
}

PickWindow* MainWindow::CurrentPickWindow() const {
    return currentPick_;
}

void MainWindow::CopyArea() {
    if (const std::optional<Bitmap> area = TakeSelectedArea())
        PutOnClipboard(*area, shown_->CopiesProfile());
}

void MainWindow::PickArea() {
    std::optional<Bitmap> picked = TakeSelectedArea();
    if (!picked)
        return;
    const std::optional<Point> previous =
        currentPick_ ? std::optional(ToPoint(OuterPos(*currentPick_))) : std::nullopt;
    const Point corner = pickPlacement_.NextCorner(previous, ToPoint(OuterPos(*this)));
    const QSize outer = OuterSize(*this);
    const Size pickSize{picked->Width(), picked->Height()};
    auto* pick = new PickWindow(*saveFolder_, this);
    currentPick_ = pick;
    pick->ShowPick({std::move(*picked), PickDisplaySize(pickSize, {outer.width(), outer.height()}),
                    QPoint(corner.x, corner.y), model_.NextPickNumber(),
                    ui_.picture->Look().colours, shown_->CopiesProfile()});
    // Picked before the picture's colours were ready: the pick takes them when they are.
    if (ui_.picture->ColoursPending())
        shown_->WhenColoursKnown([pick = QPointer<PickWindow>(pick)](const ColourConversion& c) {
            if (pick)
                pick->ColoursKnown(c);
        });
    // Shown, the window is Qt's again to describe to the window manager: it is told once more
    // whom the window belongs to.
    if (model_.FullScreen().PicksBelongToMainWindow())
        SetOwnerWindow(*pick, this);
}

void MainWindow::ShowReadme() {
    if (readme_)
        readme_->ShowOver(*this, readmePath_);
}

// --- Qt events, each handed to the program's handler ---

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
    // A click stops the slideshow; the right button's opens the menu, whose commands do.
    if (type == QEvent::MouseButtonPress &&
        static_cast<QMouseEvent*>(e)->button() != Qt::RightButton)
        StopSlideshow();
    RouteMouse(*this, watched, *static_cast<QMouseEvent*>(e));
    return true;
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
    // The key with Shift, Ctrl, Alt or Meta held (a keypad key is the key itself).
    const int key = e->key() | (e->modifiers() & Qt::KeyboardModifierMask & ~Qt::KeypadModifier &
                                ~Qt::GroupSwitchModifier)
                                   .toInt();
    Guarded([&] { PressKey(key); }, this);
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
    if (ui_.overview)
        ui_.overview->setGeometry(rect());
}

void MainWindow::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (centredOnce_)
        return;
    centredOnce_ = true;
    if (screen() != nullptr)
        SetOuterPos(*this, CentredOnScreen(*this, OuterSize(*this)));
    WhenFramed(*this, [this] { SettleFrame(); });
}

void MainWindow::SettleFrame() {
    QPoint corner = OuterPos(*this);
    const std::optional<Size> outer =
        SettledOuterSize(HasWindowFrame(*this), {width(), height()}, {kClientWidth, kClientHeight});
    if (outer) {
        corner = CentredOnScreen(*this, QSize(outer->width, outer->height));
        // The widget takes the new geometry only when the window system reports it.
        SetFramedGeometry(*this, corner,
                          QSize(outer->width, outer->height).shrunkBy(FrameMargins(*this)));
    }
    pickPlacement_.FrameSettled(ToPoint(corner));
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
    Guarded([&] { DropFiles(LocalFiles(mime)); }, this);
}

} // namespace tessaly
