// Reading UTF-8 text a sequence at a time.
#pragma once

#include <cstddef>
#include <string_view>

namespace tessaly {

// The length of the well-formed UTF-8 sequence at the start of `s` (not empty), or 0 when
// there is none: a stray continuation byte, a cut-off sequence, an overlong form, a
// surrogate, or a code point above U+10FFFF.
std::size_t Utf8SequenceLength(std::string_view s);

} // namespace tessaly
