// The main window's selection rectangle and EXIF overlay: the model moves and captions them,
// the window shows its answer.
#include "base/ShiftJis.h"
#include "exif/ExifOverlay.h"
#include "ui/Cursors.h"
#include "viewer/MainWindow.h"
#include "viewer/OverlayLabels.h"
#include "viewer/SelectionShape.h"
#include "viewer/ViewUpdate.h"

namespace tessaly {

void MainWindow::ShowSelectionCaption(bool moving) {
    const ViewUpdate update(*this);
    model_.SetCaption(
        model_.SelectionCaption(moving ? SelectionDrag::Move : SelectionDrag::Resize));
}

void MainWindow::ToggleSelection() {
    const ViewUpdate update(*this);
    model_.ToggleSelection();
}

void MainWindow::PressSelection(SelectionDrag part, Qt::MouseButton button, int x, int y) {
    const ViewUpdate update(*this);
    // Moving shows the drag cursor; the handle shows its own sizing cursor.
    if (model_.StartSelectionDrag(button == Qt::LeftButton, x, y, part) &&
        part == SelectionDrag::Move)
        SetScreenCursor(Qt::DragMoveCursor);
}

void MainWindow::DragSelection(SelectionDrag part, int x, int y) {
    const ViewUpdate update(*this);
    model_.DragSelection(x, y, part);
}

void MainWindow::ReleaseSelection(SelectionDrag part) {
    const ViewUpdate update(*this);
    model_.EndSelectionDrag(part);
    if (part == SelectionDrag::Move)
        SetScreenCursor(std::nullopt);
}

// --- The EXIF overlay ---

void MainWindow::ToggleOverlay() {
    const ViewUpdate update(*this);
    model_.ToggleOverlay();
    if (!model_.List().Empty())
        ShowOverlay(model_.List().Index());
}

void MainWindow::ShowOverlay(int k) {
    const OverlayLabels overlay{ui_.overlayLabel, ui_.overlayCopy};
    if (!model_.OverlayShown()) {
        overlay.Hide();
        return;
    }
    // A read error passes on from here before the labels change: they keep the old text.
    const std::string text = MakeDspExifInfo(exifInfo_, model_.List().Path(k));
    overlay.Show(QString::fromStdString(SjisToUtf8(text)));
}

} // namespace tessaly
