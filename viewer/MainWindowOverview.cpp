// The main window's overview: the grid of the list's thumbnails shown over the client area in
// place of the single picture, and the current entry moved in it.
#include "overview/OverviewCaption.h"
#include "overview/OverviewGrid.h"
#include "ui/Guard.h"
#include "viewer/ListOrder.h"
#include "viewer/MainWindow.h"
#include "viewer/ScrollingClient.h"
#include "viewer/ViewUpdate.h"

namespace tessaly {

void MainWindow::ToggleOverview() {
    const ViewUpdate update(*this);
    if (!model_.OverviewShown()) {
        EnterOverview();
        return;
    }
    model_.SetOverviewShown(false);
    shown_->HoldNeighbours(false);
    ui_.overview->hide();
    ui_.client->show();
    const int k = model_.List().Index();
    if (k >= 1)
        ShowEntry(k);
    else
        model_.UpdateCaption(k);
}

void MainWindow::EnterOverview() {
    if (ui_.overview == nullptr) {
        auto* grid = new OverviewGrid(ThumbnailCache::FromEnvironment(), colours_, this);
        ui_.overview = grid;
        connect(grid, &OverviewGrid::Clicked, this, [this](std::size_t index) {
            Guarded([&] { ShowEntry(static_cast<int>(index) + 1); }, this);
        });
        connect(grid, &OverviewGrid::Activated, this, [this](std::size_t index) {
            Guarded(
                [&] {
                    const ViewUpdate update(*this);
                    ShowEntry(static_cast<int>(index) + 1);
                    ToggleOverview();
                },
                this);
        });
        connect(grid, &OverviewGrid::MenuRequested, this,
                [this](QPoint globalPos) { ShowMenu(globalPos); });
    }
    model_.SetOverviewShown(true);
    shown_->HoldNeighbours(true); // the thumbnails first
    ui_.overview->setGeometry(rect());
    ui_.client->hide();
    ui_.overview->show();
    ui_.overview->raise();
}

void MainWindow::ShowOverviewState() {
    const ImageList& list = model_.List();
    ui_.overview->SetList(list.Entries());
    const int k = list.Index();
    if (k < 1) {
        model_.SetCaption(ViewerModel::StartupCaption());
        return;
    }
    ui_.overview->SetCurrent(static_cast<std::size_t>(k - 1));
    model_.SetCaption(OverviewCaption(DisplayPath(list.Path(k)), k, list.Count()));
}

void MainWindow::MoveInOverview(GridMove move) {
    const int k = model_.List().Index();
    if (!model_.OverviewShown() || k < 1)
        return;
    const std::size_t to = ui_.overview->Geometry().Move(static_cast<std::size_t>(k - 1), move);
    ShowEntry(static_cast<int>(to) + 1);
}

} // namespace tessaly
