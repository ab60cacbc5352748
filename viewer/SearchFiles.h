// The recursive search for pictures in a folder, which keeps the windows responsive and
// can be interrupted by the user.
#pragma once

#include "model/ImageList.h"

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
// (a key already held when the search starts does not). A search entered with `aborted`
// already true returns at once.
void SearchFiles(const std::string& folder, FileListType& list, const std::string& extension,
                 bool& aborted);

// True when the path names an existing folder (following links).
bool IsFolder(const std::string& path);

} // namespace tessaly
