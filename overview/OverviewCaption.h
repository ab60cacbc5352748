// The main window's caption while the overview shows: the current entry's name and its place
// in the list, as the single view tells it, without the picture's scale (no picture is shown).
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// "Tess <name> (k/count files)"; `name` as it is displayed.
std::string OverviewCaption(std::string_view name, int k, int count);

} // namespace tessaly
