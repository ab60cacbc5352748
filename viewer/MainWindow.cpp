#include "viewer/MainWindow.h"

#include "base/Format.h"
#include "base/ShiftJis.h"
#include "exif/ExifOverlay.h"
#include "picture/AreaCut.h"
#include "jpeg/JpegDecoder.h"
#include "picture/PictureLimit.h"
#include "model/Pick.h"
#include "pick/PickWindow.h"
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
constexpr int kClientWidth = kOuterWidth - kDesignFrameWidth;
constexpr int kClientHeight = kOuterHeight - kDesignFrameHeight;

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

MainWindow::MainWindow(std::vector<std::string> arguments, SaveFolder* saveFolder, PictureDecoders decoders,
               ShowingOptions showing, QWidget* parent)
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
    FormCreate(arguments);
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

    ui_.Client = new ScrollingClient(this);
    ui_.Panel1 = new ViewPanel;
    ui_.Client->SetContent(ui_.Panel1);
    model_.SetBarExtent(ui_.Client->BarExtent());
    ui_.Panel1->installEventFilter(this);
    ui_.Client->installEventFilter(this);
    ui_.Client->Viewport()->installEventFilter(this);
    connect(ui_.Client, &ScrollingClient::Resized, this, [this] { FormResize(); });
    connect(ui_.Client, &ScrollingClient::ScrollRequested, this, [this](int h, int v) {
        const ViewUpdate update(*this);
        model_.ScrollTo(h, v);
    });
    ui_.Client->setGeometry(rect());
    model_.SetClientSize(ui_.Client->width(), ui_.Client->height());

    ui_.Image1 = new PictureControl(ui_.Panel1);
    ui_.Image1->setGeometry(1, 1, 0, 0);
    ui_.Image1->installEventFilter(this);

    ui_.Shape1 = new SelectionShape(SelectionShape::Fill::None, ui_.Panel1);
    ui_.Shape2 = new SelectionShape(SelectionShape::Fill::Black, ui_.Panel1);
    ui_.Shape2->setCursor(Qt::SizeFDiagCursor);
    ui_.Shape1->installEventFilter(this);
    ui_.Shape2->installEventFilter(this);

    const QFont overlayFont = WindowFont(16, true);
    ui_.Label1 = new QLabel(ui_.Panel1);
    ui_.Label2 = new QLabel(ui_.Panel1);
    for (QLabel* label : {ui_.Label1, ui_.Label2}) {
        label->setFont(overlayFont);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setAutoFillBackground(false);
        label->setTextFormat(Qt::PlainText);
        label->setForegroundRole(QPalette::WindowText);
        label->hide();
    }
    QPalette red = ui_.Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    ui_.Label1->setPalette(red);
    QPalette highlight = ui_.Label2->palette();
    highlight.setColor(QPalette::WindowText, highlight.color(QPalette::HighlightedText));
    ui_.Label2->setPalette(highlight);
}

