// The save dialog of "選択範囲を無劣化で保存...": the main window talks to it through
// CropSaveDialog, so that tests can choose or cancel without a modal dialog;
// FileCropSaveDialog is the real one, Qt's own file dialog with the pick windows' filter and
// suffix.
#pragma once

#include <QString>
#include <optional>

class QWidget;

namespace tessaly {

class CropSaveDialog {
public:
    CropSaveDialog() = default;
    virtual ~CropSaveDialog() = default;
    CropSaveDialog(const CropSaveDialog&) = delete;
    CropSaveDialog& operator=(const CropSaveDialog&) = delete;

    // Shows the dialog modally with the caption `caption`, opening in `initialDir` (empty:
    // wherever the platform chooses). Returns the chosen file's path, or nullopt when the user
    // cancels.
    virtual std::optional<QString> Execute(const QString& caption, const QString& initialDir) = 0;
};

// Qt's own save dialog (not the desktop's): one JPEG filter, default suffix "jpg", a
// confirmation before an existing file is replaced, resizable; made anew for each save, as a
// child of `parent`.
class FileCropSaveDialog final : public CropSaveDialog {
public:
    explicit FileCropSaveDialog(QWidget* parent) : parent_(parent) {}
    std::optional<QString> Execute(const QString& caption, const QString& initialDir) override;

private:
    QWidget* parent_;
};

} // namespace tessaly
