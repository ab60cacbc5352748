// The recursive search for pictures in a folder, which keeps the windows responsive and
// can be interrupted by the user.
#pragma once

#include "model/ImageList.h"

#include <functional>
#include <optional>
#include <string>

namespace tessaly {

// Appends to `list` every file below `folder`, at any depth, whose upper-cased extension
// equals the upper-cased `extension`; hidden entries are included. The folder and an
// entry's name are joined with "/" (the folder is used unchanged, so "/a/" gives
// "/a//name"). Symbolic links to folders are followed, but each real folder is entered at
// most once per search, so a link loop cannot recurse forever; unreadable folders are
// skipped silently.
//
// Pending window events are handled as the search goes on. A new press of Shift, Ctrl or
// the right mouse button during the search sets `aborted` and stops it at its next entry
// (a key already held when the search starts does not). On X11 the keyboard and pointer
// are asked as the X server knows them, so a press counts whichever window has the focus,
// also before the program has a window; elsewhere the presses that reach the program's
// windows count. A search entered with `aborted` already true returns at once.
void SearchFiles(const std::string& folder, FileListType& list, const std::string& extension,
                 bool& aborted);

// The walk of SearchFiles without windows: the same entries in the same order. `stop` is
// asked before each directory entry; when it says true the walk ends there.
//
// Each folder is opened relative to its parent, so the depth of the tree and the length of
// the joined paths are not limited by the system's path length. At most a few dozen
// folders are held open at once: deeper down, the rest of an outer folder's entries is
// read ahead and the folder closed, and opened again by name from an open ancestor when
// one of its entries needs it.
void WalkFolder(const std::string& folder, FileListType& list, const std::string& extension,
                const std::function<bool()>& stop);

// True when the path names an existing folder (following links).
bool IsFolder(const std::string& path);

// What interrupts a search: a bit for each key or button that is down.
enum InterruptInput : unsigned {
    kShiftDown = 1,
    kControlDown = 2,
    kRightButtonDown = 4,
};

// Decides from successive readings of the keys and buttons whether one was newly pressed:
// down now and up at the previous reading. The first reading only sets the start, so what
// is held when a search starts does not count until it is released and pressed again.
class NewPressRule {
public:
    // One reading (a mask of InterruptInput), or nothing when it could not be taken.
    bool Check(std::optional<unsigned> down);

private:
    std::optional<unsigned> previous_;
};

} // namespace tessaly