void MainWindow::CreateMenu() {
    ui_.PopupMenu1 = new TwoColumnMenu(this);
    TwoColumnMenu& menu = *ui_.PopupMenu1;
    ui_.Enlarge5 = AddMenuItem(menu, *this, QStringLiteral("拡大(+5)"), &MainWindow::Enlarge5Click);
    ui_.Enlarge1 = AddMenuItem(menu, *this, QStringLiteral("拡大(+1)"), &MainWindow::Enlarge1Click);
    ui_.Reduction1 = AddMenuItem(menu, *this, QStringLiteral("縮小(-1)"), &MainWindow::Reduction1Click);
    ui_.Reduction5 = AddMenuItem(menu, *this, QStringLiteral("縮小(-5)"), &MainWindow::Reduction5Click);
    ui_.N4 = AddMenuSeparator(menu, *this);
    ui_.Exif1 = AddMenuItem(menu, *this, QStringLiteral("Exif表示"), &MainWindow::Exif1Click, true);
    ui_.AreaSel = AddMenuItem(menu, *this, QStringLiteral("範囲選択"), &MainWindow::AreaSelClick, true);
    ui_.AreaCopy = AddMenuItem(menu, *this, QStringLiteral("コピー"), &MainWindow::AreaCopyClick);
    ui_.AreaPick = AddMenuItem(menu, *this, QStringLiteral("取出表示"), &MainWindow::AreaPickClick);
    ui_.N1 = AddMenuItem(menu, *this, QStringLiteral("フィット"), &MainWindow::N1Click, true);
    ui_.N2 = AddMenuItem(menu, *this, QStringLiteral("実寸"), &MainWindow::N2Click, true);
    ui_.N3 = AddMenuSeparator(menu, *this);
    ui_.MI_nxt = AddMenuItem(menu, *this, QStringLiteral("次の画像"), &MainWindow::MI_nxtClick);
    ui_.MI_prv = AddMenuItem(menu, *this, QStringLiteral("前の画像"), &MainWindow::MI_prvClick);
    ui_.MI_Head = AddMenuItem(menu, *this, QStringLiteral("先頭へ"), &MainWindow::MI_HeadClick);
    ui_.N5 = AddMenuSeparator(menu, *this);
    ui_.Help1 = AddMenuItem(menu, *this, QStringLiteral("ヘルプ"), &MainWindow::Help1Click);
    ui_.PickImgEnd = AddMenuItem(menu, *this, QStringLiteral("おわり"), &MainWindow::PickImgEndClick);
    menu.SetColumnBreak(ui_.N1);
}

// ---------------------------------------------------------------------------------------
// Start-up and shutdown

