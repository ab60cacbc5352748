#include "ui/TwoColumnMenu.h"

#include "ui/MenuItems.h"

#include <QAction>
#include <QApplication>
#include <QImage>
#include <QMouseEvent>
#include <QPixmap>
#include <QPointer>
#include <QScreen>
#include <QSignalSpy>
#include <QTest>
#include <QTimer>
#include <gtest/gtest.h>
#include <memory>
#include <vector>

namespace tessaly {
namespace {

struct ItemRow {
    const char* caption; // nullptr: separator
    bool enabled = true;
    bool checked = false;
    bool isDefault = false;
};

// The main window's context menu as it stands at start-up: 18 items, the second column
// starting at "フィット".
const std::vector<ItemRow> kMainMenu = {
    {"拡大(+5)"},
    {"拡大(+1)"},
    {"縮小(-1)"},
    {"縮小(-5)"},
    {nullptr},
    {"Exif表示"},
    {"範囲選択"},
    {"コピー", false},
    {"取出表示", false},
    {"フィット", true, true, true},
    {"実寸"},
    {nullptr},
    {"次の画像", false},
    {"前の画像", false},
    {"先頭へ", false},
    {nullptr},
    {"ヘルプ"},
    {"おわり"},
};
constexpr int kMainBreak = 10;

// A pick window's menu: 7 items, the second column starting at "セピア".
const std::vector<ItemRow> kPickMenu = {
    {"コピー(実サイズ)"}, {"コピー(表示サイズ)"},
    {"保存(実サイズ)"},   {"保存(表示サイズ)"},
    {"閉じる"},           {"セピア"},
    {"モノクロ"},
};
constexpr int kPickBreak = 6;

// A menu and the actions its owner keeps, each counting its triggers and recording whether
// the popup was still open when its handler ran.
class MenuUnderTest {
public:
    MenuUnderTest(const std::vector<ItemRow>& rows, int breakAt) {
        for (const ItemRow& row : rows) {
            auto* action = new QAction(&owner_);
            if (row.caption == nullptr) {
                action->setSeparator(true);
            } else {
                action->setText(QString::fromUtf8(row.caption));
                action->setCheckable(true);
                action->setChecked(row.checked);
                action->setEnabled(row.enabled);
                SetDefault(*action, row.isDefault);
            }
            QObject::connect(action, &QAction::triggered, [this, action] {
                fired.push_back(action);
                openWhenFired.push_back(menu.isVisible());
            });
            actions_.push_back(action);
            menu.addAction(action);
        }
        if (breakAt > 0) {
            menu.SetColumnBreak(Item(breakAt));
        }
    }

    // Item by its 1-based number in the menu.
    QAction* Item(int number) const { return actions_.at(static_cast<size_t>(number - 1)); }
    QAction* Item(const char* caption) const {
        for (QAction* a : actions_) {
            if (a != nullptr && a->text() == QString::fromUtf8(caption)) {
                return a;
            }
        }
        return nullptr;
    }
    int Count() const { return static_cast<int>(actions_.size()); }

    void Key(Qt::Key key) { QTest::keyClick(&menu, key); }
    QString Active() const {
        return menu.ActiveAction() != nullptr ? menu.ActiveAction()->text() : QString();
    }
    void OpenByKeyboard() { menu.Popup(QPoint(100, 100), TwoColumnMenu::OpenedBy::Keyboard); }
    void OpenByMouse() { menu.Popup(QPoint(100, 100)); }

    std::vector<QAction*> fired;
    std::vector<bool> openWhenFired;
    TwoColumnMenu menu; // declared after owner_: destroyed first

private:
    QObject owner_;
    std::vector<QPointer<QAction>> actions_; // null once a test deletes the action
};

class TwoColumnMenuTest : public ::testing::Test {
protected:
    void SetUp() override {
        QFont font(QStringLiteral("IPAPGothic"));
        font.setPixelSize(12);
        QApplication::setFont(font);
    }
    void TearDown() override {
        if (QWidget* popup = QApplication::activePopupWidget()) {
            popup->close();
        }
    }
};

QImage Grab(QWidget& widget) {
    return widget.grab().toImage().convertToFormat(QImage::Format_RGB32);
}

// Pixels of `area` whose colour differs from `background`.
int InkIn(const QImage& image, const QRect& area, QRgb background) {
    int ink = 0;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            ink += image.pixel(x, y) != background ? 1 : 0;
        }
    }
    return ink;
}

