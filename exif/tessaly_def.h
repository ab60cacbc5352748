// Definitions of the EXIF overlay shared with the viewer: its items, labels and mask.
#pragma once

#include <array>
#include <string>
#include <string_view>

namespace tessaly {

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
