// The display's colour profile, as the X server's root window publishes it in the
// _ICC_PROFILE property (set by colord, xiccd or the desktop's colour settings).
#pragma once

#include <cstdint>
#include <stdexcept>
#include <vector>

struct xcb_connection_t;

namespace tessaly {

// The largest display profile read: 16 MiB, far beyond any monitor's.
inline constexpr std::uint32_t kMaxDisplayProfileBytes = std::uint32_t{16} << 20;

// The profile on the root window is larger than the bytes read; what() says so, as a reason
// for the error stream (the display is then taken as sRGB).
class DisplayProfileTooLarge : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// The profile's bytes on the X screen the program runs on; empty (the display is then taken
// as sRGB) when not on X11, without the property, or when it is empty or not of type
// CARDINAL and format 8. Throws DisplayProfileTooLarge when it is larger than
// kMaxDisplayProfileBytes.
std::vector<std::uint8_t> DisplayProfile();

// The same read from the root window `root` over `connection`, with `maxBytes` in place of
// the limit.
std::vector<std::uint8_t> RootWindowProfile(xcb_connection_t* connection, std::uint32_t root,
                                            std::uint32_t maxBytes = kMaxDisplayProfileBytes);

} // namespace tessaly
