// The main window: the image list, the view with its fit, zoom and panning, the caption,
// the context menu with every command, the selection rectangle and the EXIF overlay.
#pragma once

#include "exif/ExifInfo.h"
#include "imaging/Bitmap.h"
#include "viewer/ImageList.h"

#include <QEvent>
#include <QFrame>
#include <QPointer>
#include <QWidget>
#include <string>
#include <vector>

class QAction;
class QLabel;
class QMimeData;
class QMouseEvent;

namespace tessaly {

class PictureControl;
class SelectionShape;
class ScrollingClient;
class TwoColumnMenu;
class TForm2;
class TForm3;

// The view panel (Panel1): a raised 1-pixel bevel; its interior is its client rectangle
// less the bevel on every side.
class ViewPanel : public QFrame {
    Q_OBJECT
public:
    explicit ViewPanel(QWidget* parent = nullptr);
};

class TForm1 : public QWidget {
    Q_OBJECT
public:
    // Creates the window and runs FormCreate with the command-line arguments (the program
    // name excluded), which builds the image list and shows its first entry.
    explicit TForm1(std::vector<std::string> arguments = {}, QWidget* parent = nullptr);
    ~TForm1() override;

    // The window's controls, named as the program names them.
    ScrollingClient* Client = nullptr; // the scrolling client area
    ViewPanel* Panel1 = nullptr;
    PictureControl* Image1 = nullptr;
    SelectionShape* Shape1 = nullptr;
    SelectionShape* Shape2 = nullptr;
    QLabel* Label1 = nullptr;
    QLabel* Label2 = nullptr;
    TwoColumnMenu* PopupMenu1 = nullptr;
    TExifInfo ExifInfo1; // the EXIF reader of the overlay

    // The context menu's items, in their order.
    QAction* Enlarge5 = nullptr;
    QAction* Enlarge1 = nullptr;
    QAction* Reduction1 = nullptr;
    QAction* Reduction5 = nullptr;
    QAction* N4 = nullptr;
    QAction* Exif1 = nullptr;
    QAction* AreaSel = nullptr;
    QAction* AreaCopy = nullptr;
    QAction* AreaPick = nullptr;
    QAction* N1 = nullptr;
    QAction* N2 = nullptr;
    QAction* N3 = nullptr;
    QAction* MI_nxt = nullptr;
    QAction* MI_prv = nullptr;
    QAction* MI_Head = nullptr;
    QAction* N5 = nullptr;
    QAction* Help1 = nullptr;
    QAction* PickImgEnd = nullptr;

    // --- Start-up and shutdown ---
    void FormCreate(const std::vector<std::string>& arguments);
    void FormActivate();
    void FormClose();

    // --- The image list ---
    void DropFiles(const std::vector<std::string>& paths);
    // The local files of a drop, handed to DropFiles.
    void DropMimeData(const QMimeData& mime);
    void FrstDSP();
    void SetSPDlgFld();
    void MI_nxtClick();
    void MI_prvClick();
    void MI_HeadClick();
    void FormKeyDown(int key);

    // --- The view ---
    void imageDSP(int k);
    void SetJPEGOptions();
    void ImgSizSet();
    void DspInfo1(int k);
    void ImgDspMove(int dx, int dy);
    void SetEnlarge(int step);
    void N1Click();
    void N2Click();
    void Enlarge5Click();
    void Enlarge1Click();
    void Reduction1Click();
    void Reduction5Click();
    void FormResize();
    void Image1MouseDown(Qt::MouseButton button, int x, int y);
    void Image1MouseMove(int x, int y);
    void Image1MouseUp();
    void Image1DblClick();
    void Panel1MouseDown(Qt::MouseButton button, int x, int y);

    // --- Later commands of the menu ---
    void Exif1Click();
    void AreaSelClick();
    void AreaCopyClick(QAction* sender);
    void AreaPickClick(QAction* sender);
    void Help1Click();
    void PickImgEndClick();

    // --- The selection rectangle ---
    void SetAreaAnc();
    void DspAreaAnc(bool show);
    void SelAreaCap(bool moving);
    void Shape1MouseDown(Qt::MouseButton button, int x, int y);
    void Shape1MouseMove(int x, int y);
    void Shape1MouseUp();
    void Shape2MouseDown(Qt::MouseButton button, int x, int y);
    void Shape2MouseMove(int x, int y);
    void Shape2MouseUp();

    // --- The EXIF overlay ---
    void DspExifInfo(int k);

    // The selected area in actual pixels: position from the picture's top-left, and size.
    QRect SelectedArea() const;
    // A displayed length in actual pixels (divided by DspRatio, halves to even); 0 while the
    // picture is shown 0 pixels wide.
    int ActualPixels(int displayed) const;

    // Opens the context menu at a screen position.
    void ShowPopupMenu(const QPoint& globalPos);

signals:
    // The window was closed: the application ends.
    void Closed();
    // "おわり": the application is asked to end, without the close handler.
    void TerminateRequested();

public:
    // --- State, in the order the window declares it ---
    int ImgWidth = 0;
    int ImgHeight = 0;
    int DragX = 0;
    int DragY = 0;
    bool Dragging = false;
    long double Zoom = 0;
    int ImgIndex = 0;
    long double DspRatio = 0;
    FileListType FileList;
    int GrabX = 0;
    int GrabY = 0;
    bool AreaDragging = false;
    QString SavedCap;
    int AncX = 0;
    int AncY = 0;
    Bitmap PickBmp;
    int PickCount = 0;
    bool FirstActivate = false;
    bool DblClicked = false;

    // The two windows the main window works with: the current pick window and the readme
    // window (set by the application after creating them).
    static QPointer<TForm2>& CurrentPickWindow();
    void SetReadmeWindow(TForm3* readme) { readme_ = readme; }
    // The readme file "ヘルプ" loads (the executable's folder; tests point it elsewhere).
    void SetReadmePath(QString path) { readmePath_ = std::move(path); }

    // The interior of Panel1 (client rectangle less the bevel).
    QRect PanelInterior() const;
    bool ImageFilling() const { return imageFilling_; }

    // The start-up caption.
    static QString StartupCaption();

protected:
    bool event(QEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void contextMenuEvent(QContextMenuEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void CreateControls();
    void CreateMenu();
    QAction* AddItem(const QString& caption, void (TForm1::*handler)(), bool checkable = false);
    bool FilterShapeMouse(QObject* watched, QEvent::Type type, const QMouseEvent& mouse);
    QAction* AddSeparator();
    void BuildFromArguments(const std::vector<std::string>& arguments);
    void SetImageFilling(bool filling);
    void LayoutFillingImage();
    void SetCaption(const std::string& utf8);

    // Centres the window on its screen (outer size).
    void CentreOnScreen();
    // Once the window manager has framed the window: the outer size becomes the design's
    // 593 x 428 and the window is centred again; a pick window waiting for the first
    // activation's placement is placed then.
    void SettleFrame();
    // The hidden pick window to the main window's top-left corner (first activation).
    void MovePickToCorner();

    bool imageFilling_ = false;
    bool centredOnce_ = false;
    bool frameSettled_ = false;
    bool pickMovePending_ = false;
    TForm3* readme_ = nullptr; // owned by the application, lives as long as this window
    QString readmePath_;
};

} // namespace tessaly