// The rightmost column of `area` holding a pixel that differs from `background`.
int InkRight(const QImage& image, const QRect& area, QRgb background) {
    for (int x = area.right(); x >= area.left(); --x) {
        if (InkIn(image, QRect(x, area.top(), 1, area.height()), background) > 0) {
            return x;
        }
    }
    return -1;
}

int DarkestIn(const QImage& image, const QRect& area) {
    int darkest = 255;
    for (int y = area.top(); y <= area.bottom(); ++y) {
        for (int x = area.left(); x <= area.right(); ++x) {
            darkest = std::min(darkest, qGray(image.pixel(x, y)));
        }
    }
    return darkest;
}

// ---- layout -----------------------------------------------------------------------------

TEST_F(TwoColumnMenuTest, MainMenuRunsInTwoTopAlignedColumnsSideBySide) {
    MenuUnderTest m(kMainMenu, kMainBreak);
    ASSERT_EQ(m.Count(), 18);
    EXPECT_EQ(m.menu.ColumnCount(), 2);
    for (int n = 1; n <= 18; ++n) {
        EXPECT_EQ(m.menu.ColumnOf(m.Item(n)), n < kMainBreak ? 0 : 1) << "item " << n;
    }
    const QRect first = m.menu.ItemRect(m.Item(1));
    const QRect fit = m.menu.ItemRect(m.Item(kMainBreak));
    EXPECT_EQ(first.top(), fit.top());
    EXPECT_GT(fit.left(), first.right() + 1) << "room for the bar between the columns";

    // Every item of a column has the column's width; items follow each other without gaps;
    // separators are lower than text items.
    for (int n = 2; n <= 18; ++n) {
        const QRect r = m.menu.ItemRect(m.Item(n));
        const QRect above = m.menu.ItemRect(m.Item(n - 1));
        if (n != kMainBreak) {
            EXPECT_EQ(r.top(), above.bottom() + 1) << "item " << n;
            EXPECT_EQ(r.left(), above.left());
            EXPECT_EQ(r.width(), above.width());
        }
    }
    EXPECT_LT(m.menu.ItemRect(m.Item(5)).height(), first.height());
    // The popup is as wide as both columns plus the bar and the frame, and as high as the
    // taller column plus the frame.
    const QSize size = m.menu.sizeHint();
    const int columnsWidth = first.width() + fit.width();
    EXPECT_GT(size.width(), columnsWidth);
    EXPECT_LE(size.width(), columnsWidth + 16);
    const int tallest =
        std::max(m.menu.ItemRect(m.Item(9)).bottom(), m.menu.ItemRect(m.Item(18)).bottom());
    EXPECT_GT(size.height(), tallest + 1);
    EXPECT_LE(size.height(), tallest + 8);
    // Every item's rectangle lies inside the popup and maps back to its item.
    for (int n = 1; n <= 18; ++n) {
        const QRect r = m.menu.ItemRect(m.Item(n));
        EXPECT_TRUE(QRect(QPoint(0, 0), size).contains(r)) << "item " << n;
        EXPECT_EQ(m.menu.ActionAt(r.center()), m.Item(n));
    }
}

TEST_F(TwoColumnMenuTest, PickMenuPutsTheEffectsInTheSecondColumn) {
    MenuUnderTest m(kPickMenu, kPickBreak);
    EXPECT_EQ(m.menu.ColumnCount(), 2);
    for (int n = 1; n <= 7; ++n) {
        EXPECT_EQ(m.menu.ColumnOf(m.Item(n)), n < kPickBreak ? 0 : 1) << "item " << n;
    }
    EXPECT_EQ(m.menu.ItemRect(m.Item(6)).top(), m.menu.ItemRect(m.Item(1)).top());
    // The height follows the longer first column.
    EXPECT_GT(m.menu.sizeHint().height(), m.menu.ItemRect(m.Item(5)).bottom());
}

