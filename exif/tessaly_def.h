// Program-wide definitions shared by the viewer and the pick windows.
#pragma once

#include <string>

namespace tessaly {

// The folder the pick windows' save dialog opens in, without a trailing separator (UTF-8).
// Set from the image list when the main window is first activated and after each drop,
// and replaced by the folder of each file a pick window saves.
extern std::string SPDlgDir;

} // namespace tessaly
