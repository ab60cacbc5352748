// Program-wide definitions shared by the viewer, the pick windows and the EXIF overlay.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tessaly {

// The folder the pick windows' save dialog opens in, without a trailing separator (UTF-8).
// Set from the image list when the main window is first activated and after each drop,
// and replaced by the folder of each file a pick window saves.
extern std::string SPDlgDir;

// The number of items the EXIF overlay knows.
inline constexpr int kExifItemCount = 27;

// The labels of the EXIF overlay items as Shift-JIS texts: item n (1 to 27) is
// ExifLabels()[n - 1], "01:画像ファイル名" to "27:音声ファイル名".
const std::array<std::string, kExifItemCount>& ExifLabels();

// Which items the overlay shows: character n - 1 is '1' when item n is shown
// (items 1, 2, 5, 6, 8, 10, 12, 13, 14, 17, 19, 21 and 22).
inline constexpr std::string_view ExifItemMask = "110011010101110010101100000";

// The label of the size line that ends the overlay, as Shift-JIS ("99:サイズ").
const std::string& ExifSizeLabel();

} // namespace tessaly
