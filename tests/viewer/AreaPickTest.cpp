// "コピー" and "取出表示": the selected area cut from the full-size picture, to the
// clipboard or into a new pick window sized to the main window.
#include "MainWindowFixture.h"
#include "pick/PickImage.h"
#include "pick/PickWindow.h"
#include "ui/BitmapView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <atomic>

using namespace tessaly;
using namespace tessaly::testing;

class AreaPickTest : public MainWindowTest {
protected:
    // A 3000 x 2000 picture with detail, at actual size ("実寸": shown 2998 pixels wide)
    // with the selection switched on.
    MainWindow& OpenForPicking(bool actualSize = true) {
        const auto path = dir_ / "detail.JPG";
        fixtures::WriteFile(
            path, fixtures::EncodeJpeg(fixtures::GradientBitmap(3000, 2000), {.quality = 95}));
        MainWindow& f = Open({path.string()});
        if (actualSize)
            f.ShowActualSize();
        f.ToggleSelection();
        return f;
    }
    // Places the selection so that it covers (x, y, w, h) in actual pixels of the picture:
    // each displayed value is the smallest whose conversion gives the actual one.
    void Select(int x, int y, int w, int h) {
        const auto displayed = [this](int actual) {
            int d = actual - 2 * (actual > 0 ? 1 : -1);
            while (form_->Model().ActualPixels(d) != actual)
                d += actual > 0 ? 1 : -1;
            return d;
        };
        PlaceSelection(*form_,
                       QRect(form_->Ui().picture->x() + displayed(x),
                             form_->Ui().picture->y() + displayed(y), displayed(w), displayed(h)));
    }
    // The full picture as 24-bit pixels, however the window keeps it.
    const Bitmap& Decoded() {
        if (decoded_.Empty()) {
            const DecodedPicture& kept = *form_->Ui().picture->Picture()->FullPixels();
            decoded_ = kept.Copy(0, 0, kept.Width(), kept.Height());
        }
        return decoded_;
    }
    Bitmap decoded_;
    PickWindow* CurrentPick() { return form_->CurrentPickWindow(); }
};

TEST_F(AreaPickTest, CopyPutsTheActualPixelsOnTheClipboardWhateverTheZoom) {
    MainWindow& f = OpenForPicking(false); // fitted: a ratio of 0.195
    PlaceSelection(f, QRect(f.Ui().picture->x() + 100, f.Ui().picture->y() + 50, 64, 48));
    f.Ui().copyAreaItem->trigger();
    const QImage copied = QGuiApplication::clipboard()->image();
    // Round(64 / 0.195) = 328 and Round(48 / 0.195) = 246: the size of the drag caption.
    EXPECT_EQ(copied.size(), QSize(328, 246));
    const Bitmap expected = [&] {
        Bitmap b = Bitmap::Uninitialized(328, 246);
        for (int y = 0; y < 246; ++y)
            std::memcpy(b.Row(y), Decoded().Row(y + 256) + 3 * 513, 328 * 3);
        return b;
    }();
    EXPECT_EQ(copied.convertToFormat(QImage::Format_RGB888), BitmapCopy(expected));
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(AreaPickTest, AreaPartlyOutsideThePictureIsWhiteThere) {
    MainWindow& f = OpenForPicking();
    Select(-5, 1990, 20, 20);
    f.Ui().copyAreaItem->trigger();
    const QImage copied =
        QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB32);
    ASSERT_EQ(copied.size(), QSize(20, 20));
    EXPECT_EQ(copied.pixel(0, 0), qRgb(255, 255, 255));   // left of the picture
    EXPECT_EQ(copied.pixel(10, 15), qRgb(255, 255, 255)); // below it
    const std::uint8_t* inside = Decoded().Row(1995) + 3 * 2;
    EXPECT_EQ(copied.pixel(7, 5), qRgb(inside[2], inside[1], inside[0]));
}

TEST_F(AreaPickTest, LargePickIsShownAtMostHalfTheMainWindow) {
    MainWindow& f = OpenForPicking();
    const QPoint corner = OuterPos(f);
    Select(10, 20, 1000, 600);
    f.Ui().pickAreaItem->trigger();
    PickWindow* pick = CurrentPick();
    ASSERT_NE(pick, nullptr);
    EXPECT_TRUE(pick->isVisible());
    // 600 > 428: h = 214, w = Round(214 / 0.6) = 357 > 296, so w = 296, h = Round(177.6) = 178.
    EXPECT_EQ(pick->size(), QSize(296, 178));
    EXPECT_EQ(pick->picture->geometry(), QRect(0, 0, 296, 178));
    EXPECT_EQ(pick->windowTitle(), QStringLiteral("取出[1] サイズ(1000,600)"));
    EXPECT_EQ(pick->picture->toolTip(), QStringLiteral("29.6%表示 実サイズ(1000,600)"));
    const Bitmap& picked = pick->picture->Picture();
    ASSERT_EQ(picked.Width(), 1000);
    ASSERT_EQ(picked.Height(), 600);
    EXPECT_EQ(std::memcmp(picked.Row(0), Decoded().Row(20) + 30, 3000), 0);
    EXPECT_EQ(OuterPos(*pick), corner + QPoint(20, 20)); // the first: beside the main window
}

