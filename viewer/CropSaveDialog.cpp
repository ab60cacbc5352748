#include "viewer/CropSaveDialog.h"

#include "pick/SavePictureDialog.h"

#include <QFileDialog>

namespace tessaly {

std::optional<QString> FileCropSaveDialog::Execute(const QString& caption,
                                                   const QString& initialDir) {
    QFileDialog dialog(parent_, caption);
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    dialog.setFileMode(QFileDialog::AnyFile);
    dialog.setNameFilter(kSavePictureFilter);
    dialog.setDefaultSuffix(kSavePictureSuffix);
    dialog.setSizeGripEnabled(true);
    if (!initialDir.isEmpty())
        dialog.setDirectory(initialDir);
    if (dialog.exec() != QDialog::Accepted)
        return std::nullopt;
    const QStringList chosen = dialog.selectedFiles();
    if (chosen.isEmpty() || chosen.front().isEmpty())
        return std::nullopt;
    return chosen.front();
}

} // namespace tessaly