TEST_F(TwoColumnMenuTest, ColumnBreaksFollowChangesToTheItems) {
    MenuUnderTest m(kPickMenu, kPickBreak);
    const int twoColumns = m.menu.sizeHint().width();

    // A longer caption widens only its own column.
    const int secondColumnLeft = m.menu.ItemRect(m.Item(6)).left();
    const int firstColumnWidth = m.menu.ItemRect(m.Item(1)).width();
    m.Item(7)->setText(QStringLiteral("モノクロ（とても長い見出し）"));
    EXPECT_EQ(m.menu.ItemRect(m.Item(1)).width(), firstColumnWidth);
    EXPECT_EQ(m.menu.ItemRect(m.Item(6)).left(), secondColumnLeft);
    EXPECT_GT(m.menu.sizeHint().width(), twoColumns);
    m.Item(7)->setText(QStringLiteral("モノクロ"));

    // Removing the break makes one column; a break on the first item makes no empty column.
    m.menu.SetColumnBreak(m.Item(kPickBreak), false);
    EXPECT_EQ(m.menu.ColumnCount(), 1);
    EXPECT_EQ(m.menu.ColumnOf(m.Item(7)), 0);
    EXPECT_LT(m.menu.sizeHint().width(), twoColumns);
    m.menu.SetColumnBreak(m.Item(1));
    EXPECT_EQ(m.menu.ColumnCount(), 1);

    // A hidden item takes no room; if it carries the break, the next column starts later.
    m.menu.SetColumnBreak(m.Item(kPickBreak));
    m.Item(kPickBreak)->setVisible(false);
    EXPECT_EQ(m.menu.ColumnCount(), 1);
    EXPECT_TRUE(m.menu.ItemRect(m.Item(kPickBreak)).isNull());
    EXPECT_EQ(m.menu.ColumnOf(m.Item(kPickBreak)), -1);
    m.Item(kPickBreak)->setVisible(true);
    EXPECT_EQ(m.menu.ColumnCount(), 2);

    // Deleting the action that starts a column removes the column with it.
    delete m.Item(kPickBreak);
    EXPECT_EQ(m.menu.ColumnCount(), 1);
    EXPECT_EQ(m.menu.ColumnOf(m.Item(7)), 0);
}

// ---- drawing ----------------------------------------------------------------------------

TEST_F(TwoColumnMenuTest, DefaultItemsAreBoldAndWider) {
    // Twins in one column: the bold one is drawn with more ink reaching further right.
    // Several items may be bold at once.
    QAction plainFit(QStringLiteral("フィット"));
    QAction boldFit(QStringLiteral("フィット"));
    SetDefault(boldFit, true);
    TwoColumnMenu both;
    QAction secondBold(QStringLiteral("実寸"));
    SetDefault(secondBold, true);
    both.addAction(&plainFit);
    both.addAction(&boldFit);
    both.addAction(&secondBold);
    both.Popup(QPoint(10, 10));
    const QImage image = Grab(both);
    const QRgb background = both.palette().color(QPalette::Window).rgb();
    const int plainInk = InkIn(image, both.ItemRect(&plainFit), background);
    EXPECT_GT(plainInk, 0);
    EXPECT_GT(InkIn(image, both.ItemRect(&boldFit), background), plainInk * 11 / 10);
    EXPECT_GE(InkRight(image, both.ItemRect(&boldFit), background),
              InkRight(image, both.ItemRect(&plainFit), background));
    // A bold caption is measured bold: the column is wide enough for it.
    QAction longBold(QStringLiteral("とても長い既定の項目"));
    SetDefault(longBold, true);
    both.addAction(&longBold);
    const QRect longRect = both.ItemRect(&longBold);
    const QImage wide = Grab(both);
    EXPECT_LT(InkRight(wide, longRect, background), longRect.right() - 4);
    EXPECT_TRUE(IsDefault(boldFit));
    EXPECT_TRUE(IsDefault(secondBold));
}

