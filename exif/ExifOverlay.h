// The text of the EXIF overlay: one labelled line per item read from a TExifInfo, empty
// lines after items 6 and 20, and the file size at the end. Lines end in CR LF; the last
// (size) line has no line break. The text is Shift-JIS, like every text of the reader.
// No widgets here: the main window shows the text in its labels, tessaly-cli prints it.
#pragma once

#include "exif/ExifInfo.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace tessaly {

enum class ExifItems {
    Masked, // the 13 items shown by default: 1, 2, 5, 6, 8, 10, 12, 13, 14, 17, 19, 21, 22
    All,    // all 27 items
};

// The label column: the label, a space and 25 hyphens, cut to 23 bytes of Shift-JIS. A cut
// that would split a double-byte character leaves the whole character out and pads with a
// space instead, so the column stays 23 bytes wide.
std::string PadLabel(std::string_view label);

// "yyyy:mm:dd hh:mm:ss" as "yyyy.mm.dd hh:mm:ss": the first two colons become full stops.
std::string DotDate(std::string_view date);

// An exposure time in seconds: "---" for 0, "1/%g" of its inverse below 1 second (1/60),
// "%g" from 1 second on (2.5).
std::string FormatExposure(double seconds);

// The size of the file in bytes, 0 when it cannot be measured (missing, not a regular file,
// no access). The true 64-bit size, so files of 2 GiB and more show correctly.
std::int64_t FileSizeOf(const std::string& fileName);

// The number of items the overlay knows.
inline constexpr int kExifItemCount = 27;

// The label of item n (1 to 27) in Shift-JIS, "01:画像ファイル名" to "27:音声ファイル名";
// empty for any other n.
std::string ExifItemLabel(int item);

// The value text of item n (1 to 27) from the reader's results; empty for any other n.
std::string ExifItemValue(const TExifInfo& info, int item);

// The overlay text for the reader's current results and the given file size.
std::string ExifOverlayText(const TExifInfo& info, ExifItems items, std::int64_t fileSize);

// Assigns the file name to the reader (running its read; an ExifReadError from it passes
// through unchanged) and returns the overlay text for that file.
std::string MakeDspExifInfo(TExifInfo& reader, const std::string& fileName,
                            ExifItems items = ExifItems::Masked);

} // namespace tessaly
