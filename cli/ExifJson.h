// The JSON form of what the EXIF reader read: one object per file with every result
// property under its own name, texts converted from Shift-JIS to UTF-8.
#pragma once

#include "exif/ExifInfo.h"

#include <iosfwd>
#include <string>
#include <string_view>

namespace tessaly::cli {

// A JSON string literal of UTF-8 text, quotes included: quotes, backslashes and control
// characters escaped, bytes that are not UTF-8 replaced by U+FFFD.
std::string JsonString(std::string_view utf8);

// A JSON number for a float: the shortest text that reads back to the same double;
// null for NaN and infinities, which JSON cannot hold.
std::string JsonNumber(double value);

// Writes the object of one file: "ImageFileName", "found" (false when no EXIF block was
// found) and the properties in their declaration order; rationals and coded values as
// {"Text": ..., "Value": ...}, UserComment as an array of lines. `indent` spaces lead
// every line; the object ends without a line break.
void WriteExifJson(std::ostream& out, const TExifInfo& info, bool found, int indent);

} // namespace tessaly::cli
