// How the image list is ordered and how its paths read on screen, in the user's locale.
#pragma once

#include "model/ImageList.h"

#include <string>
#include <string_view>

namespace tessaly {

// Sorts ascending with the user's locale, ignoring case (a.JPG before B.JPG).
void SortFileList(FileListType& list);

// The displayed form of a path (file names are bytes; invalid UTF-8 shows as U+FFFD).
std::string DisplayPath(std::string_view path);

} // namespace tessaly
