#include "viewer/MainWindowCommands.h"

#include "ui/Guard.h"
#include "ui/MenuItems.h"
#include "viewer/PictureControl.h"
#include "viewer/ScrollingClient.h"
#include "viewer/SelectionShape.h"

#include <QAction>
#include <QMouseEvent>
#include <algorithm>
#include <chrono>

namespace tessaly {

namespace {

using Kind = CommandRow::Kind;
using C = MainWindow::Controls;
using W = MainWindow;

// Keys act while the list has entries (ViewerModel::KeysAct), whether or not the menu's
// items are enabled. Ctrl is the key itself, pressed alone.
bool CanStep(const ViewerModel& m) {
    return m.CanStep();
}

bool HasEntries(const ViewerModel& m) {
    return m.KeysAct();
}

// A key pressed with a modifier, as the window hands it to PressKey.
constexpr int WithModifier(Qt::KeyboardModifier modifier, Qt::Key key) {
    return static_cast<int>(modifier) | static_cast<int>(key);
}

// The slideshow's interval items: checked for the interval in force.
template <int Seconds> bool EverySeconds(const ViewerModel& m) {
    return m.Slides().Interval() == std::chrono::seconds(Seconds);
}

const CommandRow kCommands[] = {
    {.caption = "拡大(+5)",
     .item = &C::zoomIn5Item,
     .run = &W::ZoomIn5,
     .view = CommandRow::View::Single},
    {.caption = "拡大(+1)",
     .item = &C::zoomIn1Item,
     .run = &W::ZoomIn1,
     .view = CommandRow::View::Single},
    {.caption = "縮小(-1)",
     .item = &C::zoomOut1Item,
     .run = &W::ZoomOut1,
     .view = CommandRow::View::Single},
    {.caption = "縮小(-5)",
     .item = &C::zoomOut5Item,
     .run = &W::ZoomOut5,
     .view = CommandRow::View::Single},
    {.kind = Kind::Separator, .item = &C::zoomSeparator},
    {.kind = Kind::CheckItem,
     .caption = "Exif表示",
     .item = &C::overlayItem,
     .run = &W::ToggleOverlay,
     .checked = [](const ViewerModel& m) { return m.OverlayShown(); },
     .bold = true,
     .view = CommandRow::View::Single},
    {.kind = Kind::CheckItem,
     .caption = "範囲選択",
     .item = &C::selectionItem,
     .run = &W::ToggleSelection,
     .enabled = [](const ViewerModel& m) { return m.SelectionAllowed(); },
     .checked = [](const ViewerModel& m) { return m.Selecting(); },
     .view = CommandRow::View::Single},
    {.caption = "コピー",
     .item = &C::copyAreaItem,
     .run = &W::CopyArea,
     .enabled = [](const ViewerModel& m) { return m.CopyAndPickAllowed(); },
     .view = CommandRow::View::Single},
    {.caption = "取出表示",
     .item = &C::pickAreaItem,
     .run = &W::PickArea,
     .enabled = [](const ViewerModel& m) { return m.CopyAndPickAllowed(); },
     .view = CommandRow::View::Single},
    {.caption = "選択範囲を無劣化で保存...",
     .item = &C::cropSaveItem,
     .run = &W::SaveSelectionLossless,
     .enabled = [](const ViewerModel& m) { return m.CopyAndPickAllowed(); },
     .view = CommandRow::View::Single},
    {.kind = Kind::CheckItem,
     .caption = "フィット",
     .item = &C::fitItem,
     .run = &W::FitToWindow,
     .checked = [](const ViewerModel& m) { return m.Mode() == ViewMode::Fit; },
     .bold = true,
     .columnBreak = true,
     .view = CommandRow::View::Single},
    {.kind = Kind::CheckItem,
     .caption = "実寸",
     .item = &C::actualSizeItem,
     .run = &W::ShowActualSize,
     .checked = [](const ViewerModel& m) { return m.Mode() == ViewMode::ActualSize; },
     .bold = true,
     .view = CommandRow::View::Single},
    {.kind = Kind::CheckItem,
     .caption = "全画面表示",
     .item = &C::fullScreenItem,
     .run = &W::ToggleFullScreen,
     .keys = {Qt::Key_F11, Qt::Key_F},
     .checked = [](const ViewerModel& m) { return m.FullScreen().On(); },
     .keepsSlideshow = true,
     .withoutList = true},
    {.kind = Kind::Separator, .item = &C::stepSeparator},
    {.caption = "次の画像",
     .item = &C::nextItem,
     .run = &W::ShowNext,
     .keys = {Qt::Key_Space, Qt::Key_Right},
     .enabled = CanStep},
    {.caption = "前の画像",
     .item = &C::previousItem,
     .run = &W::ShowPrevious,
     .keys = {Qt::Key_Control, Qt::Key_Left},
     .enabled = CanStep},
    {.caption = "先頭へ",
     .item = &C::firstItem,
     .run = &W::ShowFirst,
     .keys = {Qt::Key_Up},
     .enabled = CanStep},
    {.kind = Kind::Separator, .item = &C::turnSeparator},
    {.caption = "右に90°回転",
     .item = &C::turnRightItem,
     .run = &W::TurnRight,
     .keys = {Qt::Key_R},
     .view = CommandRow::View::Single},
    {.caption = "左に90°回転",
     .item = &C::turnLeftItem,
     .run = &W::TurnLeft,
     .keys = {Qt::Key_L},
     .view = CommandRow::View::Single},
    {.caption = "回転を画素に反映",
     .item = &C::bakeItem,
     .run = &W::BakeTurn,
     .view = CommandRow::View::Single},
    {.kind = Kind::Separator, .item = &C::fileSeparator},
    {.caption = "ゴミ箱へ移動",
     .item = &C::trashItem,
     .run = &W::MoveToTrash,
     .keys = {Qt::Key_Delete},
     .enabled = HasEntries},
    {.caption = "フォルダへ移動...",
     .item = &C::moveItem,
     .run = &W::MoveToFolder,
     .keys = {Qt::Key_M},
     .enabled = HasEntries},
    {.caption = "前回のフォルダへ移動",
     .item = &C::moveAgainItem,
     .run = &W::MoveToLastFolder,
     .keys = {WithModifier(Qt::ShiftModifier, Qt::Key_M)},
     .enabled = HasEntries},
    {.caption = "フォルダへコピー...",
     .item = &C::copyItem,
     .run = &W::CopyToFolder,
     .keys = {Qt::Key_C},
     .enabled = HasEntries},
    {.caption = "元に戻す",
     .item = &C::undoItem,
     .run = &W::UndoFileStep,
     .keys = {WithModifier(Qt::ControlModifier, Qt::Key_Z)},
     .withoutList = true},
    {.kind = Kind::Separator, .item = &C::slideshowSeparator},
    {.kind = Kind::CheckItem,
     .caption = "スライドショー",
     .item = &C::slideshowItem,
     .run = &W::ToggleSlideshow,
     .keys = {Qt::Key_S},
     .enabled = CanStep,
     .checked = [](const ViewerModel& m) { return m.Slides().Running(); },
     .keepsSlideshow = true,
     .view = CommandRow::View::Single},
    {.kind = Kind::CheckItem,
     .caption = "2秒",
     .item = &C::every2Item,
     .run = &W::SlideshowEvery<2>,
     .checked = EverySeconds<2>,
     .keepsSlideshow = true},
    {.kind = Kind::CheckItem,
     .caption = "3秒",
     .item = &C::every3Item,
     .run = &W::SlideshowEvery<3>,
     .checked = EverySeconds<3>,
     .keepsSlideshow = true},
    {.kind = Kind::CheckItem,
     .caption = "5秒",
     .item = &C::every5Item,
     .run = &W::SlideshowEvery<5>,
     .checked = EverySeconds<5>,
     .keepsSlideshow = true},
    {.kind = Kind::CheckItem,
     .caption = "10秒",
     .item = &C::every10Item,
     .run = &W::SlideshowEvery<10>,
     .checked = EverySeconds<10>,
     .keepsSlideshow = true},
    {.caption = "一覧表示",
     .item = &C::overviewItem,
     .run = &W::ToggleOverview,
     .keys = {Qt::Key_Return, Qt::Key_Enter}},
    {.kind = Kind::Separator, .item = &C::endSeparator},
    {.caption = "ヘルプ", .item = &C::readmeItem, .run = &W::ShowReadme},
    {.caption = "おわり", .item = &C::endItem, .run = &W::EndProgram},
    {.kind = Kind::KeyOnly, .run = &W::ShowLast, .keys = {Qt::Key_Down}},
    {.kind = Kind::KeyOnly,
     .run = &W::TurnHalf,
     .keys = {(Qt::SHIFT | Qt::Key_R).toCombined()},
     .view = CommandRow::View::Single},
    {.kind = Kind::KeyOnly,
     .run = &W::DeleteForGood,
     .keys = {WithModifier(Qt::ShiftModifier, Qt::Key_Delete)}},
    {.kind = Kind::KeyOnly,
     .run = &W::PressEscape,
     .keys = {Qt::Key_Escape},
     .keepsSlideshow = true,
     .withoutList = true},
    // The grid's moves of the current entry.
    {.kind = Kind::KeyOnly,
     .keys = {Qt::Key_Left},
     .view = CommandRow::View::Overview,
     .act = [](W& w) { w.MoveInOverview(GridMove::Left); }},
    {.kind = Kind::KeyOnly,
     .keys = {Qt::Key_Right},
     .view = CommandRow::View::Overview,
     .act = [](W& w) { w.MoveInOverview(GridMove::Right); }},
    {.kind = Kind::KeyOnly,
     .keys = {Qt::Key_Up},
     .view = CommandRow::View::Overview,
     .act = [](W& w) { w.MoveInOverview(GridMove::Up); }},
    {.kind = Kind::KeyOnly,
     .keys = {Qt::Key_Down},
     .view = CommandRow::View::Overview,
     .act = [](W& w) { w.MoveInOverview(GridMove::Down); }},
    {.kind = Kind::KeyOnly,
     .keys = {Qt::Key_Home},
     .view = CommandRow::View::Overview,
     .act = [](W& w) { w.MoveInOverview(GridMove::Home); }},
    {.kind = Kind::KeyOnly,
     .keys = {Qt::Key_End},
     .view = CommandRow::View::Overview,
     .act = [](W& w) { w.MoveInOverview(GridMove::End); }},
    {.kind = Kind::KeyOnly,
     .keys = {Qt::Key_PageUp},
     .view = CommandRow::View::Overview,
     .act = [](W& w) { w.MoveInOverview(GridMove::PageUp); }},
    {.kind = Kind::KeyOnly,
     .keys = {Qt::Key_PageDown},
     .view = CommandRow::View::Overview,
     .act = [](W& w) { w.MoveInOverview(GridMove::PageDown); }},
};

} // namespace

std::span<const CommandRow> MainWindowCommands() {
    return kCommands;
}

bool CommandEnabled(const CommandRow& row, const ViewerModel& model) {
    const CommandRow::View other =
        model.OverviewShown() ? CommandRow::View::Single : CommandRow::View::Overview;
    return row.view != other && (!row.enabled || row.enabled(model));
}

void ShowMenuState(const MainWindow::Controls& ui, const ViewerModel& model) {
    for (const CommandRow& row : kCommands) {
        if (row.item == nullptr || row.kind == Kind::Separator)
            continue;
        QAction& item = *(ui.*row.item);
        item.setEnabled(CommandEnabled(row, model));
        if (!row.checked)
            continue;
        const bool on = row.checked(model);
        if (!row.bold)
            item.setChecked(on);
        else if (item.isChecked() != on || IsDefault(item) != on)
            SetCheckDefault(item, on);
    }
}

const CommandRow* CommandForKey(int key, bool overview) {
    if (key == 0)
        return nullptr;
    const CommandRow::View showing =
        overview ? CommandRow::View::Overview : CommandRow::View::Single;
    for (const CommandRow::View view : {showing, CommandRow::View::Both}) {
        const auto row = std::ranges::find_if(kCommands, [key, view](const CommandRow& r) {
            return r.view == view && std::ranges::count(r.keys, key) > 0;
        });
        if (row != std::end(kCommands))
            return &*row;
    }
    return nullptr;
}

void RouteMouse(MainWindow& window, const QObject* part, const QMouseEvent& mouse) {
    const MainWindow::Controls& ui = window.Ui();
    const QEvent::Type type = mouse.type();
    const QPoint pos = mouse.position().toPoint();
    const Qt::MouseButton button = mouse.button();
    const bool press = type == QEvent::MouseButtonPress || type == QEvent::MouseButtonDblClick;
    if (part == ui.selectionFrame || part == ui.selectionHandle) {
        const SelectionDrag drag =
            part == ui.selectionFrame ? SelectionDrag::Move : SelectionDrag::Resize;
        Guarded(
            [&] {
                if (press)
                    window.PressSelection(drag, button, pos.x(), pos.y());
                else if (type == QEvent::MouseMove)
                    window.DragSelection(drag, pos.x(), pos.y());
                else
                    window.ReleaseSelection(drag);
            },
            &window);
    } else if (part == ui.picture) {
        // A double-click of the left button is reported as a double-click, then a press; of
        // another button only as a press.
        if (type == QEvent::MouseButtonDblClick && button == Qt::LeftButton)
            Guarded([&] { window.DoubleClickPicture(); }, &window);
        if (press)
            Guarded([&] { window.PressPicture(button, pos.x(), pos.y()); }, &window);
        else if (type == QEvent::MouseMove)
            Guarded([&] { window.DragPicture(pos.x(), pos.y()); }, &window);
        else
            Guarded([&] { window.ReleasePicture(); }, &window);
    } else if (part == ui.panel && press) {
        Guarded([&] { window.PressPanel(button, pos.x(), pos.y()); }, &window);
    }
    if (type == QEvent::MouseButtonRelease && button == Qt::RightButton)
        window.ShowMenu(mouse.globalPosition().toPoint());
}

} // namespace tessaly