TEST_F(TwoColumnMenuTest, CheckMarksGreyedItemsHighlightAndColumnBar) {
    MenuUnderTest m(kMainMenu, kMainBreak);
    m.OpenByMouse();
    QImage image = Grab(m.menu);
    const QRgb background = m.menu.palette().color(QPalette::Window).rgb();
    const auto checkColumn = [&](int n) {
        const QRect r = m.menu.ItemRect(m.Item(n));
        return QRect(r.left(), r.top(), 16, r.height());
    };
    // "フィット" is checked, "実寸" (checkable) is not.
    EXPECT_GT(InkIn(image, checkColumn(10), background), 4);
    EXPECT_EQ(InkIn(image, checkColumn(11), background), 0);
    m.Item(11)->setChecked(true);
    image = Grab(m.menu);
    EXPECT_GT(InkIn(image, checkColumn(11), background), 4);

    // A greyed item is drawn lighter than an enabled one with the same text.
    m.Item(8)->setText(QStringLiteral("Exif表示"));
    image = Grab(m.menu);
    const int enabledInk = DarkestIn(image, m.menu.ItemRect(m.Item(6)));
    const int greyedInk = DarkestIn(image, m.menu.ItemRect(m.Item(8)));
    EXPECT_LT(enabledInk + 40, greyedInk);

    // The highlighted item is filled with the palette's highlight colour.
    const QRect help = m.menu.ItemRect(m.Item(17));
    const QPoint blank(help.left() + 2, help.center().y());
    EXPECT_EQ(image.pixel(blank), background);
    m.menu.SetActiveAction(m.Item(17));
    image = Grab(m.menu);
    EXPECT_EQ(image.pixel(blank), m.menu.palette().color(QPalette::Highlight).rgb());

    // The bar between the columns runs down the whole popup, beside the shorter column too.
    const int gapLeft = m.menu.ItemRect(m.Item(1)).right() + 1;
    const int gapRight = m.menu.ItemRect(m.Item(10)).left() - 1;
    const int nearBottom = m.menu.height() - 5;
    EXPECT_GT(InkIn(image, QRect(gapLeft, 10, gapRight - gapLeft + 1, 1), background), 0);
    EXPECT_GT(InkIn(image, QRect(gapLeft, nearBottom, gapRight - gapLeft + 1, 1), background), 0);
}

// ---- keyboard ---------------------------------------------------------------------------

TEST_F(TwoColumnMenuTest, OpeningByKeyboardHighlightsTheFirstItem) {
    MenuUnderTest m(kMainMenu, kMainBreak);
    m.OpenByKeyboard();
    EXPECT_TRUE(m.menu.isVisible());
    EXPECT_EQ(m.menu.ActiveAction(), m.Item(1));
    m.menu.close();
    m.OpenByMouse();
    EXPECT_EQ(m.menu.ActiveAction(), nullptr);
    m.Key(Qt::Key_Down);
    EXPECT_EQ(m.menu.ActiveAction(), m.Item(1));
    m.menu.close();
    m.OpenByMouse();
    m.Key(Qt::Key_Up);
    EXPECT_EQ(m.Active(), "おわり") << "up with nothing highlighted takes the last item";
}

TEST_F(TwoColumnMenuTest, UpAndDownStayInTheColumnSkipSeparatorsAndWrap) {
    MenuUnderTest m(kMainMenu, kMainBreak);
    m.OpenByKeyboard();
    const std::vector<const char*> down = {"拡大(+1)", "縮小(-1)", "縮小(-5)", "Exif表示",
                                           "範囲選択", "コピー",   "取出表示", "拡大(+5)"};
    for (const char* expected : down) {
        m.Key(Qt::Key_Down);
        EXPECT_EQ(m.Active(), QString::fromUtf8(expected));
    }
    m.Key(Qt::Key_Up);
    EXPECT_EQ(m.Active(), "取出表示") << "greyed items can be highlighted";

    m.menu.SetActiveAction(m.Item(10));
    const std::vector<const char*> up = {"おわり",   "ヘルプ", "先頭へ",  "前の画像",
                                         "次の画像", "実寸",   "フィット"};
    for (const char* expected : up) {
        m.Key(Qt::Key_Up);
        EXPECT_EQ(m.Active(), QString::fromUtf8(expected));
    }
    m.Key(Qt::Key_End);
    EXPECT_EQ(m.Active(), "おわり");
    m.Key(Qt::Key_Home);
    EXPECT_EQ(m.Active(), "拡大(+5)");
}

