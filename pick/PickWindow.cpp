#include "pick/PickWindow.h"

#include "jpeg/JpegWriter.h"
#include "model/Pick.h"
#include "resample/OutputPicture.h"
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
    resize(kStartOuterWidth - kAssumedFrameWidth, kStartOuterHeight - kAssumedFrameHeight);
    picture = new PickImage(this);
    picture->setGeometry(0, 0, width(), height());
    picture->installEventFilter(this);
    CreateMenu();
    saveDialog = std::make_unique<FileSavePictureDialog>(this);
}

PickWindow::~PickWindow() = default;

void PickWindow::CreateMenu() {
    menu = new TwoColumnMenu(this);
    TwoColumnMenu& items = *menu;
    copyActualItem =
        AddMenuItem(items, *this, QStringLiteral("コピー(実サイズ)"), &PickWindow::CopyActualSize);
    copyShownItem =
        AddMenuItem(items, *this, QStringLiteral("コピー(表示サイズ)"), &PickWindow::CopyShownSize);
    saveActualItem =
        AddMenuItem(items, *this, QStringLiteral("保存(実サイズ)"), &PickWindow::SaveActualSize);
    saveShownItem =
        AddMenuItem(items, *this, QStringLiteral("保存(表示サイズ)"), &PickWindow::SaveShownSize);
    closeItem = AddMenuItem(items, *this, QStringLiteral("閉じる"), &PickWindow::ClosePick);
    sepiaItem = AddMenuItem(items, *this, QStringLiteral("セピア"), &PickWindow::ToggleSepia, true);
    monochromeItem =
        AddMenuItem(items, *this, QStringLiteral("モノクロ"), &PickWindow::ToggleMonochrome, true);
    items.SetColumnBreak(sepiaItem);
}

// ---------------------------------------------------------------------------------------
// Creation and resizing

void PickWindow::ShowPick(PickSetup setup) {
    const Size pick{setup.picture.Width(), setup.picture.Height()};
    picture->move(0, 0);
    picture->resize(setup.shown.width, setup.shown.height);
    picture->SetPicture(std::move(setup.picture), std::move(setup.colours));
    profile_ = std::move(setup.profile);
    resize(setup.shown.width, setup.shown.height);
    SetOuterPos(*this, setup.position);
    setWindowTitle(QString::fromStdString(PickCaption(setup.number, pick)));
    picture->setToolTip(
        QString::fromStdString(PickHint(setup.shown, pick, PickHintForm::AsPicked)));
    show();
}

void PickWindow::ColoursKnown(const ColourConversion& conversion) {
    picture->SetColours(conversion.transform);
    if (conversion.ProfileUnused())
        profile_.clear();
}

void PickWindow::WindowResized() {
    if (firstResize) {
        firstResize = false;
        return;
    }
    FitPicture();
}

void PickWindow::FitPicture() {
    const Bitmap& pick = picture->Picture();
    if (pick.Empty())
        return; // nothing picked yet: nothing to fit
    FitCtrl(pick.Height(), pick.Width(), *picture, *this);
    picture->setToolTip(
        QString::fromStdString(PickHint({picture->width(), picture->height()},
                                        {pick.Width(), pick.Height()}, PickHintForm::Resized)));
}

// ---------------------------------------------------------------------------------------
// Copying and saving

void PickWindow::Output(const QString& fileName, OutputSize size, bool toClipboard) {
    const BusyCursor busy;
    Bitmap out;
    JpegWriter jpeg;
    const Bitmap& pick = picture->Picture();
    if (pick.Empty())
        return;
    const bool actual = size == OutputSize::Actual;
    MakeOutputPicture(pick, out, actual ? pick.Width() : picture->width(),
                      actual ? pick.Height() : picture->height(), Effect());
    if (toClipboard) {
        PutOnClipboard(out, profile_);
    } else {
        jpeg.Assign(std::move(out));
        jpeg.SetIccProfile(profile_);
        SaveJpegFile(jpeg, std::filesystem::path(QFile::encodeName(fileName).toStdString()),
                     kSaveLevel);
    }
}

void PickWindow::SaveAs(OutputSize size) {
    const std::optional<QString> chosen = saveDialog->Execute(
        QFile::decodeName(QByteArray::fromStdString(saveFolder_.Path())), lastFileName_);
    if (!chosen)
        return;
    lastFileName_ = *chosen;
    Output(*chosen, size, false);
    saveFolder_.Set(SaveFolderOf(*chosen));
}

void PickWindow::CopyActualSize() {
    Output(QString(), OutputSize::Actual, true);
}
void PickWindow::CopyShownSize() {
    Output(QString(), OutputSize::Shown, true);
}
void PickWindow::SaveActualSize() {
    SaveAs(OutputSize::Actual);
}
void PickWindow::SaveShownSize() {
    SaveAs(OutputSize::Shown);
}

// ---------------------------------------------------------------------------------------
// Effects and closing

void PickWindow::ToggleSepia() {
    ChooseEffect(PictureEffect::Sepia);
}

void PickWindow::ToggleMonochrome() {
    ChooseEffect(PictureEffect::Mono);
}

PictureEffect PickWindow::Effect() const {
    if (sepiaItem->isChecked())
        return PictureEffect::Sepia;
    return monochromeItem->isChecked() ? PictureEffect::Mono : PictureEffect::None;
}

void PickWindow::ChooseEffect(PictureEffect effect) {
    const PictureEffect chosen = Effect() == effect ? PictureEffect::None : effect;
    SetCheckDefault(*sepiaItem, chosen == PictureEffect::Sepia);
    SetCheckDefault(*monochromeItem, chosen == PictureEffect::Mono);
}

void PickWindow::ClosePick() {
    close();
}

// ---------------------------------------------------------------------------------------
// Qt events, each handed to the program's handler

void PickWindow::resizeEvent(QResizeEvent* event) {
    // Every resize notification counts, the one sent when a hidden window is first shown
    // included: that is the first, and WindowResized swallows it, so the control keeps the
    // display size the pick gave it.
    Guarded([this] { WindowResized(); }, this);
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
        menu->Popup(picture->mapToGlobal(picture->rect().center()),
                    TwoColumnMenu::OpenedBy::Keyboard);
    event->accept();
}

bool PickWindow::eventFilter(QObject* watched, QEvent* event) {
    if (watched == picture && event->type() == QEvent::MouseButtonRelease) {
        const auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::RightButton &&
            picture->rect().contains(mouse->position().toPoint()))
            menu->Popup(mouse->globalPosition().toPoint());
    }
    return QWidget::eventFilter(watched, event);
}

} // namespace tessaly
