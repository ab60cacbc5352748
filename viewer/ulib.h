// ulib: small routines shared by the main window and the pick windows.
#pragma once

#include <QWidget>

namespace tessaly {

// On: the program-wide busy cursor; off: back to the default cursor. Calls do not nest:
// any off ends the busy state.
void SetWaitCursor(bool on);

} // namespace tessaly