TEST_F(TwoColumnMenuTest, LeftAndRightCrossToTheSameRowOfTheOtherColumn) {
    MenuUnderTest m(kMainMenu, kMainBreak);
    m.OpenByKeyboard();
    struct Cross {
        const char* from;
        Qt::Key key;
        const char* to;
    };
    // Rows are level across the columns down to the first separator; below it the
    // nearest item of the other column is taken.
    const std::vector<Cross> crossings = {
        {"拡大(+5)", Qt::Key_Right, "フィット"}, {"拡大(+1)", Qt::Key_Left, "実寸"},
        {"縮小(-1)", Qt::Key_Right, "次の画像"}, {"前の画像", Qt::Key_Left, "縮小(-5)"},
        {"Exif表示", Qt::Key_Right, "先頭へ"},   {"範囲選択", Qt::Key_Right, "ヘルプ"},
        {"ヘルプ", Qt::Key_Left, "範囲選択"},    {"おわり", Qt::Key_Right, "コピー"},
        {"取出表示", Qt::Key_Left, "おわり"},
    };
    for (const Cross& c : crossings) {
        m.menu.SetActiveAction(m.Item(c.from));
        m.Key(c.key);
        EXPECT_EQ(m.Active(), QString::fromUtf8(c.to)) << c.from;
    }

    // A shorter column: the row beyond its end goes to its last item.
    MenuUnderTest pick(kPickMenu, kPickBreak);
    pick.OpenByKeyboard();
    pick.menu.SetActiveAction(pick.Item("保存(実サイズ)"));
    pick.Key(Qt::Key_Right);
    EXPECT_EQ(pick.Active(), "モノクロ");
    pick.Key(Qt::Key_Left);
    EXPECT_EQ(pick.Active(), "コピー(表示サイズ)");
    pick.Key(Qt::Key_Down);
    pick.Key(Qt::Key_Right);
    EXPECT_EQ(pick.Active(), "モノクロ");
    pick.Key(Qt::Key_Down);
    EXPECT_EQ(pick.Active(), "セピア") << "down wraps within the second column";
}

TEST_F(TwoColumnMenuTest, EnterTriggersAfterClosingButNeverAGreyedItem) {
    MenuUnderTest m(kMainMenu, kMainBreak);

    m.OpenByKeyboard();
    m.menu.SetActiveAction(m.Item("コピー"));
    m.Key(Qt::Key_Return);
    m.Key(Qt::Key_Space);
    m.Key(Qt::Key_Enter);
    EXPECT_TRUE(m.fired.empty());
    EXPECT_TRUE(m.menu.isVisible()) << "a greyed item keeps the popup open";

    m.menu.SetActiveAction(m.Item("ヘルプ"));
    m.Key(Qt::Key_Return);
    ASSERT_EQ(m.fired.size(), 1u);
    EXPECT_EQ(m.fired[0], m.Item("ヘルプ"));
    EXPECT_FALSE(m.openWhenFired[0]) << "the handler runs once the popup has closed";
    EXPECT_FALSE(m.menu.isVisible());

    m.OpenByKeyboard();
    m.Key(Qt::Key_Space);
    ASSERT_EQ(m.fired.size(), 2u);
    EXPECT_EQ(m.fired[1], m.Item(1));

    // Enabling the item while the menu is open makes it available at once.
    m.OpenByKeyboard();
    m.Item("次の画像")->setEnabled(true);
    m.menu.SetActiveAction(m.Item("次の画像"));
    m.Key(Qt::Key_Enter);
    ASSERT_EQ(m.fired.size(), 3u);
    EXPECT_EQ(m.fired[2], m.Item("次の画像"));
}

TEST_F(TwoColumnMenuTest, EscapeClosesWithoutTriggering) {
    MenuUnderTest m(kMainMenu, kMainBreak);
    m.OpenByKeyboard();
    m.Key(Qt::Key_Escape);
    EXPECT_FALSE(m.menu.isVisible());
    EXPECT_TRUE(m.fired.empty());
    EXPECT_EQ(m.menu.ActiveAction(), nullptr);
}

TEST_F(TwoColumnMenuTest, ApplicationShortcutsDoNotFireWhileTheMenuIsOpen) {
    MenuUnderTest m(kPickMenu, kPickBreak);
    // An item whose own shortcut is one of the navigation keys.
    m.Item("閉じる")->setShortcut(QKeySequence(Qt::Key_Down));
    m.OpenByKeyboard();
    m.Key(Qt::Key_Down);
    EXPECT_TRUE(m.fired.empty());
    EXPECT_EQ(m.Active(), "コピー(表示サイズ)");
}

