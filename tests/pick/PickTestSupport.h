// A pick window filled the way the main window's pick fills it, a save dialog the tests
// script, and pixel comparisons between Qt images and bitmaps.
#pragma once

#include "pick/PickWindow.h"
#include "pick/SavePictureDialog.h"
#include "picture/Bitmap.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/QtText.h"
#include "tests/support/WaitUntil.h"
#include "ui/Cursors.h"
#include "ui/Dialogs.h"
#include "ui/MenuItems.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QImage>
#include <QTest>
#include <deque>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tessaly::testing {

// Same size and the same colour at every pixel.
inline ::testing::AssertionResult SameImage(const QImage& image, const Bitmap& bitmap) {
    if (image.width() != bitmap.Width() || image.height() != bitmap.Height())
        return ::testing::AssertionFailure()
               << "image " << image.width() << " x " << image.height() << ", bitmap "
               << bitmap.Width() << " x " << bitmap.Height();
    const QImage rgb = image.convertToFormat(QImage::Format_RGB888);
    for (int y = 0; y < bitmap.Height(); ++y) {
        const uchar* a = rgb.constScanLine(y);
        const std::uint8_t* b = bitmap.Row(y);
        for (int x = 0; x < bitmap.Width(); ++x, a += 3, b += 3) {
            if (a[0] != b[2] || a[1] != b[1] || a[2] != b[0])
                return ::testing::AssertionFailure()
                       << "pixel (" << x << ", " << y << "): image rgb " << int(a[0]) << ","
                       << int(a[1]) << "," << int(a[2]) << ", bitmap rgb " << int(b[2]) << ","
                       << int(b[1]) << "," << int(b[0]);
        }
    }
    return ::testing::AssertionSuccess();
}

// Answers the window's save requests from a script and records what it was offered.
class ScriptedSaveDialog final : public SavePictureDialog {
public:
    struct Offer {
        QString initialDir;
        QString fileName;
    };

    std::optional<QString> Execute(const QString& initialDir, const QString& fileName) override {
        offers.push_back({initialDir, fileName});
        if (answers.empty()) {
            ADD_FAILURE() << "save dialog opened without a scripted answer";
            return std::nullopt;
        }
        auto answer = answers.front();
        answers.pop_front();
        return answer;
    }

    std::deque<std::optional<QString>> answers; // nullopt: the user cancels
    std::vector<Offer> offers;
};

// Delivers every event already queued (a late geometry notification of the window system,
// posted events, deferred deletions) without waiting for any time to pass.
inline void DeliverQueuedEvents() {
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

// Installs a scripted dialog in the window and returns it.
inline ScriptedSaveDialog& ScriptDialog(PickWindow& form) {
    auto dialog = std::make_unique<ScriptedSaveDialog>();
    auto& ref = *dialog;
    form.saveDialog = std::move(dialog);
    return ref;
}

// Shows a first pick in the window as the main window does, at the given display size;
// the window writes the hint itself, which is checked when one is given.
inline void ShowPick(PickWindow& form, const Bitmap& picture, int width, int height,
                     const QString& hint, QPoint position = {40, 40}) {
    form.ShowPick({picture, {width, height}, position, 1});
    if (!hint.isEmpty()) {
        EXPECT_EQ(form.picture->toolTip(), hint);
    }
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    DeliverQueuedEvents(); // any late geometry notification
}

// The user resizes the window's client area.
inline void ResizeClient(PickWindow& form, int width, int height) {
    form.resize(width, height);
    EXPECT_TRUE(tessaly::testing::WaitUntil([&] { return form.size() == QSize(width, height); }))
        << "the window did not take the size " << width << " x " << height;
    DeliverQueuedEvents();
}

// A test with pick windows sharing one save folder, the message boxes recorded.
class PickWindowTest : public ::testing::Test {
protected:
    ~PickWindowTest() override { SetWaitCursor(false); }

    PickWindow& NewWindow() {
        windows_.push_back(std::make_unique<PickWindow>(folder_));
        return *windows_.back();
    }

    fixtures::TempDir dir_{"tessaly-pick"};
    BoxRecorder boxes_;
    SaveFolder folder_;

private:
    std::vector<std::unique_ptr<PickWindow>> windows_;
};

} // namespace tessaly::testing
