// The pick window's popup menu: its items, where it opens, the two effect items, closing.
#include "PickTestSupport.h"
#include "ui/TwoColumnMenu.h"

#include <QAction>
#include <QContextMenuEvent>
#include <QPointer>

namespace tessaly::testing {
namespace {

TEST_F(PickWindowTest, MenuHasSevenItemsWithTheEffectsInTheSecondColumn) {
    PickWindow& form = NewWindow();
    const std::vector<std::pair<QAction*, QString>> expected = {
        {form.copyActualItem, QStringLiteral("コピー(実サイズ)")},
        {form.copyShownItem, QStringLiteral("コピー(表示サイズ)")},
        {form.saveActualItem, QStringLiteral("保存(実サイズ)")},
        {form.saveShownItem, QStringLiteral("保存(表示サイズ)")},
        {form.closeItem, QStringLiteral("閉じる")},
        {form.sepiaItem, QStringLiteral("セピア")},
        {form.monochromeItem, QStringLiteral("モノクロ")},
    };
    const QList<QAction*> items = form.menu->actions();
    ASSERT_EQ(items.size(), 7);
    for (int i = 0; i < 7; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(items[i], expected[i].first);
        EXPECT_EQ(items[i]->text(), expected[i].second);
        EXPECT_TRUE(items[i]->isEnabled());
        EXPECT_FALSE(items[i]->isChecked());
        EXPECT_FALSE(IsDefault(*items[i]));
        EXPECT_EQ(form.menu->ColumnOf(items[i]), i < 5 ? 0 : 1);
    }
    EXPECT_TRUE(form.sepiaItem->isCheckable());
    EXPECT_TRUE(form.monochromeItem->isCheckable());
    EXPECT_FALSE(form.copyActualItem->isCheckable());
}

TEST_F(PickWindowTest, MenuOpensOnRightReleaseOverThePictureOnlyOrByTheMenuKey) {
    // A 200 x 150 picture kept at 100 x 75 in a 400 x 300 window: a margin around it.
    PickWindow& form = NewWindow();
    ShowPick(form, fixtures::GradientBitmap(200, 150), 200, 150, QString());
    ResizeClient(form, 100, 75);
    ResizeClient(form, 400, 300);
    ASSERT_EQ(form.picture->geometry(), QRect(150, 112, 100, 75));
    TwoColumnMenu& menu = *form.menu;

    QTest::mousePress(form.picture, Qt::RightButton, {}, QPoint(50, 30));
    EXPECT_FALSE(menu.isVisible()) << "opens at the release, not the press";
    QTest::mouseRelease(form.picture, Qt::RightButton, {}, QPoint(50, 30));
    EXPECT_TRUE(menu.isVisible());
    menu.hide();

    QTest::mouseRelease(form.picture, Qt::LeftButton, {}, QPoint(50, 30));
    EXPECT_FALSE(menu.isVisible());
    // Pressed on the picture, released beside it.
    QTest::mouseRelease(form.picture, Qt::RightButton, {}, QPoint(120, 30));
    EXPECT_FALSE(menu.isVisible());
    // The margin around the picture has no menu.
    QTest::mouseClick(&form, Qt::RightButton, {}, QPoint(20, 20));
    EXPECT_FALSE(menu.isVisible());
    QContextMenuEvent byMouse(QContextMenuEvent::Mouse, QPoint(20, 20),
                              form.mapToGlobal(QPoint(20, 20)));
    QApplication::sendEvent(&form, &byMouse);
    EXPECT_FALSE(menu.isVisible());

    QContextMenuEvent byKey(QContextMenuEvent::Keyboard, QPoint(0, 0),
                            form.mapToGlobal(QPoint(0, 0)));
    QApplication::sendEvent(&form, &byKey);
    EXPECT_TRUE(menu.isVisible());
    EXPECT_EQ(menu.ActiveAction(), form.copyActualItem)
        << "opened by keyboard: first item highlighted";
    menu.hide();
}

// The effect items from each starting state: what "セピア" and "モノクロ" leave behind.
TEST_F(PickWindowTest, EffectItemsKeepAtMostOneCheckedAndBoldTogether) {
    struct Row {
        bool sepia, mono; // before
        bool sepiaAfterSepia, monoAfterSepia;
        bool sepiaAfterMono, monoAfterMono;
    };
    const Row rows[] = {
        {false, false, true, false, false, true},
        {true, false, false, false, false, true},
        {false, true, true, false, false, false},
    };
    PickWindow& form = NewWindow();
    for (const Row& row : rows) {
        for (bool chooseSepia : {true, false}) {
            SCOPED_TRACE(::testing::Message()
                         << "before sepia=" << row.sepia << " mono=" << row.mono
                         << (chooseSepia ? ", セピア" : ", モノクロ"));
            SetCheckDefault(*form.sepiaItem, row.sepia);
            SetCheckDefault(*form.monochromeItem, row.mono);
            (chooseSepia ? form.sepiaItem : form.monochromeItem)
                ->trigger(); // through the menu's connection
            const bool wantSepia = chooseSepia ? row.sepiaAfterSepia : row.sepiaAfterMono;
            const bool wantMono = chooseSepia ? row.monoAfterSepia : row.monoAfterMono;
            EXPECT_EQ(form.sepiaItem->isChecked(), wantSepia);
            EXPECT_EQ(IsDefault(*form.sepiaItem), wantSepia);
            EXPECT_EQ(form.monochromeItem->isChecked(), wantMono);
            EXPECT_EQ(IsDefault(*form.monochromeItem), wantMono);
        }
    }
    EXPECT_TRUE(boxes_.boxes().empty());
}

TEST_F(PickWindowTest, ClosingOnlyHidesTheWindowWithItsPicture) {
    PickWindow& form = NewWindow();
    const Bitmap picture = fixtures::GradientBitmap(120, 80);
    ShowPick(form, picture, 120, 80, QStringLiteral("100.0%表示 実サイズ(120,80)"));
    QPointer<PickWindow> alive(&form);
    form.closeItem->trigger();
    DeliverQueuedEvents();
    ASSERT_TRUE(alive);
    EXPECT_FALSE(form.isVisible());
    EXPECT_TRUE(form.picture->Picture().SamePixels(picture));

    // The title bar's close button does the same.
    form.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&form));
    EXPECT_TRUE(form.close());
    DeliverQueuedEvents();
    ASSERT_TRUE(alive);
    EXPECT_FALSE(form.isVisible());
    EXPECT_FALSE(form.testAttribute(Qt::WA_DeleteOnClose));
    EXPECT_FALSE(form.testAttribute(Qt::WA_QuitOnClose)) << "a pick window never ends the program";
}

} // namespace
} // namespace tessaly::testing
