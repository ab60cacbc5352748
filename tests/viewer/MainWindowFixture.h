// A main window over picture files the test writes, on the offscreen platform.
#pragma once

#include "base/Rounding.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/QtText.h"
#include "tests/support/ScopedEnv.h"
#include "tests/support/WaitUntil.h"
#include "ui/Dialogs.h"
#include "ui/MenuItems.h"
#include "ui/TwoColumnMenu.h"
#include "ui/WindowPlacement.h"
#include "viewer/MainWindow.h"
#include "viewer/PictureControl.h"
#include "viewer/ScrollingClient.h"
#include "viewer/SelectionShape.h"

#include <QAction>
#include <QTest>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

namespace tessaly::testing {

// Writes a JPEG of the given size (one colour, so encoding is quick) and returns its path.
inline std::string WriteJpeg(const fixtures::TempDir& dir, const std::string& name, int width,
                             int height) {
    const auto path = dir / name;
    fixtures::WriteFile(
        path,
        fixtures::EncodeJpeg(fixtures::SolidBitmap(width, height, 90, 140, 200), {.quality = 50}));
    return path.string();
}

// Places the selection rectangle at `r` (panel coordinates, displayed pixels) through its
// own drags: the rectangle dragged by its top-left pixel, then the handle to the corner.
inline void PlaceSelection(MainWindow& f, QRect r) {
    const QRect shape = f.Ui().selectionFrame->geometry();
    f.PressSelection(SelectionDrag::Move, Qt::LeftButton, 0, 0);
    f.DragSelection(SelectionDrag::Move, r.x() - shape.x(), r.y() - shape.y());
    f.ReleaseSelection(SelectionDrag::Move);
    const QRect handle = f.Ui().selectionHandle->geometry();
    f.PressSelection(SelectionDrag::Resize, Qt::LeftButton, 0, 0);
    // The rectangle's width is the handle's left + 2 - the rectangle's left + 1.
    f.DragSelection(SelectionDrag::Resize, r.x() + r.width() - 3 - handle.x(),
                    r.y() + r.height() - 3 - handle.y());
    f.ReleaseSelection(SelectionDrag::Resize);
}

class MainWindowTest : public ::testing::Test {
protected:
    // Creates the main window with these arguments and shows it.
    MainWindow& Open(std::vector<std::string> arguments = {}) {
        form_ = std::make_unique<MainWindow>(std::move(arguments));
        form_->show();
        EXPECT_TRUE(QTest::qWaitForWindowExposed(form_.get()));
        WaitForPixels();
        return *form_;
    }
    MainWindow& Form() { return *form_; }
    // Until the picture pipeline has delivered the shown picture's full-size pixels.
    // and, where the picture is converted to the display's colours, its transform (linked on
    // a worker). Fails the test when they do not come within a generous cap.
    void WaitForPixels() {
        const PictureControl& picture = *form_->Ui().picture;
        const auto ready = [&] {
            return !picture.HasPicture() ||
                   (picture.Picture()->Settled() && !picture.ColoursPending());
        };
        if (!WaitUntil(ready, std::chrono::seconds(60)))
            ADD_FAILURE() << "the shown picture's pixels or colours did not come";
    }
    QString Caption() const { return form_->windowTitle(); }
    QRect ImageBounds() const { return form_->Ui().picture->geometry(); }
    QRect PanelBounds() const { return form_->Ui().panel->geometry(); }
    // The controls show the model's answer (its arithmetic is tested with the model): the
    // panel and the picture where it lays them out, a visible client area of its size, and
    // its caption.
    void ExpectShowsTheModel() const {
        const ViewerModel& model = form_->Model();
        const auto bounds = [](const Rect& r) { return QRect(r.left, r.top, r.width, r.height); };
        EXPECT_EQ(PanelBounds(), bounds(model.Panel()));
        EXPECT_EQ(ImageBounds(), bounds(model.Image()));
        EXPECT_EQ(form_->Ui().client->Viewport()->size(),
                  QSize(model.Client().ClientWidth(), model.Client().ClientHeight()));
        EXPECT_EQ(Caption(), QString::fromStdString(model.Caption()));
    }

    fixtures::TempDir dir_;
    // The Trash the window's steps use is the test's own.
    ScopedEnv dataHome_{"XDG_DATA_HOME", (dir_ / "data").string()};
    BoxRecorder boxes_;
    std::unique_ptr<MainWindow> form_;
};

} // namespace tessaly::testing
