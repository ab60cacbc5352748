// The EXIF overlay in the main window: two labels one pixel apart, refreshed with every
// picture, kept as they were when the reader fails.
#include "MainWindowFixture.h"
#include "tests/support/ExifBuilder.h"

#include <QLabel>

using namespace tessaly;
using namespace tessaly::testing;
using namespace tessaly::fixtures;

namespace {

// A small picture whose EXIF block names a maker and model and a few shooting values.
std::string WriteJpegWithExif(const TempDir& dir, const std::string& name, const std::string& make,
                              ByteOrder order = ByteOrder::Intel) {
    ExifBuilder exif(order);
    exif.Ifd0().Ascii(271, make).Ascii(272, "MODEL");
    exif.Exif()
        .Ascii(36867, "2006:07:17 12:34:56")
        .Rational(33434, 1, 250)
        .Rational(33437, 28, 10)
        .Short(34855, 100)
        .Short(37385, 16);
    const auto path = dir / name;
    WriteFile(path, EncodeJpeg(SolidBitmap(32, 24, 10, 20, 30),
                               {.segments = {ExifSegment(exif.Build())}}));
    return path.string();
}

} // namespace

class OverlayTest : public MainWindowTest {};

TEST_F(OverlayTest, OffByDefaultAndNothingIsRead) {
    MainWindow& f = Open({WriteJpegWithExif(dir_, "a.jpg", "MAKER")});
    EXPECT_FALSE(f.Ui().overlayItem->isChecked());
    EXPECT_FALSE(f.Ui().overlayLabel->isVisible());
    EXPECT_TRUE(f.ExifReader().ImageFileName().empty());
}

TEST_F(OverlayTest, SwitchingOnWithAnEmptyListOnlyChangesTheMenu) {
    MainWindow& f = Open();
    f.Ui().overlayItem->trigger();
    EXPECT_TRUE(f.Ui().overlayItem->isChecked());
    EXPECT_FALSE(f.Ui().selectionItem->isEnabled());
    EXPECT_FALSE(f.Ui().overlayLabel->isVisible());
}

TEST_F(OverlayTest, ShowsTheBlockTwiceOnePixelApartAndFollowsTheList) {
    const std::string a = WriteJpegWithExif(dir_, "a.jpg", "MAKER");
    const std::string b = WriteJpegWithExif(dir_, "b.jpg", "OTHER", ByteOrder::Motorola);
    MainWindow& f = Open({a, b});
    f.Ui().overlayItem->trigger();
    ASSERT_TRUE(f.Ui().overlayLabel->isVisible());
    EXPECT_TRUE(f.Ui().overlayCopy->isVisible());
    EXPECT_EQ(f.Ui().overlayLabel->pos(), QPoint(2, 2));
    EXPECT_EQ(f.Ui().overlayCopy->pos(), QPoint(3, 3));
    EXPECT_EQ(f.Ui().overlayLabel->text(), f.Ui().overlayCopy->text());
    const QString text = f.Ui().overlayLabel->text();
    EXPECT_TRUE(text.startsWith(
        QStringLiteral("01:画像ファイル名 ------> %1\n").arg(QString::fromStdString(a))));
    EXPECT_TRUE(text.contains(QStringLiteral("\n10:露光時間 ------------> 1/250 秒\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\n13:フラッシュ発光状態 --> (16)\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\n21:カメラのメーカー ----> MAKER\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\n99:サイズ --------------> ")));
    EXPECT_FALSE(text.contains(u'\r'));
    f.Ui().nextItem->trigger();
    EXPECT_TRUE(
        f.Ui().overlayLabel->text().contains(QStringLiteral("21:カメラのメーカー ----> OTHER")));
    f.Ui().overlayItem->trigger();
    EXPECT_FALSE(f.Ui().overlayLabel->isVisible());
    EXPECT_TRUE(f.Ui().overlayLabel->text().isEmpty());
    EXPECT_TRUE(f.Ui().overlayCopy->text().isEmpty());
}

TEST_F(OverlayTest, PictureWithoutExifShowsTheClearedValues) {
    const std::string plain = WriteJpeg(dir_, "plain.jpg", 16, 16);
    MainWindow& f = Open({plain});
    f.Ui().overlayItem->trigger();
    const QString text = f.Ui().overlayLabel->text();
    EXPECT_TRUE(text.contains(QStringLiteral("\n02:撮影日時 ------------> .\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\n05:画像の高さ ----------> 0 dots\n")));
    EXPECT_TRUE(text.contains(QStringLiteral("\n10:露光時間 ------------> --- 秒\n")));
    const auto size = std::filesystem::file_size(plain);
    const auto kilobytes = (size + 512) / 1024; // the size in KB, a half rounding up
    EXPECT_TRUE(text.endsWith(QStringLiteral("> %1 KB ( %2 bytes )").arg(kilobytes).arg(size)))
        << text.toStdString();
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(OverlayTest, ReaderErrorKeepsTheLabelsAndReachesTheErrorBox) {
    const std::string good = WriteJpegWithExif(dir_, "a.jpg", "MAKER");
    ExifBuilder broken;
    broken.Exif().Ascii(36864, "zz"); // a version that is not hexadecimal
    const auto bad = dir_ / "b.jpg";
    WriteFile(bad,
              EncodeJpeg(SolidBitmap(8, 8, 1, 2, 3), {.segments = {ExifSegment(broken.Build())}}));
    MainWindow& f = Open({good, bad.string()});
    f.Ui().overlayItem->trigger();
    const QString before = f.Ui().overlayLabel->text();
    f.Ui().nextItem->trigger();
    ASSERT_EQ(boxes_.boxes().size(), 1u);
    EXPECT_EQ(boxes_.boxes()[0].kind, BoxKind::Error);
    EXPECT_EQ(f.Ui().overlayLabel->text(), before);
    EXPECT_TRUE(f.Ui().overlayLabel->isVisible());
    EXPECT_TRUE(Caption().contains(QString::fromStdString(bad.string())));
}

TEST_F(OverlayTest, DrawnInRedWithAHighlightCopyOnTop) {
    MainWindow& f = Open({WriteJpegWithExif(dir_, "a.jpg", "MAKER")});
    f.Ui().overlayItem->trigger();
    const QImage shot = f.grab().toImage();

    const QColor highlight = f.Ui().overlayCopy->palette().color(QPalette::WindowText);
    int red = 0;
    int light = 0;
    const QRect area(f.Ui().overlayLabel->mapTo(&f, QPoint(0, 0)), f.Ui().overlayLabel->size());
    for (int y = area.top(); y <= area.bottom(); ++y)
        for (int x = area.left(); x <= area.right(); ++x) {
            const QColor c = shot.pixelColor(x, y);
            red += c == QColor(Qt::red);
            light += c == highlight;
        }
    EXPECT_GT(red, 50);
    EXPECT_GT(light, 50);
    EXPECT_EQ(f.Ui().overlayLabel->font().family(), QStringLiteral("IPAGothic"));
    EXPECT_EQ(f.Ui().overlayLabel->font().pixelSize(), 16);
}
