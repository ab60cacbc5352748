// The program-wide mouse cursor: the busy cursor and the drag cursor of the selection.
#pragma once

#include <optional>
#include <qnamespace.h>

namespace tessaly {

// On: the program-wide busy cursor; off: back to the default cursor. Calls do not nest:
// any off ends the busy state.
void SetWaitCursor(bool on);

// The busy cursor for the life of a scope, switched off however the scope ends.
class BusyCursor {
public:
    BusyCursor() { SetWaitCursor(true); }
    ~BusyCursor() { SetWaitCursor(false); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;
};

// Sets the program-wide cursor to a shape, or back to the default with nullopt.
void SetScreenCursor(std::optional<Qt::CursorShape> shape);

} // namespace tessaly
