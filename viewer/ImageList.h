// The image list: which names are taken, how the list is sorted, and the folder the
// save dialog starts in. Paths are byte strings as the system gives them.
#pragma once

#include "base/AsciiCase.h"
#include "base/Paths.h"

#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

using FileListType = std::vector<std::string>;

// The wanted extension, compared after upper-casing the ASCII letters of a name's.
inline constexpr std::string_view kJpegExtension = ".JPG";

// The extension of a path: from its last "." on, dot included, provided no "/" comes
// after that dot; otherwise empty.
std::string ExtensionOf(std::string_view path);

// True when the upper-cased extension of the path is ".JPG".
bool ExtCheck(std::string_view path);

// Sorts ascending with the user's locale, ignoring case (a.JPG before B.JPG).
void SortFileList(FileListType& list);

// The displayed form of a path (file names are bytes; invalid UTF-8 shows as U+FFFD).
std::string DisplayPath(std::string_view path);

} // namespace tessaly
