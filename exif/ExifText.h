// Text conversions of EXIF values: the hexadecimal form of UNDEFINED bytes and its way
// back, and the decoding of user comments written in JIS or as UTF-16 units, all into
// the program's Shift-JIS byte strings; and file names as text.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

// Each byte as two upper-case hexadecimal digits: 0x30 0x32 gives "3032".
std::string HexEncode(std::span<const std::uint8_t> bytes);

// The bytes spelt by the whole digit pairs of `hex` (upper or lower case); a trailing single
// digit is ignored. Throws ExifReadError when a pair is not two hexadecimal digits.
std::vector<std::uint8_t> HexDecode(std::string_view hex);

// The text spelt by the digit pairs, zero bytes left out: "30323230" gives "0220".
// Throws ExifReadError as HexDecode does.
std::string HexToText(std::string_view hex);

// UTF-16 code units, two bytes each in the given order (a trailing odd byte is ignored),
// each converted on its own to Shift-JIS; a unit 0 gives a zero byte.
std::string Utf16UnitsToSjis(std::span<const std::uint8_t> bytes, bool bigEndian);

// ISO-2022-JP text (JIS X 0208 double-byte runs between escape sequences) into Shift-JIS.
//   - ESC $ x and ESC $ ( x start double-byte text, ESC & followed by four bytes as well;
//     ESC ( x returns to single-byte text; ESC followed by any other byte stands for
//     that byte. The byte after a sequence is taken as text even when it is another ESC.
//     A sequence cut off by the end of the data adds nothing and ends the text.
//   - Shift-out (0x0E) switches to double-byte text and shift-in (0x0F) back to
//     single-byte text; the control bytes themselves add nothing.
//   - A double-byte character whose second byte is missing at the end adds nothing.
std::string JisToShiftJis(std::span<const std::uint8_t> bytes);

} // namespace tessaly
