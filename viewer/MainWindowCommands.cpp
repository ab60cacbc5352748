#include "viewer/MainWindowCommands.h"

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

} // namespace tessaly
