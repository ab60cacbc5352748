// The save dialog of a pick window. The window talks to it through SavePictureDialog, so
// that tests can choose or cancel without a modal dialog; FileSavePictureDialog is the real
// one, Qt's own file dialog.
#pragma once

#include <QImage>
#include <QPointer>
#include <QSize>
#include <QString>
#include <optional>
#include <string>

class QFileDialog;
class QWidget;

namespace tessaly {

class SavePictureDialog {
public:
    SavePictureDialog() = default;
    virtual ~SavePictureDialog() = default;
    SavePictureDialog(const SavePictureDialog&) = delete;
    SavePictureDialog& operator=(const SavePictureDialog&) = delete;

    // Shows the dialog modally, opening in `initialDir` (empty: wherever the platform
    // chooses) and offering `fileName` (the name chosen last, or empty). Returns the chosen
    // file's path, or nullopt when the user cancels.
    virtual std::optional<QString> Execute(const QString& initialDir, const QString& fileName) = 0;
};

// The filter and default extension of the save dialog.
inline const QString kSavePictureFilter = QStringLiteral("JPEG イメージファイル (*.jpg)");
inline const QString kSavePictureSuffix = QStringLiteral("jpg");

// Qt's own save dialog (not the desktop's, so it behaves the same everywhere): one JPEG
// filter, default suffix "jpg", a confirmation before an existing file is overwritten,
// resizable, and a preview pane (a QLabel named "savePreview" at the right) that shows the
// file selected in the dialog. The dialog is made at the first Execute and kept, as a child
// of `parent`.
class FileSavePictureDialog final : public SavePictureDialog {
public:
    explicit FileSavePictureDialog(QWidget* parent) : parent_(parent) {}
    ~FileSavePictureDialog() override;

    std::optional<QString> Execute(const QString& initialDir, const QString& fileName) override;

    // The dialog, once made (for tests).
    QFileDialog* Dialog() const;

private:
    QWidget* parent_;
    QPointer<QFileDialog> dialog_;
};

// The side of the square preview pane of the save dialog, in logical pixels.
inline constexpr int kSavePreviewSide = 160;

// The preview of a file selected in the save dialog: the JPEG picture reduced to fit `box`
// (device pixels) with its aspect kept, never enlarged. It is decoded at the smallest of
// libjpeg's scales that is not below that size, so that a large photo takes a fraction of
// its full decode. A null image for anything that is not a readable JPEG regular file (a
// pipe is not waited on); nothing is reported.
QImage SavePreviewImage(const QString& path, QSize box);

// The folder of a chosen file as the save dialog's starting folder is kept: bytes as the
// system takes them, without a final separator, except that the root folder stays "/".
// A name without a folder gives an empty string.
std::string SaveFolderOf(const QString& fileName);

} // namespace tessaly
