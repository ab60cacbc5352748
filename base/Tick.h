// A millisecond tick counter that wraps at 32 bits, for throttling progress reports.
#pragma once

#include <cstdint>

namespace tessaly {

std::uint32_t TickCountMs();

} // namespace tessaly
