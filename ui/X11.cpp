#include "ui/X11.h"

#include <QGuiApplication>
// After Qt's headers: Xlib defines macros (None, Bool, Status) that Qt's names would meet.
#include <X11/Xlib.h>

namespace tessaly {

namespace {

// The number of the screen Qt opened its connection for. Qt opens the display it is told
// (`-display`, else $DISPLAY) and puts its windows on that display's default screen (":0.1"
// names screen 1). With Xlib underneath, as Debian's Qt has it, the Display says which
// screen that is; without it the name in $DISPLAY, which is what Qt connects to when no
// `-display` is given.
int DefaultScreenNumber(QNativeInterface::QX11Application& x11) {
    if (Display* display = x11.display())
        return DefaultScreen(display); // a field of the Display: nothing of libX11 is called
    char* host = nullptr;
    int number = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &number, &screen))
        screen = 0;
    std::free(host);
    return screen;
}

} // namespace

std::optional<X11Display> ProgramX11Display() {
    if (!qGuiApp || QGuiApplication::platformName() != QLatin1String("xcb"))
        return std::nullopt;
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return std::nullopt;
    // The root of the program's own screen, not simply the first one the server lists: a
    // root window's properties (the display's colour profile) belong to its screen, and on a
    // server with several screens the program's windows are on the one it was started for.
    // What is the same on every screen (the keyboard, the pointer's buttons) may be asked
    // of this root as well as of any.
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(x11->connection()));
    for (int i = DefaultScreenNumber(*x11); i > 0 && it.rem > 1; --i)
        xcb_screen_next(&it);
    if (it.rem <= 0)
        return std::nullopt;
    return X11Display{x11->connection(), it.data->root};
}

X11Reply<xcb_get_property_reply_t> ReadX11Property(xcb_connection_t* connection,
                                                   xcb_window_t window, std::string_view name,
                                                   xcb_atom_t type, std::uint32_t units) {
    // Only an existing atom: a name the server has never seen is on no window, and asking
    // must not make it.
    const X11Reply<xcb_intern_atom_reply_t> atom(xcb_intern_atom_reply(
        connection,
        xcb_intern_atom(connection, 1, static_cast<std::uint16_t>(name.size()), name.data()),
        nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return nullptr;
    return X11Reply<xcb_get_property_reply_t>(xcb_get_property_reply(
        connection, xcb_get_property(connection, 0, window, atom->atom, type, 0, units), nullptr));
}

} // namespace tessaly
