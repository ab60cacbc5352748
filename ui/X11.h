// The program's own X server connection, for what Qt does not read from the server itself:
// the display's colour profile, the window manager's frame, the keyboard and pointer during
// a folder search.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <optional>
#include <string_view>
#include <xcb/xcb.h>

namespace tessaly {

// Frees a reply that xcb allocated.
struct FreeX11Reply {
    void operator()(void* reply) const { std::free(reply); }
};
template <typename T> using X11Reply = std::unique_ptr<T, FreeX11Reply>;

// The connection Qt's X11 platform opened and the root window of the screen the program's
// windows appear on.
struct X11Display {
    xcb_connection_t* connection = nullptr;
    xcb_window_t root = XCB_WINDOW_NONE;
};

// The program's X display; none when it does not run on X11 (Wayland, the offscreen
// platform) or before the application object exists.
std::optional<X11Display> ProgramX11Display();

// Property `name` of `window`, asked for as `type`, its first `units` 32-bit units; none when
// the server knows no atom of that name (so no window has the property) or does not answer.
// The reply says what the server found: its type and format, and what is left after it.
X11Reply<xcb_get_property_reply_t> ReadX11Property(xcb_connection_t* connection,
                                                   xcb_window_t window, std::string_view name,
                                                   xcb_atom_t type, std::uint32_t units);

} // namespace tessaly
