#include "viewer/tessaly1.h"

#include "base/Format.h"
#include "base/ShiftJis.h"
#include "exif/ExifOverlay.h"
#include "exif/tessaly_def.h"
#include "imaging/AreaCut.h"
#include "pick/tessaly2.h"
#include "viewer/BitmapView.h"
#include "viewer/Dialogs.h"
#include "viewer/Guard.h"
#include "viewer/JpegPicture.h"
#include "viewer/PictureControl.h"
#include "viewer/ScrollingClient.h"
#include "viewer/SearchFiles.h"
#include "viewer/SelectionShape.h"
#include "viewer/TwoColumnMenu.h"
#include "viewer/readme.h"
#include "viewer/ulib.h"

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
#include <cmath>
#include <limits>
#include <stdexcept>

namespace tessaly {

namespace {

constexpr int kOuterWidth = 593;
constexpr int kOuterHeight = 428;
constexpr int kClientWidth = kOuterWidth - kDesignFrameWidth;
constexpr int kClientHeight = kOuterHeight - kDesignFrameHeight;

// Switches the busy cursor on for a scope and off at its end, also when it is left by an
// exception.
class WaitCursorScope {
public:
    WaitCursorScope() { SetWaitCursor(true); }
    ~WaitCursorScope() { SetWaitCursor(false); }
    WaitCursorScope(const WaitCursorScope&) = delete;
    WaitCursorScope& operator=(const WaitCursorScope&) = delete;
};

QFont PGothic(int pixelSize) {
    QFont font(QStringLiteral("IPAPGothic"));
    font.setPixelSize(pixelSize);
    return font;
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

TForm1::TForm1(std::vector<std::string> arguments, QWidget* parent) : QWidget(parent) {
    CreateControls();
    CreateMenu();
    readmePath_ = ReadmePath();
    FormCreate(arguments);
}

TForm1::~TForm1() = default;

QPointer<TForm2>& TForm1::CurrentPickWindow() {
    static QPointer<TForm2> current;
    return current;
}

QString TForm1::StartupCaption() {
    return QString::fromStdString(
        Format("%s %s %s %s %s", {"Tess", credits::kVersion, credits::kAuthor, credits::kProduct,
                                  credits::kContactAddress}));
}

void TForm1::CreateControls() {
    setWindowTitle(QStringLiteral("Form1"));
    setFont(PGothic(12));
    setBackgroundRole(QPalette::Button);
    setAutoFillBackground(true);
    setFocusPolicy(Qt::StrongFocus);
    setAcceptDrops(true);
    resize(kClientWidth, kClientHeight);

    Client = new ScrollingClient(this);
    Client->setGeometry(rect());
    Panel1 = new ViewPanel;
    Client->SetContent(Panel1);
    Panel1->installEventFilter(this);
    Client->installEventFilter(this);
    Client->Viewport()->installEventFilter(this);
    connect(Client, &ScrollingClient::Resized, this,
            [this] { Guarded([this] { FormResize(); }, this); });

    Image1 = new PictureControl(Panel1);
    Image1->setGeometry(1, 1, 0, 0);
    Image1->installEventFilter(this);

    Shape1 = new SelectionShape(SelectionShape::Fill::None, Panel1);
    Shape1->setGeometry(120, 40, 64, 48);
    Shape2 = new SelectionShape(SelectionShape::Fill::Black, Panel1);
    Shape2->setGeometry(376, 200, 5, 5);
    Shape2->setCursor(Qt::SizeFDiagCursor);
    Shape1->installEventFilter(this);
    Shape2->installEventFilter(this);

    QFont overlayFont(QStringLiteral("IPAGothic"));
    overlayFont.setPixelSize(16);
    overlayFont.setStyleHint(QFont::TypeWriter);
    Label1 = new QLabel(Panel1);
    Label2 = new QLabel(Panel1);
    for (QLabel* label : {Label1, Label2}) {
        label->setFont(overlayFont);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setAutoFillBackground(false);
        label->setTextFormat(Qt::PlainText);
        label->setForegroundRole(QPalette::WindowText);
        label->hide();
    }
    QPalette red = Label1->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    Label1->setPalette(red);
    QPalette highlight = Label2->palette();
    highlight.setColor(QPalette::WindowText, highlight.color(QPalette::HighlightedText));
    Label2->setPalette(highlight);
    Client->Realign();
}

QAction* TForm1::AddItem(const QString& caption, void (TForm1::*handler)(), bool checkable) {
    return AddMenuItem(
        *PopupMenu1, *this, caption, [this, handler] { (this->*handler)(); }, checkable);
}

QAction* TForm1::AddSeparator() {
    auto* item = new QAction(this);
    item->setSeparator(true);
    PopupMenu1->addAction(item);
    return item;
}

void TForm1::CreateMenu() {
    PopupMenu1 = new TwoColumnMenu(this);
    Enlarge5 = AddItem(QStringLiteral("拡大(+5)"), &TForm1::Enlarge5Click);
    Enlarge1 = AddItem(QStringLiteral("拡大(+1)"), &TForm1::Enlarge1Click);
    Reduction1 = AddItem(QStringLiteral("縮小(-1)"), &TForm1::Reduction1Click);
    Reduction5 = AddItem(QStringLiteral("縮小(-5)"), &TForm1::Reduction5Click);
    N4 = AddSeparator();
    Exif1 = AddItem(QStringLiteral("Exif表示"), &TForm1::Exif1Click, true);
    AreaSel = AddItem(QStringLiteral("範囲選択"), &TForm1::AreaSelClick, true);
    AreaCopy = AddMenuItem(*PopupMenu1, *this, QStringLiteral("コピー"),
                           [this] { AreaCopyClick(AreaCopy); });
    AreaPick = AddMenuItem(*PopupMenu1, *this, QStringLiteral("取出表示"),
                           [this] { AreaPickClick(AreaPick); });
    N1 = AddItem(QStringLiteral("フィット"), &TForm1::N1Click, true);
    N2 = AddItem(QStringLiteral("実寸"), &TForm1::N2Click, true);
    N3 = AddSeparator();
    MI_nxt = AddItem(QStringLiteral("次の画像"), &TForm1::MI_nxtClick);
    MI_prv = AddItem(QStringLiteral("前の画像"), &TForm1::MI_prvClick);
    MI_Head = AddItem(QStringLiteral("先頭へ"), &TForm1::MI_HeadClick);
    N5 = AddSeparator();
    Help1 = AddItem(QStringLiteral("ヘルプ"), &TForm1::Help1Click);
    PickImgEnd = AddItem(QStringLiteral("おわり"), &TForm1::PickImgEndClick);
    PopupMenu1->SetColumnBreak(N1);

    SetCheckDefault(*N1, true);
    AreaCopy->setEnabled(false);
    AreaPick->setEnabled(false);
    MI_nxt->setEnabled(false);
    MI_prv->setEnabled(false);
    MI_Head->setEnabled(false);
}

// ---------------------------------------------------------------------------------------
// Start-up and shutdown

void TForm1::FormCreate(const std::vector<std::string>& arguments) {
    FileList.clear();
    Zoom = 0;
    Dragging = false;
    SetAreaAnc();
    DspAreaAnc(false);
    DspRatio = 100.0L;
    if (!arguments.empty())
        Guarded([&] { BuildFromArguments(arguments); }, this);
    PickCount = 0;
    PickBmp = Bitmap();
    FirstActivate = true;
    DblClicked = false;
}

void TForm1::BuildFromArguments(const std::vector<std::string>& arguments) {
    bool aborted = false;
    {
        const WaitCursorScope busy;
        for (const std::string& argument : arguments) {
            if (ExtCheck(argument)) {
                FileList.push_back(argument);
            } else if (IsFolder(argument)) {
                SearchFiles(argument, FileList, std::string(kJpegExtension), aborted);
                if (aborted)
                    break;
            }
        }
    }
    if (aborted)
        ShowPlainBox(QStringLiteral("検索を中断しました。"), this);
    FrstDSP();
}

void TForm1::FormActivate() {
    if (!FirstActivate)
        return;
    // Before the window manager has reported the frame, the window's corner is not known.
    if (frameSettled_)
        MovePickToCorner();
    else
        pickMovePending_ = true;
    FirstActivate = false;
    SetSPDlgFld();
}

void TForm1::MovePickToCorner() {
    if (TForm2* pick = CurrentPickWindow())
        SetOuterPos(*pick, OuterPos(*this));
}

void TForm1::FormClose() {
    Image1->ClearPicture();
    FileList.clear();
    FileList.shrink_to_fit();
    PickBmp = Bitmap();
}

void TForm1::PickImgEndClick() {
    emit TerminateRequested();
}

// ---------------------------------------------------------------------------------------
// The image list

void TForm1::DropFiles(const std::vector<std::string>& paths) {
    FileList.clear();
    ImgIndex = 0;
    bool aborted = false;
    {
        const WaitCursorScope busy;
        for (const std::string& path : paths) {
            if (ExtCheck(path)) {
                FileList.push_back(path);
            } else if (IsFolder(path)) {
                SearchFiles(path, FileList, std::string(kJpegExtension), aborted);
                if (aborted)
                    break;
            }
        }
    }
    if (aborted)
        ShowPlainBox(QStringLiteral("検索を中断しました。"), this);
    // The save folder follows the new list even when showing its first entry fails.
    struct SaveFolderUpdate {
        TForm1* form;
        ~SaveFolderUpdate() { form->SetSPDlgFld(); }
    } const update{this};
    FrstDSP();
}

void TForm1::FrstDSP() {
    SortFileList(FileList);
    MI_nxt->setEnabled(false);
    MI_prv->setEnabled(false);
    MI_Head->setEnabled(false);
    if (FileList.empty()) {
        ShowInformationBox(QStringLiteral("Nothing"), this);
        return;
    }
    if (FileList.size() >= 2) {
        MI_nxt->setEnabled(true);
        MI_prv->setEnabled(true);
        MI_Head->setEnabled(true);
    }
    ImgIndex = 1;
    imageDSP(1);
}

void TForm1::SetSPDlgFld() {
    SPDlgDir = FileList.empty() ? std::string() : FolderWithoutSeparator(FileList.front());
}

void TForm1::MI_nxtClick() {
    ImgIndex = ImgIndex + 1;
    if (ImgIndex > static_cast<int>(FileList.size()))
        ImgIndex = 1;
    imageDSP(ImgIndex);
}

void TForm1::MI_prvClick() {
    ImgIndex = ImgIndex - 1;
    if (ImgIndex < 1)
        ImgIndex = static_cast<int>(FileList.size());
    imageDSP(ImgIndex);
}

void TForm1::MI_HeadClick() {
    ImgIndex = 1;
    imageDSP(ImgIndex);
}

void TForm1::FormKeyDown(int key) {
    if (FileList.empty())
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
        ImgIndex = static_cast<int>(FileList.size());
        imageDSP(ImgIndex);
        break;
    default:
        break;
    }
}

// ---------------------------------------------------------------------------------------
// The view

void TForm1::imageDSP(int k) {
    if (k < 1 || k > static_cast<int>(FileList.size()))
        throw std::out_of_range(Format("リストのインデックスが範囲を超えています (%d)", {k - 1}));
    const std::string path = FileList[static_cast<std::size_t>(k - 1)];
    Image1->SetAutoSize(true);
    Image1->SetStretch(false);
    const WaitCursorScope busy;
    std::optional<RegularFile> file;
    try {
        file.emplace(path);
    } catch (const FileReadError&) {
        throw std::runtime_error(Format("ファイル %s は開けません", {DisplayPath(path)}));
    }
    try {
        Image1->SetPicture(std::make_shared<JpegPicture>(std::move(*file)));
        if (imageFilling_)
            LayoutFillingImage();
    } catch (const FileReadError&) {
        throw std::runtime_error(Format("ファイル %s は開けません", {DisplayPath(path)}));
    } catch (const JpegTooLarge& e) {
        throw std::runtime_error(Format("ファイル %s は大きすぎて表示できません (%d x %d)",
                                        {DisplayPath(path), e.width(), e.height()}));
    } catch (const JpegError&) {
        Image1->ClearPicture(); // not a valid image: an empty picture, and the steps go on
    }
    SetJPEGOptions();
    DspInfo1(k);
    DspExifInfo(k);
}

void TForm1::SetJPEGOptions() {
    if (!Image1->HasPicture())
        return;
    ImgWidth = Image1->Picture()->Width();
    ImgHeight = Image1->Picture()->Height();
    ImgSizSet();
}

void TForm1::ImgSizSet() {
    try {
        if (Zoom != 0) {
            Client->SetFilling(false);
            Client->ResizeContent(Panel1->width(), static_cast<int>(Round(ImgHeight * Zoom)));
            Client->ResizeContent(static_cast<int>(Round(ImgWidth * Zoom)), Panel1->height());
            Image1->SetAutoSize(false);
            SetImageFilling(true);
            Image1->SetStretch(true);
        } else {
            Client->SetFilling(true);
            Image1->SetAutoSize(false);
            SetImageFilling(false);
            Image1->SetStretch(true);
            FitCtrl(ImgHeight, ImgWidth, *Image1, *Panel1);
        }
        DspInfo1(ImgIndex);
    } catch (const std::exception&) {
        ShowInformationBox(QStringLiteral("例外発生"), this);
    }
}

void TForm1::DspInfo1(int k) {
    if (k < 1) {
        setWindowTitle(StartupCaption());
        return;
    }
    if (k > static_cast<int>(FileList.size()))
        throw std::out_of_range(Format("リストのインデックスが範囲を超えています (%d)", {k - 1}));
    long double percent = 0;
    if (ImgWidth != 0) {
        DspRatio = static_cast<long double>(Image1->width()) / ImgWidth;
        percent = DspRatio * 100;
    }
    SetCaption(Format("%s %s [%.1f%%](%d/%d files)",
                      {"Tess", DisplayPath(FileList[static_cast<std::size_t>(k - 1)]), percent, k,
                       static_cast<int>(FileList.size())}));
}

void TForm1::SetCaption(const std::string& utf8) {
    setWindowTitle(QString::fromStdString(utf8));
}

void TForm1::ImgDspMove(int dx, int dy) {
    if (dy != 0) {
        const int p = Client->VertPosition() - dy;
        if (p >= 0 && p <= Client->VertRange())
            Client->SetVertPosition(p);
    }
    if (dx != 0) {
        const int p = Client->HorzPosition() - dx;
        if (p >= 0 && p <= Client->HorzRange())
            Client->SetHorzPosition(p);
    }
}

void TForm1::SetEnlarge(int step) {
    const int h0 = Client->HorzPosition();
    const int v0 = Client->VertPosition();
    Zoom = static_cast<long double>(step) / 100 * 5 + DspRatio;
    // The scroll ratio; a picture shown 0 pixels wide (a ratio of 0) scrolls unscaled.
    const long double r = DspRatio > 0 ? Zoom / DspRatio : 1.0L;
    if (Zoom < 0.01L)
        Zoom = 0.01L;
    if (Zoom > 4.0L)
        Zoom = 4.0L;
    ImgSizSet();
    SetCheckDefault(*N1, false);
    SetCheckDefault(*N2, false);
    const int cw = Client->ClientWidth();
    const int ch = Client->ClientHeight();
    long double f = static_cast<long double>(Round(cw / 2.0L) - (AncX - h0));
    long double g = static_cast<long double>(Round(ch / 2.0L) - (AncY - v0));
    if (cw > Panel1->width()) {
        Client->MoveContent(CenterOffset(cw, Panel1->width()), Panel1->y());
        f = 0;
    }
    if (ch > Panel1->height()) {
        Client->MoveContent(Panel1->x(), CenterOffset(ch, Panel1->height()));
        g = 0;
    }
    if (f != 0) {
        Client->SetHorzPosition(0);
        Client->MoveContent(0, Panel1->y());
    }
    if (g != 0) {
        Client->SetVertPosition(0);
        Client->MoveContent(Panel1->x(), 0);
    }
    Client->SetHorzPosition(h0 - static_cast<int>(Round(f * r)));
    Client->SetVertPosition(v0 - static_cast<int>(Round(g * r)));
}

void TForm1::N1Click() {
    Zoom = 0;
    ImgSizSet();
    CenterCtrl(*Image1, *Panel1);
    SetCheckDefault(*N1, true);
    SetCheckDefault(*N2, false);
}

void TForm1::N2Click() {
    Zoom = 1.0L;
    ImgSizSet();
    SetCheckDefault(*N2, true);
    SetCheckDefault(*N1, false);
}

void TForm1::Enlarge5Click() {
    SetEnlarge(5);
}
void TForm1::Enlarge1Click() {
    SetEnlarge(1);
}
void TForm1::Reduction1Click() {
    SetEnlarge(-1);
}
void TForm1::Reduction5Click() {
    SetEnlarge(-5);
}

void TForm1::FormResize() {
    if (imageFilling_)
        LayoutFillingImage();
    if (Zoom == 0)
        FitCtrl(ImgHeight, ImgWidth, *Image1, *Panel1);
    DspInfo1(ImgIndex);
}

QRect TForm1::PanelInterior() const {
    return {1, 1, std::max(0, Panel1->width() - 2), std::max(0, Panel1->height() - 2)};
}

void TForm1::SetImageFilling(bool filling) {
    imageFilling_ = filling;
    if (filling)
        LayoutFillingImage();
}

void TForm1::LayoutFillingImage() {
    Image1->setGeometry(PanelInterior());
}

void TForm1::Image1MouseDown(Qt::MouseButton, int x, int y) {
    DragX = x;
    DragY = y;
    Dragging = true;
    if (!AreaSel->isChecked()) {
        AncX = x;
        AncY = y;
    }
}

void TForm1::Image1MouseMove(int x, int y) {
    if (DblClicked) {
        DblClicked = false;
        return;
    }
    if (!Dragging)
        return;
    const int dx = x - DragX;
    const int dy = y - DragY;
    if (dx != 0 || dy != 0) {
        ImgDspMove(dx, dy);
        QCoreApplication::processEvents();
    }
    DragX = x;
    DragY = y;
}

void TForm1::Image1MouseUp() {
    Dragging = false;
}

void TForm1::Image1DblClick() {
    DblClicked = true;
    Dragging = false;
    SetEnlarge(1);
}

void TForm1::Panel1MouseDown(Qt::MouseButton, int x, int y) {
    if (AreaSel->isChecked())
        return;
    AncX = x;
    AncY = y;
}

void TForm1::ShowPopupMenu(const QPoint& globalPos) {
    PopupMenu1->Popup(globalPos);
}

// ---------------------------------------------------------------------------------------
// The selection rectangle

namespace {
constexpr int kHandleSide = 5;
// Half of a displayed length, halves to the even neighbour.
int Half(int length) {
    return static_cast<int>(Round(length / 2.0L));
}
} // namespace

void TForm1::SetAreaAnc() {
    Shape2->move(Shape1->x() + Shape1->width() - Half(kHandleSide) - 1,
                 Shape1->y() + Shape1->height() - Half(kHandleSide) - 1);
}

void TForm1::DspAreaAnc(bool show) {
    if (show) {
        Shape1->move(AncX - Half(Shape1->width()), AncY - Half(Shape1->height()));
        SetAreaAnc();
    }
    Shape1->setVisible(show);
    Shape2->setVisible(show);
    if (show) {
        Shape1->raise();
        Shape2->raise();
    }
}

int TForm1::ActualPixels(int displayed) const {
    // A picture shown 0 pixels wide has a ratio of 0: there is nothing to convert to.
    if (!(DspRatio > 0))
        return 0;
    const long double actual = displayed / DspRatio;
    if (!(std::fabs(actual) < static_cast<long double>(std::numeric_limits<int>::max())))
        return 0;
    return static_cast<int>(Round(actual));
}

void TForm1::SelAreaCap(bool moving) {
    SetCaption(
        Format("選択範囲%s 位置(%4d,%4d) 実サイズ[%4d,%4d]",
               {moving ? "移動" : "拡縮", Shape1->x() - Image1->x(), Shape1->y() - Image1->y(),
                ActualPixels(Shape1->width()), ActualPixels(Shape1->height())}));
}

void TForm1::AreaSelClick() {
    if (FileList.empty()) {
        AreaSel->setChecked(false);
        return;
    }
    const bool on = !AreaSel->isChecked();
    AreaSel->setChecked(on);
    AreaCopy->setEnabled(on);
    AreaPick->setEnabled(on);
    DspAreaAnc(on);
}

void TForm1::Shape1MouseDown(Qt::MouseButton button, int x, int y) {
    if (button != Qt::LeftButton)
        return;
    AreaDragging = true;
    GrabX = x;
    GrabY = y;
    SetScreenCursor(Qt::DragMoveCursor);
    SavedCap = windowTitle();
    SelAreaCap(true);
}

void TForm1::Shape1MouseMove(int x, int y) {
    if (!AreaDragging)
        return;
    const QPoint p = Shape1->mapTo(Panel1, QPoint(x, y));
    Shape1->move(p.x() - GrabX, p.y() - GrabY);
    SetAreaAnc();
    SelAreaCap(true);
}

void TForm1::Shape1MouseUp() {
    if (AreaDragging)
        setWindowTitle(SavedCap);
    AreaDragging = false;
    SetAreaAnc();
    SetScreenCursor(std::nullopt);
}

void TForm1::Shape2MouseDown(Qt::MouseButton button, int x, int y) {
    if (button != Qt::LeftButton)
        return;
    AreaDragging = true;
    GrabX = x;
    GrabY = y;
    SavedCap = windowTitle();
    SelAreaCap(false);
}

void TForm1::Shape2MouseMove(int x, int y) {
    if (!AreaDragging)
        return;
    const QPoint p = Shape2->mapTo(Panel1, QPoint(x, y));
    Shape2->move(p.x() - GrabX, p.y() - GrabY);
    const int width = Shape2->x() + Half(kHandleSide) - Shape1->x() + 1;
    const int height = Shape2->y() + Half(kHandleSide) - Shape1->y() + 1;
    Shape1->resize(std::max(width, 1), std::max(height, 1));
    SetAreaAnc();
    SelAreaCap(false);
}

void TForm1::Shape2MouseUp() {
    if (AreaDragging)
        setWindowTitle(SavedCap);
    AreaDragging = false;
}

bool TForm1::FilterShapeMouse(QObject* watched, QEvent::Type type, const QMouseEvent& mouse) {
    const QPoint pos = mouse.position().toPoint();
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (watched == Shape1) {
        if (press)
            Guarded([&] { Shape1MouseDown(mouse.button(), pos.x(), pos.y()); }, this);
        else if (type == QEvent::MouseMove)
            Guarded([&] { Shape1MouseMove(pos.x(), pos.y()); }, this);
        else
            Guarded([&] { Shape1MouseUp(); }, this);
        return true;
    }
    if (watched == Shape2) {
        if (press)
            Guarded([&] { Shape2MouseDown(mouse.button(), pos.x(), pos.y()); }, this);
        else if (type == QEvent::MouseMove)
            Guarded([&] { Shape2MouseMove(pos.x(), pos.y()); }, this);
        else
            Guarded([&] { Shape2MouseUp(); }, this);
        return true;
    }
    return false;
}

// ---------------------------------------------------------------------------------------
// The EXIF overlay

void TForm1::Exif1Click() {
    SetCheckDefault(*Exif1, !Exif1->isChecked());
    if (Exif1->isChecked()) {
        AreaSel->setEnabled(false);
        if (AreaSel->isChecked())
            AreaSelClick();
    } else {
        AreaSel->setEnabled(true);
    }
    if (!FileList.empty())
        DspExifInfo(ImgIndex);
}

void TForm1::DspExifInfo(int k) {
    if (!Exif1->isChecked()) {
        Label1->hide();
        Label1->clear();
        Label2->hide();
        Label2->clear();
        return;
    }
    if (k < 1 || k > static_cast<int>(FileList.size()))
        throw std::out_of_range(Format("リストのインデックスが範囲を超えています (%d)", {k - 1}));
    // A read error passes on from here before the labels change: they keep the old text.
    const std::string text = MakeDspExifInfo(ExifInfo1, FileList[static_cast<std::size_t>(k - 1)]);
    const QString shown = QString::fromStdString(SjisToUtf8(text))
                              .replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    Label1->setText(shown);
    Label1->move(2, 2);
    Label1->adjustSize();
    Label1->show();
    Label2->setText(Label1->text());
    Label2->move(3, 3);
    Label2->adjustSize();
    Label2->show();
    Label1->raise();
    Label2->raise();
}

// ---------------------------------------------------------------------------------------
// Area copy and pick, help

QRect TForm1::SelectedArea() const {
    return {ActualPixels(Shape1->x() - Image1->x()), ActualPixels(Shape1->y() - Image1->y()),
            ActualPixels(Shape1->width()), ActualPixels(Shape1->height())};
}

void TForm1::AreaCopyClick(QAction* sender) {
    const QRect area = SelectedArea();
    if (area.width() < 1 || area.height() < 1) {
        // Under one actual pixel wide or high: nothing is taken, and the beep says so.
        QApplication::beep();
        return;
    }
    // The picture decoded at full size, never the zoomed or fitted one on the screen.
    const Bitmap* decoded = Image1->HasPicture() ? Image1->Picture()->Pixels() : nullptr;
    const Bitmap none;
    Bitmap out =
        CutArea(decoded ? *decoded : none, area.x(), area.y(), area.width(), area.height());
    if (sender == AreaPick)
        PickBmp = std::move(out);
    else
        PutOnClipboard(out);
}

void TForm1::AreaPickClick(QAction* sender) {
    const QRect area = SelectedArea();
    if (area.width() < 1 || area.height() < 1) {
        QApplication::beep(); // no window for an empty pick
        return;
    }
    if (pickMovePending_) { // picked before the window manager reported the frame
        pickMovePending_ = false;
        MovePickToCorner();
    }
    QPointer<TForm2>& current = CurrentPickWindow();
    const QPoint previous = current ? OuterPos(*current) : OuterPos(*this);
    auto* pick = new TForm2(this);
    current = pick;
    AreaCopyClick(sender);
    const int pickWidth = PickBmp.Width();
    const int pickHeight = PickBmp.Height();
    const long double ratio = static_cast<long double>(pickHeight) / pickWidth;
    int w = pickWidth;
    int h = pickHeight;
    const QSize outer = OuterSize(*this);
    if (pickHeight > outer.height() || pickWidth > outer.width()) {
        h = outer.height() / 2;
        w = static_cast<int>(Round(h / ratio));
        if (w > outer.width() / 2) {
            w = outer.width() / 2;
            h = static_cast<int>(Round(w * ratio));
        }
    }
    pick->Image1->move(0, 0);
    pick->Image1->resize(w, h);
    pick->Image1->SetPicture(PickBmp);
    pick->resize(w, h);
    SetOuterPos(*pick, previous + QPoint(20, 20));
    ++PickCount;
    pick->setWindowTitle(QString::fromStdString(
        Format("取出[%d] サイズ(%d,%d)", {PickCount, pickWidth, pickHeight})));
    pick->Image1->setToolTip(QString::fromStdString(
        Format("%.1f%%表示 実サイズ(%d,%d)",
               {static_cast<long double>(w) / pickWidth * 100, pickWidth, pickHeight})));
    pick->show();
}

void TForm1::Help1Click() {
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

bool TForm1::event(QEvent* e) {
    if (e->type() == QEvent::WindowActivate)
        Guarded([this] { FormActivate(); }, this);
    return QWidget::event(e);
}

bool TForm1::eventFilter(QObject* watched, QEvent* e) {
    const auto type = e->type();
    if (type != QEvent::MouseButtonPress && type != QEvent::MouseButtonRelease &&
        type != QEvent::MouseMove && type != QEvent::MouseButtonDblClick)
        return QWidget::eventFilter(watched, e);
    const auto* mouse = static_cast<QMouseEvent*>(e);
    const QPoint pos = mouse->position().toPoint();
    if (FilterShapeMouse(watched, type, *mouse)) {
        // handled by the selection's own handlers
    } else if (watched == Image1) {
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
    } else if (watched == Panel1 &&
               (type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick)) {
        Guarded([&] { Panel1MouseDown(mouse->button(), pos.x(), pos.y()); }, this);
    }
    if (type == QEvent::MouseButtonRelease && mouse->button() == Qt::RightButton)
        ShowPopupMenu(mouse->globalPosition().toPoint());
    return true;
}

void TForm1::keyPressEvent(QKeyEvent* e) {
    Guarded([&] { FormKeyDown(e->key()); }, this);
    QWidget::keyPressEvent(e);
}

void TForm1::contextMenuEvent(QContextMenuEvent* e) {
    // A right-click opens the menu at its release (see eventFilter); the menu key opens it here.
    if (e->reason() == QContextMenuEvent::Keyboard)
        PopupMenu1->Popup(e->globalPos(), TwoColumnMenu::OpenedBy::Keyboard);
    e->accept();
}

void TForm1::closeEvent(QCloseEvent* e) {
    FormClose();
    e->accept();
    emit Closed();
}

void TForm1::resizeEvent(QResizeEvent* e) {
    QWidget::resizeEvent(e);
    Client->setGeometry(rect());
}

void TForm1::showEvent(QShowEvent* e) {
    QWidget::showEvent(e);
    if (centredOnce_)
        return;
    centredOnce_ = true;
    CentreOnScreen();
    WhenFramed(*this, [this] { SettleFrame(); });
}

void TForm1::CentreOnScreen() {
    if (const QScreen* screen = this->screen()) {
        const QRect area = screen->availableGeometry();
        const QSize outer = OuterSize(*this);
        SetOuterPos(*this, {area.x() + CenterOffset(area.width(), outer.width()),
                            area.y() + CenterOffset(area.height(), outer.height())});
    }
}

void TForm1::SettleFrame() {
    // Only while the window still has the size it was created with: a size the user (or
    // the window manager) has given it meanwhile stays.
    if (HasWindowFrame(*this) && size() == QSize(kClientWidth, kClientHeight)) {
        const QSize frame = OuterSize(*this) - size();
        resize(kOuterWidth - frame.width(), kOuterHeight - frame.height());
        CentreOnScreen();
    }
    frameSettled_ = true;
    if (pickMovePending_) {
        pickMovePending_ = false;
        MovePickToCorner();
    }
}

void TForm1::dragEnterEvent(QDragEnterEvent* e) {
    if (e->mimeData()->hasUrls())
        e->acceptProposedAction();
}

void TForm1::dropEvent(QDropEvent* e) {
    e->acceptProposedAction();
    DropMimeData(*e->mimeData());
}

void TForm1::DropMimeData(const QMimeData& mime) {
    std::vector<std::string> paths;
    for (const QUrl& url : mime.urls())
        if (url.isLocalFile())
            paths.push_back(ToPath(url.toLocalFile()));
    Guarded([&] { DropFiles(paths); }, this);
}

} // namespace tessaly
