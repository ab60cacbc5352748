#include "pick/PickWindow.h"

#include "jpeg/JpegWriter.h"
#include "resample/OutputPicture.h"
#include "model/Pick.h"
#include "ui/BitmapView.h"
#include "ui/Cursors.h"
#include "ui/Guard.h"
#include "ui/MenuItems.h"
#include "ui/TwoColumnMenu.h"
#include "ui/WindowPlacement.h"

#include <QAction>
#include <QCloseEvent>
#include <QContextMenuEvent>
#include <QFile>
#include <QMouseEvent>
#include <filesystem>

namespace tessaly {

PickWindow::PickWindow(SaveFolder& saveFolder, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint), saveFolder_(saveFolder) {
    // A pick window never ends the program by being closed.
    setAttribute(Qt::WA_QuitOnClose, false);
    resize(kDesignOuterWidth - kDesignFrameWidth, kDesignOuterHeight - kDesignFrameHeight);
    Image1 = new PickImage(this);
    Image1->setGeometry(0, 0, width(), height());
    Image1->installEventFilter(this);
    CreateMenu();
    SavePictureDialog1 = std::make_unique<FileSavePictureDialog>(this);
    FormCreate();
}

PickWindow::~PickWindow() = default;

void PickWindow::CreateMenu() {
    PopupMenu1 = new TwoColumnMenu(this);
    TwoColumnMenu& menu = *PopupMenu1;
    Copy1 = AddMenuItem(menu, *this, QStringLiteral("コピー(実サイズ)"), &PickWindow::Copy1Click);
    Copy2 = AddMenuItem(menu, *this, QStringLiteral("コピー(表示サイズ)"), &PickWindow::Copy2Click);
    Save1 = AddMenuItem(menu, *this, QStringLiteral("保存(実サイズ)"), &PickWindow::Save1Click);
    Save2 = AddMenuItem(menu, *this, QStringLiteral("保存(表示サイズ)"), &PickWindow::Save2Click);
    Close1 = AddMenuItem(menu, *this, QStringLiteral("閉じる"), &PickWindow::Close1Click);
    sepia = AddMenuItem(menu, *this, QStringLiteral("セピア"), &PickWindow::sepiaClick, true);
    BW = AddMenuItem(menu, *this, QStringLiteral("モノクロ"), &PickWindow::BWClick, true);
    menu.SetColumnBreak(sepia);
}

// ---------------------------------------------------------------------------------------
// Creation and resizing

void PickWindow::FormCreate() {
    FirstResize = true;
}

void PickWindow::ShowPick(PickSetup setup) {
    const Size pick{setup.picture.Width(), setup.picture.Height()};
    Image1->move(0, 0);
    Image1->resize(setup.shown.width, setup.shown.height);
    Image1->SetPicture(std::move(setup.picture), std::move(setup.colours));
    profile_ = std::move(setup.profile);
    resize(setup.shown.width, setup.shown.height);
    SetOuterPos(*this, setup.position);
    setWindowTitle(QString::fromStdString(PickCaption(setup.number, pick)));
    Image1->setToolTip(QString::fromStdString(PickHint(setup.shown, pick, PickHintForm::AsPicked)));
    show();
}

void PickWindow::FormResize() {
    if (FirstResize) {
        FirstResize = false;
        return;
    }
    ImageResize();
}

void PickWindow::ImageResize() {
    const Bitmap& picture = Image1->Picture();
    if (picture.Empty())
        return; // nothing picked yet: nothing to fit
    FitCtrl(picture.Height(), picture.Width(), *Image1, *this);
    Image1->setToolTip(QString::fromStdString(PickHint({Image1->width(), Image1->height()},
                                                       {picture.Width(), picture.Height()},
                                                       PickHintForm::Resized)));
}

// ---------------------------------------------------------------------------------------
// Copying and saving

void PickWindow::ImageSave(const QString& fileName, OutputSize size, bool toClipboard) {
    const BusyCursor busy;
    Bitmap out;
    JpegWriter jpeg;
    const Bitmap& picture = Image1->Picture();
    if (picture.Empty())
        return;
    const bool actual = size == OutputSize::Actual;
    MakeOutputPicture(picture, out, actual ? picture.Width() : Image1->width(),
                      actual ? picture.Height() : Image1->height(), Effect());
    if (toClipboard) {
        PutOnClipboard(out, profile_);
    } else {
        jpeg.Assign(std::move(out));
        jpeg.SetIccProfile(profile_);
        SaveJpegFile(jpeg, std::filesystem::path(QFile::encodeName(fileName).toStdString()),
                     kSaveLevel);
    }
}

void PickWindow::IMGsave(OutputSize size) {
    const std::optional<QString> chosen = SavePictureDialog1->Execute(
        QFile::decodeName(QByteArray::fromStdString(saveFolder_.Path())), lastFileName_);
    if (!chosen)
        return;
    lastFileName_ = *chosen;
    ImageSave(*chosen, size, false);
    saveFolder_.Set(SaveFolderOf(*chosen));
}

void PickWindow::Copy1Click() {
    ImageSave(QString(), OutputSize::Actual, true);
}
void PickWindow::Copy2Click() {
    ImageSave(QString(), OutputSize::Shown, true);
}
void PickWindow::Save1Click() {
    IMGsave(OutputSize::Actual);
}
void PickWindow::Save2Click() {
    IMGsave(OutputSize::Shown);
}

// ---------------------------------------------------------------------------------------
// Effects and closing

void PickWindow::sepiaClick() {
    ChooseEffect(PictureEffect::Sepia);
}

void PickWindow::BWClick() {
    ChooseEffect(PictureEffect::Mono);
}

PictureEffect PickWindow::Effect() const {
    if (sepia->isChecked())
        return PictureEffect::Sepia;
    return BW->isChecked() ? PictureEffect::Mono : PictureEffect::None;
}

void PickWindow::ChooseEffect(PictureEffect effect) {
    const PictureEffect chosen = Effect() == effect ? PictureEffect::None : effect;
    SetCheckDefault(*sepia, chosen == PictureEffect::Sepia);
    SetCheckDefault(*BW, chosen == PictureEffect::Mono);
}

void PickWindow::Close1Click() {
    close();
}

// ---------------------------------------------------------------------------------------
// Qt events, each handed to the program's handler

void PickWindow::resizeEvent(QResizeEvent* event) {
    // Every resize notification counts, the one sent when a hidden window is first shown
    // included: that is the first, and FormResize swallows it, so the control keeps the
    // display size the pick gave it.
    Guarded([this] { FormResize(); }, this);
    QWidget::resizeEvent(event);
}

void PickWindow::closeEvent(QCloseEvent* event) {
    // Closing only hides the window; it lives, with its picture, until the program ends.
    hide();
    event->accept();
}

void PickWindow::contextMenuEvent(QContextMenuEvent* event) {
    // The mouse opens the menu at the right button's release over the picture (eventFilter);
    // the menu key opens it over the picture here.
    if (event->reason() == QContextMenuEvent::Keyboard)
        PopupMenu1->Popup(Image1->mapToGlobal(Image1->rect().center()),
                          TwoColumnMenu::OpenedBy::Keyboard);
    event->accept();
}

bool PickWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == Image1 && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton &&
            Image1->rect().contains(mouse->position().toPoint()))
            PopupMenu1->Popup(mouse->globalPosition().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tessaly
