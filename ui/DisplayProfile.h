// The display's colour profile, as the X server's root window publishes it in the
// _ICC_PROFILE property (set by colord, xiccd or the desktop's colour settings).
#pragma once

#include <cstdint>
#include <vector>

struct xcb_connection_t;

namespace tessaly {

// The largest display profile read: 16 MiB, far beyond any monitor's.
inline constexpr std::uint32_t kMaxDisplayProfileBytes = std::uint32_t{16} << 20;

// The profile's bytes on the X screen the program runs on; empty (the display is then taken
// as sRGB) when not on X11, without the property, or when it is empty, not of type CARDINAL
// and format 8, or larger than kMaxDisplayProfileBytes.
std::vector<std::uint8_t> DisplayProfile();

// The same read from the root window `root` over `connection`, with `maxBytes` in place of
// the limit.
std::vector<std::uint8_t> RootWindowProfile(xcb_connection_t* connection, std::uint32_t root,
                                            std::uint32_t maxBytes = kMaxDisplayProfileBytes);

} // namespace tessaly
