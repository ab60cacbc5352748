// Path helpers shared by the image list and the pick windows. Paths are byte strings with
// "/" as the separator.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// The folder of a path without its trailing separator: everything before the last "/"
// ("/photo/2006/a.jpg" gives "/photo/2006"). A file directly in the root folder gives "/",
// the root itself; a name without any folder gives "".
std::string FolderWithoutSeparator(std::string_view path);

} // namespace tessaly