TEST_F(AreaPickTest, PicksAreNumberedAndPlacedTwentyPixelsApart) {
    MainWindow& f = OpenForPicking();
    const QPoint corner = OuterPos(f);
    Select(0, 0, 50, 40);
    f.Ui().pickAreaItem->trigger();
    PickWindow* first = CurrentPick();
    f.Ui().pickAreaItem->trigger();
    PickWindow* second = CurrentPick();
    ASSERT_NE(first, second);
    EXPECT_EQ(first->windowTitle(), QStringLiteral("取出[1] サイズ(50,40)"));
    EXPECT_EQ(second->windowTitle(), QStringLiteral("取出[2] サイズ(50,40)"));
    EXPECT_EQ(OuterPos(*first), corner + QPoint(20, 20));
    EXPECT_EQ(OuterPos(*second), corner + QPoint(40, 40));
    second->ClosePick();
    EXPECT_FALSE(second->isVisible());
    f.Ui().pickAreaItem->trigger();
    EXPECT_EQ(CurrentPick()->windowTitle(), QStringLiteral("取出[3] サイズ(50,40)"));
    EXPECT_EQ(f.Snapshot().pickCount, 3);
}

TEST_F(AreaPickTest, PickKeepsItsPictureWhenTheMainWindowMovesOn) {
    MainWindow& f = OpenForPicking();
    Select(0, 0, 40, 30);
    f.Ui().pickAreaItem->trigger();
    const Bitmap picked = CurrentPick()->picture->Picture();
    f.DropFiles({WriteJpeg(dir_, "other.jpg", 64, 64)});
    f.WindowClosing();
    EXPECT_TRUE(CurrentPick()->picture->Picture().SamePixels(picked));
}

TEST_F(AreaPickTest, SelectionUnderOneActualPixelTakesNothing) {
    MainWindow& f = Open({WriteJpeg(dir_, "small.jpg", 100, 100)});
    for (int i = 0; i < 5; ++i)
        f.ZoomIn5(); // 225 %: shown 223 pixels wide, a ratio of 2.23
    f.ToggleSelection();
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    PlaceSelection(f,
                   QRect(f.Ui().picture->x(), f.Ui().picture->y(), 1, 40)); // 1 / 2.23 rounds to 0
    f.Ui().copyAreaItem->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    f.Ui().pickAreaItem->trigger();
    EXPECT_EQ(CurrentPick(), nullptr);
    EXPECT_EQ(f.Snapshot().pickCount, 0);
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(AreaPickTest, EndAsksTheApplicationToQuitWithoutTheCloseHandler) {
    MainWindow& f = OpenForPicking();
    bool terminate = false;
    bool closed = false;
    QObject::connect(&f, &MainWindow::TerminateRequested, [&] { terminate = true; });
    QObject::connect(&f, &MainWindow::Closed, [&] { closed = true; });
    f.Ui().endItem->trigger();
    EXPECT_TRUE(terminate);
    EXPECT_FALSE(closed);
    EXPECT_FALSE(f.Model().List().Entries().empty()); // the close handler did not run
}

TEST_F(AreaPickTest, AreaLargerThanTheLargestPictureIsRefusedWithTheErrorBox) {
    // 65,500 x 1 fitted to 585 pixels: 200 displayed pixels are 22,393 actual ones, a
    // selection of 501 million pixels, above the 2^28 the program makes.
    MainWindow& f = Open({WriteJpeg(dir_, "wide.jpg", 65500, 1)});
    f.ToggleSelection();
    PlaceSelection(f, QRect(f.Ui().picture->x(), f.Ui().picture->y(), 200, 200));
    QGuiApplication::clipboard()->setText(QStringLiteral("kept"));
    f.Ui().copyAreaItem->trigger();
    f.Ui().pickAreaItem->trigger();
    ASSERT_EQ(boxes_.boxes().size(), 2u);
    for (const auto& box : boxes_.boxes()) {
        EXPECT_EQ(box.kind, BoxKind::Error);
        EXPECT_EQ(box.text, QStringLiteral("選択範囲が大きすぎます (22393 x 22393)."));
    }
    EXPECT_EQ(QGuiApplication::clipboard()->text(), QStringLiteral("kept"));
    EXPECT_EQ(CurrentPick(), nullptr);
    EXPECT_EQ(f.Snapshot().pickCount, 0);
}

TEST_F(AreaPickTest, CopyBeforeTheWorkersHaveDeliveredWaitsForTheirFullPicture) {
    // The copy comes at once after the load, before any result of the picture pipeline has
    // been handled: the window waits for the workers' full-size decode. Here that decode
    // gives one colour, not the file's gradient, so pixels from anywhere else would show.
    const auto path = dir_ / "detail.JPG";
    fixtures::WriteFile(
        path, fixtures::EncodeJpeg(fixtures::GradientBitmap(3000, 2000), {.quality = 95}));
    std::atomic<int> fullDecodes = 0;
    PictureDecoders decoders = DefaultPictureDecoders();
    decoders.decodeFull = [&fullDecodes](const std::string&, const CancelFlag&) {
        ++fullDecodes;
        return DecodedPicture(fixtures::SolidBitmap(3000, 2000, 10, 20, 30));
    };
    form_ = std::make_unique<MainWindow>(std::vector<std::string>{path.string()}, nullptr,
                                         std::move(decoders));
    MainWindow& f = *form_;
    ASSERT_FALSE(f.Ui().picture->Picture()->Settled());
    f.ToggleSelection();
    PlaceSelection(f, QRect(f.Ui().picture->x() + 100, f.Ui().picture->y() + 50, 64, 48));
    f.Ui().copyAreaItem->trigger();
    EXPECT_EQ(QGuiApplication::clipboard()->image().convertToFormat(QImage::Format_RGB888),
              BitmapCopy(fixtures::SolidBitmap(328, 246, 10, 20, 30)));
    WaitForPixels();
    EXPECT_EQ(fullDecodes, 1);
}
