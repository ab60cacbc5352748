#include "pick/SavePictureDialog.h"

#include "base/Paths.h"
#include "base/RegularFile.h"
#include "jpeg/JpegDecoder.h"
#include "ui/BitmapView.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPixmap>
#include <algorithm>
#include <cmath>
#include <exception>

namespace tessaly {

FileSavePictureDialog::~FileSavePictureDialog() {
    // The dialog is a child of the window and goes with it; one that outlives this object
    // (the window keeps living) is not left behind.
    delete dialog_.data();
}

QFileDialog* FileSavePictureDialog::Dialog() const {
    return dialog_.data();
}

namespace {

// Qt's file dialog decides whether a typed relative name is a folder (and so whether it adds
// the default suffix) by the process's current folder rather than its own. Here a typed
// name is taken in the dialog's folder before Qt sees it: a folder there is entered, and a
// name without a suffix is given ".jpg", so that the overwrite question and the file saved
// are about the file the user means.
class SaveFileDialog final : public QFileDialog {
public:
    using QFileDialog::QFileDialog;

    void accept() override {
        auto* edit = findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
        const QString typed = edit ? edit->text() : QString();
        if (!typed.isEmpty() && QFileInfo(typed).isRelative()) {
            const QFileInfo inFolder(directory(), typed);
            if (inFolder.isDir()) {
                setDirectory(inFolder.absoluteFilePath());
                edit->clear();
                return;
            }
            if (!inFolder.fileName().contains(QLatin1Char('.')))
                edit->setText(typed + QLatin1Char('.') + defaultSuffix());
        }
        QFileDialog::accept();
    }
};

// The preview pane at the right of the dialog's own layout, following its current file.
void AddPreview(QFileDialog& dialog) {
    auto* grid = qobject_cast<QGridLayout*>(dialog.layout());
    if (grid == nullptr)
        return;
    auto* preview = new QLabel(&dialog);
    preview->setObjectName(QStringLiteral("savePreview"));
    preview->setFixedSize(kSavePreviewSide, kSavePreviewSide);
    preview->setAlignment(Qt::AlignCenter);
    grid->addWidget(preview, 0, grid->columnCount(), grid->rowCount(), 1);
    QObject::connect(&dialog, &QFileDialog::currentChanged, preview,
                     [preview](const QString& path) {
                         const qreal ratio = preview->devicePixelRatioF();
                         QImage image = SavePreviewImage(path, preview->size() * ratio);
                         if (image.isNull()) {
                             preview->clear();
                             return;
                         }
                         QPixmap pixmap = QPixmap::fromImage(std::move(image));
                         pixmap.setDevicePixelRatio(ratio);
                         preview->setPixmap(pixmap);
                     });
}

} // namespace

QImage SavePreviewImage(const QString& path, QSize box) {
    if (path.isEmpty() || box.isEmpty())
        return {};
    try {
        const QByteArray name = QFile::encodeName(path);
        const RegularFile file(
            std::string(name.constData(), static_cast<std::size_t>(name.size())));
        const JpegInfo info = ReadJpegHeader(file);
        CheckDecodable(info);
        const double scale = std::min({1.0, static_cast<double>(box.width()) / info.width,
                                       static_cast<double>(box.height()) / info.height});
        const int width = std::max(1, static_cast<int>(std::lround(info.width * scale)));
        const int height = std::max(1, static_cast<int>(std::lround(info.height * scale)));
        const Bitmap decoded = DecodeJpegScaled(file, info, ScaleEighthsFor(info, width, height));
        if (decoded.Width() == width && decoded.Height() == height)
            return BitmapCopy(decoded);
        // A new image of its own: the view over `decoded` does not outlive it.
        return BitmapView(decoded).scaled(width, height, Qt::IgnoreAspectRatio,
                                          Qt::SmoothTransformation);
    } catch (const std::exception&) {
        return {};
    }
}

std::optional<QString> FileSavePictureDialog::Execute(const QString& initialDir,
                                                      const QString& fileName) {
    if (!dialog_) {
        dialog_ = new SaveFileDialog(parent_);
        dialog_->setOption(QFileDialog::DontUseNativeDialog);
        dialog_->setAcceptMode(QFileDialog::AcceptSave);
        dialog_->setFileMode(QFileDialog::AnyFile);
        dialog_->setNameFilter(kSavePictureFilter);
        dialog_->setDefaultSuffix(kSavePictureSuffix);
        dialog_->setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog_->setSizeGripEnabled(true);
        dialog_->setWindowModality(Qt::ApplicationModal);
        AddPreview(*dialog_);
    }
    if (!initialDir.isEmpty())
        dialog_->setDirectory(initialDir);
    // The last name is offered in the starting folder, whatever folder it was saved in.
    dialog_->selectFile(fileName.isEmpty() ? QString() : QFileInfo(fileName).fileName());
    if (dialog_->exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog_->selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return std::nullopt;
    return chosen.front();
}

std::string SaveFolderOf(const QString& fileName) {
    const QByteArray bytes = QFile::encodeName(fileName);
    return FolderWithoutSeparator(
        std::string_view(bytes.constData(), static_cast<std::size_t>(bytes.size())));
}

} // namespace tessaly
