// Conversions between the program's Shift-JIS (code page 932) byte strings and the
// UTF-8 / UTF-16 texts of the rest of the system, through iconv.
//
// Texts whose byte length matters (EXIF values, label padding) stay Shift-JIS inside the
// program; they are converted to Unicode only where they are shown or printed.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// Shift-JIS bytes to UTF-8. Bytes that do not form a valid CP932 character become U+FFFD,
// so any byte string can be shown.
std::string SjisToUtf8(std::string_view sjis);

// UTF-8 to Shift-JIS. Characters CP932 lacks become "?", as the platform's ANSI
// conversion gives them; each byte that starts no well-formed UTF-8 sequence becomes one
// "?" as well, and the bytes after it are read afresh ("caf\xE9.jpg" gives "caf?.jpg").
std::string Utf8ToSjis(std::string_view utf8);

// One UTF-16 code unit converted on its own to CP932: one or two bytes, "?" for a unit
// CP932 cannot represent (a lone surrogate among them), a single zero byte for unit 0.
std::string Utf16UnitToSjis(char16_t unit);

} // namespace tessaly