// ---- mouse ------------------------------------------------------------------------------

TEST_F(TwoColumnMenuTest, ClickTriggersAndClosesHoverHighlights) {
    MenuUnderTest m(kMainMenu, kMainBreak);
    m.OpenByMouse();
    const QPoint onHelp = m.menu.ItemRect(m.Item("ヘルプ")).center();
    QTest::mouseMove(&m.menu, onHelp);
    EXPECT_EQ(m.Active(), "ヘルプ");
    QTest::mouseMove(&m.menu, m.menu.ItemRect(m.Item(5)).center());
    EXPECT_EQ(m.menu.ActiveAction(), nullptr) << "a separator is never highlighted";
    QTest::mouseMove(&m.menu, m.menu.ItemRect(m.Item("コピー")).center());
    EXPECT_EQ(m.Active(), "コピー") << "a greyed item is highlighted under the pointer";

    // Greyed items and separators do not react to a click; the popup stays open.
    QTest::mouseClick(&m.menu, Qt::LeftButton, {}, m.menu.ItemRect(m.Item("コピー")).center());
    QTest::mouseClick(&m.menu, Qt::LeftButton, {}, m.menu.ItemRect(m.Item(12)).center());
    EXPECT_TRUE(m.fired.empty());
    EXPECT_TRUE(m.menu.isVisible());

    QTest::mouseClick(&m.menu, Qt::LeftButton, {}, onHelp);
    ASSERT_EQ(m.fired.size(), 1u);
    EXPECT_EQ(m.fired[0], m.Item("ヘルプ"));
    EXPECT_FALSE(m.openWhenFired[0]);
    EXPECT_FALSE(m.menu.isVisible());
}

TEST_F(TwoColumnMenuTest, PressOutsideClosesWithoutTriggering) {
    MenuUnderTest m(kMainMenu, kMainBreak);
    m.OpenByKeyboard();
    QTest::mousePress(&m.menu, Qt::LeftButton, {}, QPoint(-20, -20));
    EXPECT_FALSE(m.menu.isVisible());
    EXPECT_TRUE(m.fired.empty());
}

// Sends a mouse event straight to the menu, as the window system delivers it while the
// popup holds the pointer.
void SendMouse(TwoColumnMenu& menu, QEvent::Type type, QPoint pos, Qt::MouseButtons buttons) {
    QMouseEvent event(type, pos, menu.mapToGlobal(pos), Qt::RightButton, buttons, Qt::NoModifier);
    QApplication::sendEvent(&menu, &event);
}

TEST_F(TwoColumnMenuTest, TheReleaseThatOpenedThePopupDoesNotTrigger) {
    MenuUnderTest m(kPickMenu, kPickBreak);
    QCursor::setPos(100, 100);
    m.OpenByMouse();
    const QPoint onFirst = m.menu.ItemRect(m.Item(1)).topLeft() + QPoint(1, 1);
    // The right button pressed on the window below is released over the first item.
    SendMouse(m.menu, QEvent::MouseButtonRelease, onFirst, Qt::NoButton);
    EXPECT_TRUE(m.fired.empty());
    EXPECT_TRUE(m.menu.isVisible());

    // Pressing, dragging onto an item and releasing there chooses it.
    m.menu.close();
    m.OpenByMouse();
    const QPoint onClose = m.menu.ItemRect(m.Item("閉じる")).center();
    SendMouse(m.menu, QEvent::MouseMove, onClose, Qt::RightButton);
    EXPECT_EQ(m.Active(), "閉じる");
    SendMouse(m.menu, QEvent::MouseButtonRelease, onClose, Qt::NoButton);
    ASSERT_EQ(m.fired.size(), 1u);
    EXPECT_EQ(m.fired[0], m.Item("閉じる"));
}

// ---- Exec, placement and lifetime ----------------------------------------------------------

