// The items of the windows' popup menus: each runs one handler of its window, and a default
// item is drawn in bold.
#pragma once

#include <QString>
#include <functional>

class QAction;
class QWidget;

namespace tessaly {

class TwoColumnMenu;

// Appends an item to a popup menu. Choosing it runs the handler through Guarded (an
// exception shows in the error box over `owner`); a checkable item's check mark changes only
// when the handler sets it, so Qt's own toggle is undone first.
QAction* AddMenuItem(TwoColumnMenu& menu, QWidget& owner, const QString& caption,
                     std::function<void()> handler, bool checkable = false);

// The same with a handler of the window itself.
template <typename Window>
QAction* AddMenuItem(TwoColumnMenu& menu, Window& owner, const QString& caption,
                     void (Window::*handler)(), bool checkable = false) {
    return AddMenuItem(
        menu, static_cast<QWidget&>(owner), caption, [&owner, handler] { (owner.*handler)(); },
        checkable);
}

// Appends a separator to a popup menu.
QAction* AddMenuSeparator(TwoColumnMenu& menu, QWidget& owner);

// A menu item's default state: drawn in bold, nothing else.
void SetDefault(QAction& item, bool isDefault);
bool IsDefault(const QAction& item);
// The check mark and the default state set together.
void SetCheckDefault(QAction& item, bool value);

} // namespace tessaly
