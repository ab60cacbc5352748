#include "viewer/MainWindowCommands.h"

#include "ui/Guard.h"
#include "ui/MenuItems.h"
#include "viewer/PictureControl.h"
#include "viewer/ScrollingClient.h"
#include "viewer/SelectionShape.h"

#include <QAction>
#include <QMouseEvent>
#include <algorithm>

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

const CommandRow kCommands[] = {
    {.caption = "拡大(+5)", .item = &C::zoomIn5Item, .run = &W::ZoomIn5},
    {.caption = "拡大(+1)", .item = &C::zoomIn1Item, .run = &W::ZoomIn1},
    {.caption = "縮小(-1)", .item = &C::zoomOut1Item, .run = &W::ZoomOut1},
    {.caption = "縮小(-5)", .item = &C::zoomOut5Item, .run = &W::ZoomOut5},
    {.kind = Kind::Separator, .item = &C::zoomSeparator},
    {.kind = Kind::CheckItem,
     .caption = "Exif表示",
     .item = &C::overlayItem,
     .run = &W::ToggleOverlay,
     .checked = [](const ViewerModel& m) { return m.OverlayShown(); },
     .bold = true},
    {.kind = Kind::CheckItem,
     .caption = "範囲選択",
     .item = &C::selectionItem,
     .run = &W::ToggleSelection,
     .enabled = [](const ViewerModel& m) { return m.SelectionAllowed(); },
     .checked = [](const ViewerModel& m) { return m.Selecting(); }},
    {.caption = "コピー",
     .item = &C::copyAreaItem,
     .run = &W::CopyArea,
     .enabled = [](const ViewerModel& m) { return m.CopyAndPickAllowed(); }},
    {.caption = "取出表示",
     .item = &C::pickAreaItem,
     .run = &W::PickArea,
     .enabled = [](const ViewerModel& m) { return m.CopyAndPickAllowed(); }},
    {.kind = Kind::CheckItem,
     .caption = "フィット",
     .item = &C::fitItem,
     .run = &W::FitToWindow,
     .checked = [](const ViewerModel& m) { return m.Mode() == ViewMode::Fit; },
     .bold = true,
     .columnBreak = true},
    {.kind = Kind::CheckItem,
     .caption = "実寸",
     .item = &C::actualSizeItem,
     .run = &W::ShowActualSize,
     .checked = [](const ViewerModel& m) { return m.Mode() == ViewMode::ActualSize; },
     .bold = true},
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
    {.caption = "一覧表示",
     .item = &C::overviewItem,
     .run = &W::ToggleOverview,
     .keys = {Qt::Key_Return, Qt::Key_Enter}},
    {.kind = Kind::Separator, .item = &C::endSeparator},
    {.caption = "ヘルプ", .item = &C::readmeItem, .run = &W::ShowReadme},
    {.caption = "おわり", .item = &C::endItem, .run = &W::EndProgram},
    {.kind = Kind::KeyOnly, .run = &W::ShowLast, .keys = {Qt::Key_Down}},
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

void ShowMenuState(const MainWindow::Controls& ui, const ViewerModel& model) {
    for (const CommandRow& row : kCommands) {
        if (row.item == nullptr || row.kind == Kind::Separator)
            continue;
        QAction& item = *(ui.*row.item);
        if (row.enabled)
            item.setEnabled(row.enabled(model));
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

void RunCommand(MainWindow& window, const CommandRow& row) {
    if (row.act)
        row.act(window);
    else
        (window.*row.run)();
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
