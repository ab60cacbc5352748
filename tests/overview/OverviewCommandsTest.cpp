// The command table over the grid: the commands on the shown picture are greyed and their keys
// find no row, while the list's commands and the steps act on the current entry as before.
#include "viewer/MainWindowCommands.h"

#include <QAction>
#include <gtest/gtest.h>
#include <string_view>

namespace tessaly::testing {
namespace {

const CommandRow& Row(std::string_view caption) {
    for (const CommandRow& row : MainWindowCommands())
        if (row.caption != nullptr && caption == row.caption)
            return row;
    ADD_FAILURE() << "no row " << caption;
    return MainWindowCommands().front();
}

TEST(OverviewCommands, ThePicturesCommandsAreOffInTheGridAndTheListsStayOn) {
    ViewerModel model([](std::string_view path) { return std::string(path); });
    model.List().Replace({"/p/1.jpg", "/p/2.jpg", "/p/3.jpg"});
    ASSERT_TRUE(model.StartList([](FileListType&) {}));

    const char* const picture[] = {
        "拡大(+5)", "拡大(+1)", "縮小(-1)",    "縮小(-5)",    "Exif表示",         "範囲選択",
        "フィット", "実寸",     "右に90°回転", "左に90°回転", "回転を画素に反映", "スライドショー"};
    const char* const list[] = {"次の画像",     "前の画像",          "先頭へ",
                                "ゴミ箱へ移動", "フォルダへ移動...", "フォルダへコピー...",
                                "全画面表示",   "一覧表示",          "ヘルプ",
                                "おわり"};
    for (const char* caption : picture)
        EXPECT_TRUE(CommandEnabled(Row(caption), model)) << caption << " in the single view";
    ASSERT_NE(CommandForKey(Qt::Key_R), nullptr);
    EXPECT_EQ(CommandForKey(Qt::Key_R)->run, &MainWindow::TurnRight);

    model.SetOverviewShown(true);
    for (const char* caption : picture)
        EXPECT_FALSE(CommandEnabled(Row(caption), model)) << caption << " in the grid";
    for (const char* caption : list)
        EXPECT_TRUE(CommandEnabled(Row(caption), model)) << caption << " in the grid";
    // The turns' and the slideshow's keys do nothing over the grid (they would act on the
    // picture last shown, not on the marked entry); Delete still acts on the marked one.
    for (const int key :
         {int(Qt::Key_R), int(Qt::Key_L), int(Qt::Key_S), (Qt::SHIFT | Qt::Key_R).toCombined()})
        EXPECT_EQ(CommandForKey(key, true), nullptr) << key;
    ASSERT_NE(CommandForKey(Qt::Key_Delete, true), nullptr);
    EXPECT_EQ(CommandForKey(Qt::Key_Delete, true)->run, &MainWindow::MoveToTrash);
}

} // namespace
} // namespace tessaly::testing