void MainWindow::FormCreate(const std::vector<std::string>& arguments) {
    const ViewUpdate update(*this);
    model_.List().Replace({});
    model_.Reset();
    if (!arguments.empty())
        Guarded(
            [&] {
                model_.List().Replace(CollectFiles(arguments));
                FrstDSP();
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

void MainWindow::FormActivate() {
    if (!firstActivate_)
        return;
    // Before the window manager has reported the frame, the window's corner is not known.
    if (frameSettled_)
        MovePickToCorner();
    else
        pickMovePending_ = true;
    firstActivate_ = false;
    SetSPDlgFld();
}

void MainWindow::MovePickToCorner() {
    MovePickToCorner(OuterPos(*this));
}

void MainWindow::MovePickToCorner(QPoint corner) {
    if (PickWindow* pick = CurrentPickWindow())
        SetOuterPos(*pick, corner);
}

void MainWindow::FormClose() {
    DropPicture();
    model_.List().Clear();
}

void MainWindow::PickImgEndClick() {
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
        ~SaveFolderUpdate() { form->SetSPDlgFld(); }
    } const saveFolder{this};
    model_.List().Replace(CollectFiles(paths));
    FrstDSP();
}

void MainWindow::FrstDSP() {
    const ViewUpdate update(*this);
    if (!model_.StartList(SortFileList)) {
        ShowInformationBox(QStringLiteral("Nothing"), this);
        return;
    }
    imageDSP(model_.List().First());
}

void MainWindow::SetSPDlgFld() {
    saveFolder_->FollowList(model_.List().Entries());
}

void MainWindow::MI_nxtClick() {
    travel_ = 1;
    imageDSP(model_.List().Next());
}

void MainWindow::MI_prvClick() {
    travel_ = -1;
    imageDSP(model_.List().Previous());
}

void MainWindow::MI_HeadClick() {
    imageDSP(model_.List().First());
}

void MainWindow::FormKeyDown(int key) {
    if (model_.List().Empty())
        return;
    switch (key) {
    case Qt::Key_Control: // previous
    case Qt::Key_Left:
        MI_prvClick();
        break;
    case Qt::Key_Space: // next
    case Qt::Key_Right:
        MI_nxtClick();
        break;
    case Qt::Key_Up: // first
        MI_HeadClick();
        break;
    case Qt::Key_Down: // last
        imageDSP(model_.List().Last());
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------
// The view

void MainWindow::imageDSP(int k) {
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
        ui_.Image1->SetPicture(std::make_shared<LoadedPicture>(header.width, header.height),
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
    DspInfo1(k);
    DspExifInfo(k);
}

QSize MainWindow::ShownDeviceSize() const {
    const Rect& shown = model_.Image();
    return DeviceSize(QSize(shown.width, shown.height), ui_.Image1->devicePixelRatioF());
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
    const LoadedPicture& picture = *ui_.Image1->Picture();
    pixelRequest_ =
        pipeline_->Show(path, shown.width(), shown.height(), picture.Width(), picture.Height());
}

void MainWindow::TakeArrivedPixels() {
    for (PictureResult& result : arrived_.TakeAll())
        PixelsArrived(std::move(result));
}

void MainWindow::AwaitFullPixels() {
    using namespace std::chrono_literals;
    while (ui_.Image1->HasPicture() && !ui_.Image1->Picture()->Settled() && pixelRequest_ != 0) {
        arrived_.WaitForResult(100ms);
        TakeArrivedPixels();
    }
}

void MainWindow::PixelsArrived(PictureResult result) {
    const std::shared_ptr<LoadedPicture>& picture = ui_.Image1->Picture();
    if (result.request != pixelRequest_ || !picture)
        return; // for a picture no longer shown: the pipeline frees its pixels off this thread
    // A picture whose decode fails stays empty.
    picture->Deliver(result);
    if (picture->Settled()) {
        pixelRequest_ = 0;
        DecodeNeighbours();
    } else if (result.exact && QSize(result.pixels->Width(), result.pixels->Height()) ==
                                   StoredDeviceSize(ui_.Image1->DeviceDrawSize())) {
        // A neighbour decoded ahead into exactly what the control draws (before it is turned
        // and converted): it is the final picture already, and the full-size pixels that
        // follow draw the same.
        const Bitmap* copy = result.pixels->Rgb();
        ui_.Image1->AdoptDisplayCopy(std::shared_ptr<const Bitmap>(std::move(result.pixels), copy));
        return;
    }
    ui_.Image1->PixelsChanged();
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
    const qreal ratio = ui_.Image1->devicePixelRatioF();
    pipeline_->Ahead(std::move(paths), shown.width(), shown.height(), [area, ratio](int w, int h) {
        const Rect fit = FitRect(h, w, {0, 0, w, h}, area);
        const QSize device = DeviceSize(QSize(fit.width, fit.height), ratio);
        return Size{device.width(), device.height()};
    });
}

void MainWindow::DropPicture() {
    ui_.Image1->TakePicture(); // its pixels are freed by the pipeline, off this thread
    pixelRequest_ = 0;
    copiesProfile_.clear();
}

void MainWindow::ReportLayout(bool laidOut) {
    if (!laidOut)
        ShowInformationBox(QStringLiteral("例外発生"), this);
}

void MainWindow::DspInfo1(int k) {
    const ViewUpdate update(*this);
    model_.UpdateCaption(k);
}

void MainWindow::ApplyView() {
    ui_.Client->Show(model_.Client());
    ui_.Image1->setGeometry(ToQRect(model_.Image()));
    ui_.Image1->SetStretch(model_.Stretch());
    ui_.Shape1->setGeometry(ToQRect(model_.SelectionRect()));
    ui_.Shape2->setGeometry(ToQRect(model_.HandleRect()));
    ui_.Shape1->setVisible(model_.SelectionVisible());
    ui_.Shape2->setVisible(model_.SelectionVisible());
    if (model_.SelectionVisible()) {
        ui_.Shape1->raise();
        ui_.Shape2->raise();
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
    mark(*ui_.N1, model_.Mode() == ViewMode::Fit);
    mark(*ui_.N2, model_.Mode() == ViewMode::ActualSize);
    mark(*ui_.Exif1, model_.OverlayShown());
    ui_.AreaSel->setEnabled(model_.SelectionAllowed());
    ui_.AreaSel->setChecked(model_.Selecting());
    ui_.AreaCopy->setEnabled(model_.CopyAndPickAllowed());
    ui_.AreaPick->setEnabled(model_.CopyAndPickAllowed());
    for (QAction* step : {ui_.MI_nxt, ui_.MI_prv, ui_.MI_Head})
        step->setEnabled(model_.CanStep());
}

void MainWindow::SetEnlarge(int step) {
    const ViewUpdate update(*this);
    ReportLayout(model_.StepZoom(step));
}

void MainWindow::N1Click() {
    const ViewUpdate update(*this);
    ReportLayout(model_.Fit());
}

void MainWindow::N2Click() {
    const ViewUpdate update(*this);
    ReportLayout(model_.ActualSize());
}

void MainWindow::Enlarge5Click() {
    SetEnlarge(5);
}
void MainWindow::Enlarge1Click() {
    SetEnlarge(1);
}
void MainWindow::Reduction1Click() {
    SetEnlarge(-1);
}
void MainWindow::Reduction5Click() {
    SetEnlarge(-5);
}

void MainWindow::FormResize() {
    const ViewUpdate update(*this);
    Guarded([this] { model_.ClientResized(ui_.Client->width(), ui_.Client->height()); }, this);
}

void MainWindow::Image1MouseDown(Qt::MouseButton, int x, int y) {
    const ViewUpdate update(*this);
    model_.PressPicture(x, y);
}

void MainWindow::Image1MouseMove(int x, int y) {
    const ViewUpdate update(*this);
    model_.DragPicture(x, y, [this] {
        ApplyView();
        QCoreApplication::processEvents();
    });
}

void MainWindow::Image1MouseUp() {
    model_.ReleasePicture();
}

void MainWindow::Image1DblClick() {
    const ViewUpdate update(*this);
    ReportLayout(model_.DoubleClickPicture());
}

void MainWindow::Panel1MouseDown(Qt::MouseButton, int x, int y) {
    model_.PressPanel(x, y);
}

void MainWindow::ShowPopupMenu(const QPoint& globalPos) {
    ui_.PopupMenu1->Popup(globalPos);
}

// ---------------------------------------------------------------------------------------
// The selection rectangle

void MainWindow::SelAreaCap(bool moving) {
    const ViewUpdate update(*this);
    model_.SetCaption(
        model_.SelectionCaption(moving ? SelectionDrag::Move : SelectionDrag::Resize));
}

void MainWindow::AreaSelClick() {
    const ViewUpdate update(*this);
    model_.ToggleSelection();
}

void MainWindow::Shape1MouseDown(Qt::MouseButton button, int x, int y) {
    SelectionMouseDown(SelectionDrag::Move, button, x, y);
}
void MainWindow::Shape1MouseMove(int x, int y) {
    SelectionMouseMove(SelectionDrag::Move, x, y);
}
void MainWindow::Shape1MouseUp() {
    SelectionMouseUp(SelectionDrag::Move);
}
void MainWindow::Shape2MouseDown(Qt::MouseButton button, int x, int y) {
    SelectionMouseDown(SelectionDrag::Resize, button, x, y);
}
void MainWindow::Shape2MouseMove(int x, int y) {
    SelectionMouseMove(SelectionDrag::Resize, x, y);
}
void MainWindow::Shape2MouseUp() {
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
    if (watched != ui_.Shape1 && watched != ui_.Shape2)
        return false;
    const QPoint pos = mouse.position().toPoint();
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    const SelectionDrag part = watched == ui_.Shape1 ? SelectionDrag::Move : SelectionDrag::Resize;
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

void MainWindow::Exif1Click() {
    const ViewUpdate update(*this);
    model_.ToggleOverlay();
    if (!model_.List().Empty())
        DspExifInfo(model_.List().Index());
}

void MainWindow::DspExifInfo(int k) {
    if (!model_.OverlayShown()) {
        ui_.Label1->hide();
        ui_.Label1->clear();
        ui_.Label2->hide();
        ui_.Label2->clear();
        return;
    }
    const std::string& path = model_.List().Path(k);
    // A read error passes on from here before the labels change: they keep the old text.
    const std::string text = MakeDspExifInfo(exifInfo_, path);
    const QString shown = QString::fromStdString(SjisToUtf8(text))
                              .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    ui_.Label1->setText(shown);
    ui_.Label1->move(2, 2);
    ui_.Label1->adjustSize();
    ui_.Label1->show();
    ui_.Label2->setText(ui_.Label1->text());
    ui_.Label2->move(3, 3);
    ui_.Label2->adjustSize();
    ui_.Label2->show();
    ui_.Label1->raise();
    ui_.Label2->raise();
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
    if (ui_.Image1->HasPicture() && !ui_.Image1->Picture()->Settled()) {
        busy.emplace();
        AwaitFullPixels();
    }
    const DecodedPicture* decoded =
        ui_.Image1->HasPicture() ? ui_.Image1->Picture()->FullPixels() : nullptr;
    if (!decoded)
        return CutArea(Bitmap(), area.left, area.top, area.width, area.height);
    return CutArea(*decoded, model_.PictureOrientation(), area.left, area.top, area.width,
                   area.height);
}

void MainWindow::AreaCopyClick() {
    const Bitmap out = CutSelectedArea();
    if (out.Width() < 1 || out.Height() < 1) {
        // Under one actual pixel wide or high: nothing is taken, and the beep says so.
        QApplication::beep();
        return;
    }
    PutOnClipboard(out, copiesProfile_);
}

void MainWindow::AreaPickClick() {
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
                    QPoint(corner.x, corner.y), model_.NextPickNumber(), ui_.Image1->Look().colours,
                    copiesProfile_});
}

void MainWindow::Help1Click() {
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
        Guarded([this] { FormActivate(); }, this);
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
    } else if (watched == ui_.Image1) {
        switch (type) {
        case QEvent::MouseButtonPress:
            Guarded([&] { Image1MouseDown(mouse->button(), pos.x(), pos.y()); }, this);
            break;
        case QEvent::MouseMove:
            Guarded([&] { Image1MouseMove(pos.x(), pos.y()); }, this);
            break;
        case QEvent::MouseButtonRelease:
            Guarded([&] { Image1MouseUp(); }, this);
            break;
        default:
            // A double-click of the left button is reported as a double-click, then a press;
            // of another button only as a press.
            if (mouse->button() == Qt::LeftButton)
                Guarded([&] { Image1DblClick(); }, this);
            Guarded([&] { Image1MouseDown(mouse->button(), pos.x(), pos.y()); }, this);
            break;
        }
    } else if (watched == ui_.Panel1 &&
               (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)) {
        Guarded([&] { Panel1MouseDown(mouse->button(), pos.x(), pos.y()); }, this);
    }
    if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::RightButton)
        ShowPopupMenu(mouse->globalPosition().toPoint());
    return true;
}

void MainWindow::keyPressEvent(QKeyEvent* e) {
    Guarded([&] { FormKeyDown(e->key()); }, this);
    QWidget::keyPressEvent(e);
}

void MainWindow::contextMenuEvent(QContextMenuEvent* e) {
    // A right-click opens the menu at its release (see eventFilter); the menu key opens it here.
    if (e->reason() == QContextMenuEvent::Keyboard)
        ui_.PopupMenu1->Popup(e->globalPos(), TwoColumnMenu::OpenedBy::Keyboard);
    e->accept();
}

void MainWindow::closeEvent(QCloseEvent* e) {
    FormClose();
    e->accept();
    emit Closed();
}

void MainWindow::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    ui_.Client->setGeometry(rect());
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
