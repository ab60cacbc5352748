// Percent-encoding of a path's bytes for URIs and the Trash's information files: letters,
// digits and the given punctuation stay, every other byte becomes %XX (upper-case hex).
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

std::string PercentEncode(std::string_view bytes, std::string_view keptPunctuation);

} // namespace tessaly
