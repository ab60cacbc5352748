// The main window's steps on the shown file (the Trash, moves and copies, undo) and the list
// following the disk. The work is FileCommands'; here the window shows the list's answer.
#include "model/ImageList.h"
#include "overview/OverviewGrid.h"
#include "viewer/FileCommands.h"
#include "viewer/MainWindow.h"
#include "viewer/OverlayLabels.h"
#include "viewer/ViewUpdate.h"

namespace tessaly {

void MainWindow::MoveToTrash() {
    files_->MoveToTrash();
}

void MainWindow::DeleteForGood() {
    files_->DeleteForGood();
}

void MainWindow::MoveToFolder() {
    files_->MoveToFolder();
}

void MainWindow::CopyToFolder() {
    files_->CopyToFolder();
}

void MainWindow::MoveToLastFolder() {
    files_->MoveToLastFolder();
}

void MainWindow::UndoFileStep() {
    files_->UndoLast();
    // A turn or bake undone changed the file shown now: the overview's cell is made again.
    if (ui_.overview && !model_.List().Empty())
        ui_.overview->FileChanged(model_.List().Path(model_.List().Index()));
}

void MainWindow::FollowList(int k) {
    const ViewUpdate update(*this);
    ImageList& list = model_.List();
    model_.StartList([](FileListType&) {}); // stepping follows the count; the order stays
    if (list.Empty()) {
        shown_->Drop();
        model_.StartLoading();
        model_.UpdateCaption(0);
        OverlayLabels{ui_.overlayLabel, ui_.overlayCopy}.Hide();
        return;
    }
    if (k == 0 && list.Index() == 0)
        k = list.First();
    if (k == 0) {
        model_.UpdateCaption(list.Index());
        return;
    }
    list.SetIndex(k);
    ShowEntry(k);
}

} // namespace tessaly