TEST_F(TwoColumnMenuTest, ExecReturnsTheChosenItemAfterItsHandlerRan) {
    MenuUnderTest m(kPickMenu, kPickBreak);
    QTimer::singleShot(0, [&] {
        m.Key(Qt::Key_Right);
        m.Key(Qt::Key_Down);
        m.Key(Qt::Key_Return);
    });
    QAction* chosen = m.menu.Exec(QPoint(50, 50), TwoColumnMenu::OpenedBy::Keyboard);
    EXPECT_EQ(chosen, m.Item("モノクロ"));
    ASSERT_EQ(m.fired.size(), 1u);
    EXPECT_EQ(m.fired[0], chosen);

    QTimer::singleShot(0, [&] { m.Key(Qt::Key_Escape); });
    EXPECT_EQ(m.menu.Exec(QPoint(50, 50)), nullptr);
    QTimer::singleShot(0, [&] { QTest::mousePress(&m.menu, Qt::LeftButton, {}, QPoint(-5, 5)); });
    EXPECT_EQ(m.menu.Exec(QPoint(50, 50)), nullptr);
    EXPECT_EQ(m.fired.size(), 1u);
}

TEST_F(TwoColumnMenuTest, PopupStaysOnTheScreen) {
    MenuUnderTest m(kMainMenu, kMainBreak);
    const QRect area = QGuiApplication::primaryScreen()->availableGeometry();
    const QSize size = m.menu.sizeHint();

    m.menu.Popup(area.topLeft() + QPoint(10, 20));
    EXPECT_EQ(m.menu.geometry(), QRect(area.topLeft() + QPoint(10, 20), size));

    // Near the bottom-right corner it opens to the left of and above the point.
    const QPoint corner = area.bottomRight() - QPoint(5, 5);
    m.menu.Popup(corner);
    EXPECT_EQ(m.menu.geometry(), QRect(corner - QPoint(size.width(), size.height()), size));
    EXPECT_TRUE(area.contains(m.menu.geometry()));

    // Only the axis that does not fit changes.
    const QPoint right(area.right() - 5, area.top() + 20);
    m.menu.Popup(right);
    EXPECT_EQ(m.menu.pos(), QPoint(right.x() - size.width(), right.y()));

    // A popup taller than the room on both sides of the point is pushed to the edge.
    for (int i = 0; i < 60; ++i) {
        m.menu.addAction(QStringLiteral("項目 %1").arg(i));
    }
    m.menu.SetColumnBreak(m.Item(kMainBreak), false);
    ASSERT_GT(m.menu.sizeHint().height(), area.height() / 2 + 50);
    const int tall = m.menu.sizeHint().height();
    m.menu.Popup(QPoint(area.left() + 10, area.center().y()));
    EXPECT_EQ(m.menu.pos().y(), std::max(area.top(), area.bottom() + 1 - tall));
}

TEST_F(TwoColumnMenuTest, SurvivesItsActionsAndItselfGoingAwayMidUse) {
    auto m = std::make_unique<MenuUnderTest>(kMainMenu, kMainBreak);
    m->OpenByKeyboard();
    m->Key(Qt::Key_Right);
    QAction* fit = m->menu.ActiveAction();
    ASSERT_NE(fit, nullptr);
    delete fit; // the highlighted item, which also starts the second column
    EXPECT_EQ(m->menu.ActiveAction(), nullptr);
    EXPECT_EQ(m->menu.ColumnCount(), 1);
    m->Key(Qt::Key_Down);
    m->Key(Qt::Key_Right);
    EXPECT_EQ(m->Active(), "拡大(+5)");

    // A handler that deletes the menu it was chosen from.
    QAction* help = m->Item("ヘルプ");
    QObject::connect(help, &QAction::triggered, [&m] { m.reset(); });
    m->menu.SetActiveAction(help);
    m->Key(Qt::Key_Return);
    EXPECT_EQ(m, nullptr);

    // The same during Exec.
    auto menu = std::make_unique<TwoColumnMenu>();
    QAction end(QStringLiteral("おわり"));
    menu->addAction(&end);
    QObject::connect(&end, &QAction::triggered, [&menu] { menu.reset(); });
    QTimer::singleShot(0, [&] { QTest::keyClick(menu.get(), Qt::Key_Return); });
    EXPECT_EQ(menu->Exec(QPoint(10, 10), TwoColumnMenu::OpenedBy::Keyboard), &end);
    EXPECT_EQ(menu, nullptr);
}

} // namespace
} // namespace tessaly
