#include "ui/DisplayProfile.h"

#include <QGuiApplication>
#include <cstdlib>
#include <memory>
#include <xcb/xcb.h>

namespace tessaly {

namespace {

struct FreeReply {
    void operator()(void* reply) const { std::free(reply); }
};

// The root window of the screen $DISPLAY names (":0.1" is screen 1), or of the first.
xcb_window_t DefaultRoot(xcb_connection_t* connection) {
    char* host = nullptr;
    int display = 0;
    int screen = 0;
    if (!xcb_parse_display(nullptr, &host, &display, &screen))
        screen = 0;
    std::free(host);
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(connection));
    for (int i = 0; i < screen && it.rem > 1; ++i)
        xcb_screen_next(&it);
    return it.rem > 0 ? it.data->root : xcb_window_t{XCB_WINDOW_NONE};
}

} // namespace

std::vector<std::uint8_t> RootWindowProfile(xcb_connection_t* connection, std::uint32_t root,
                                            std::uint32_t maxBytes) {
    static constexpr char kName[] = "_ICC_PROFILE";
    const std::unique_ptr<xcb_intern_atom_reply_t, FreeReply> atom(xcb_intern_atom_reply(
        connection, xcb_intern_atom(connection, 1, sizeof kName - 1, kName), nullptr));
    if (!atom || atom->atom == XCB_ATOM_NONE)
        return {};
    // One request for up to one 32-bit unit more than the limit: whatever remains after it
    // means the profile is too large.
    const std::unique_ptr<xcb_get_property_reply_t, FreeReply> property(xcb_get_property_reply(
        connection,
        xcb_get_property(connection, 0, root, atom->atom, XCB_ATOM_CARDINAL, 0, maxBytes / 4 + 1),
        nullptr));
    if (!property || property->type != XCB_ATOM_CARDINAL || property->format != 8 ||
        property->bytes_after != 0)
        return {};
    const int length = xcb_get_property_value_length(property.get());
    if (length <= 0 || static_cast<std::uint32_t>(length) > maxBytes)
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(xcb_get_property_value(property.get()));
    return {bytes, bytes + length};
}

std::vector<std::uint8_t> DisplayProfile() {
    if (QGuiApplication::platformName() != QLatin1String("xcb"))
        return {};
    auto* x11 = qGuiApp->nativeInterface<QNativeInterface::QX11Application>();
    if (!x11 || !x11->connection())
        return {};
    const xcb_window_t root = DefaultRoot(x11->connection());
    if (root == XCB_WINDOW_NONE)
        return {};
    return RootWindowProfile(x11->connection(), root);
}

} // namespace tessaly
