#include "viewer/MainWindowCommands.h"

#include "ui/Guard.h"
#include "viewer/PictureControl.h"
#include "viewer/SelectionShape.h"

#include <QMouseEvent>
#include <algorithm>

namespace tessaly {

namespace {

using Kind = CommandRow::Kind;
using C = MainWindow::Controls;
using W = MainWindow;

// Keys act while the list has entries (ViewerModel::KeysAct), whether or not the menu's
// items are enabled. Ctrl is the key itself, pressed alone.
const CommandRow kCommands[] = {
    {Kind::Item, "拡大(+5)", &C::zoomIn5Item, &W::ZoomIn5},
    {Kind::Item, "拡大(+1)", &C::zoomIn1Item, &W::ZoomIn1},
    {Kind::Item, "縮小(-1)", &C::zoomOut1Item, &W::ZoomOut1},
    {Kind::Item, "縮小(-5)", &C::zoomOut5Item, &W::ZoomOut5},
    {Kind::Separator, nullptr, &C::zoomSeparator},
    {Kind::CheckItem, "Exif表示", &C::overlayItem, &W::ToggleOverlay},
    {Kind::CheckItem, "範囲選択", &C::selectionItem, &W::ToggleSelection},
    {Kind::Item, "コピー", &C::copyAreaItem, &W::CopyArea},
    {Kind::Item, "取出表示", &C::pickAreaItem, &W::PickArea},
    {Kind::CheckItem, "フィット", &C::fitItem, &W::FitToWindow, {}, true},
    {Kind::CheckItem, "実寸", &C::actualSizeItem, &W::ShowActualSize},
    {Kind::Separator, nullptr, &C::stepSeparator},
    {Kind::Item, "次の画像", &C::nextItem, &W::ShowNext, {Qt::Key_Space, Qt::Key_Right}},
    {Kind::Item, "前の画像", &C::previousItem, &W::ShowPrevious, {Qt::Key_Control, Qt::Key_Left}},
    {Kind::Item, "先頭へ", &C::firstItem, &W::ShowFirst, {Qt::Key_Up}},
    {Kind::Separator, nullptr, &C::endSeparator},
    {Kind::Item, "ヘルプ", &C::readmeItem, &W::ShowReadme},
    {Kind::Item, "おわり", &C::endItem, &W::EndProgram},
    {Kind::KeyOnly, nullptr, nullptr, &W::ShowLast, {Qt::Key_Down}},
};

} // namespace

std::span<const CommandRow> MainWindowCommands() {
    return kCommands;
}

const CommandRow* CommandForKey(int key) {
    if (key == 0)
        return nullptr;
    const auto row = std::ranges::find_if(
        kCommands, [key](const CommandRow& r) { return std::ranges::count(r.keys, key) > 0; });
    return row == std::end(kCommands) ? nullptr : &*row;
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
