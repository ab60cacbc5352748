// The main window's commands in one table: a row per menu item, in the menu's order, and per
// key without an item. A row gives the item's caption, the keys that run the same command
// and the window's handler; the menu is built from the rows, and a key press runs the row
// that lists the key. New commands are new rows. The mouse's routing to the window's
// handlers follows the table.
#pragma once

#include "viewer/MainWindow.h"

#include <array>
#include <span>

class QAction;
class QMouseEvent;
class QObject;

namespace tessaly {

struct CommandRow {
    enum class Kind {
        Item,      // a menu item
        CheckItem, // a menu item with a check mark
        Separator, // a line between menu items
        KeyOnly,   // keys without a menu item
    };
    Kind kind = Kind::Item;
    const char* caption = nullptr;                  // UTF-8, for items
    QAction* MainWindow::Controls::*item = nullptr; // where the window keeps the menu entry
    void (MainWindow::*run)() = nullptr;            // the command, for items and keys
    std::array<int, 2> keys{};                      // Qt::Key codes that run it (0: none)
    // The item's state as the model has it: enabled (null: always), and checked (null:
    // never), the check mark drawn with the bold default state when `bold`.
    bool (*enabled)(const ViewerModel&) = nullptr;
    bool (*checked)(const ViewerModel&) = nullptr;
    bool bold = false;
    bool columnBreak = false; // the menu's second column starts here
    // The command leaves a running slideshow running (every other command stops it).
    bool keepsSlideshow = false;
    // The key acts while the list is empty too.
    bool withoutList = false;
    // The view the row acts in: its keys act only there, and its menu item is disabled in the
    // other view (the commands on the shown picture mean nothing over the grid). For a key, a
    // row of the view showing comes before a row of both: in the overview the arrows move in
    // the grid.
    enum class View { Both, Single, Overview };
    View view = View::Both;
    // Runs instead of `run` when set: a command with an argument.
    void (*act)(MainWindow&) = nullptr;
};

// Every row, the menu's entries in their order.
std::span<const CommandRow> MainWindowCommands();

// Whether the row's menu item is enabled in the model's state: the row acts in the view
// showing, and its own rule allows it.
bool CommandEnabled(const CommandRow& row, const ViewerModel& model);

// Shows the model's state on the menu's items: enabled, checked, bold.
void ShowMenuState(const MainWindow::Controls& ui, const ViewerModel& model);

// The row that lists `key` in the view showing (the overview or the single picture), or null.
const CommandRow* CommandForKey(int key, bool overview = false);

// A mouse event on one of the main window's parts, handed to the window's handler for it: on
// the selection rectangle or its handle, on the picture, on the panel beside it; the right
// button's release anywhere opens the menu.
void RouteMouse(MainWindow& window, const QObject* part, const QMouseEvent& mouse);

} // namespace tessaly
