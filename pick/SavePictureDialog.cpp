#include "pick/SavePictureDialog.h"

#include "base/Paths.h"

#include <QFile>
#include <QFileDialog>
#include <QFileInfo>

namespace tessaly {

FileSavePictureDialog::~FileSavePictureDialog() {
    // The dialog is a child of the window and goes with it; one that outlives this object
    // (the window keeps living) is not left behind.
    delete dialog_.data();
}

QFileDialog* FileSavePictureDialog::Dialog() const {
    return dialog_.data();
}

std::optional<QString> FileSavePictureDialog::Execute(const QString& initialDir,
                                                      const QString& fileName) {
    if (!dialog_) {
        dialog_ = new QFileDialog(parent_);
        dialog_->setOption(QFileDialog::DontUseNativeDialog);
        dialog_->setAcceptMode(QFileDialog::AcceptSave);
        dialog_->setFileMode(QFileDialog::AnyFile);
        dialog_->setNameFilter(kSavePictureFilter);
        dialog_->setDefaultSuffix(kSavePictureSuffix);
        dialog_->setOption(QFileDialog::DontConfirmOverwrite, false);
        dialog_->setSizeGripEnabled(true);
        dialog_->setWindowModality(Qt::ApplicationModal);
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
