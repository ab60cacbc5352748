#include "ui/DisplayProfile.h"

#include "ui/X11.h"

#include <algorithm>
#include <string>

namespace tessaly {

std::vector<std::uint8_t> RootWindowProfile(xcb_connection_t* connection, std::uint32_t root,
                                            std::uint32_t maxBytes) {
    // One request for up to one 32-bit unit more than the limit: whatever remains after it
    // means the profile is too large.
    const X11Reply<xcb_get_property_reply_t> property =
        ReadX11Property(connection, root, "_ICC_PROFILE", XCB_ATOM_CARDINAL, maxBytes / 4 + 1);
    if (!property || property->type != XCB_ATOM_CARDINAL || property->format != 8)
        return {};
    const int length = xcb_get_property_value_length(property.get());
    if (property->bytes_after != 0 || static_cast<std::uint32_t>(std::max(length, 0)) > maxBytes)
        throw DisplayProfileTooLarge(
            "the display's colour profile is not used: it has " +
            std::to_string(std::uint64_t{property->bytes_after} +
                           static_cast<std::uint64_t>(std::max(length, 0))) +
            " bytes, more than the " + std::to_string(maxBytes) + " that are read");
    if (length <= 0)
        return {};
    const auto* bytes = static_cast<const std::uint8_t*>(xcb_get_property_value(property.get()));
    return {bytes, bytes + length};
}

std::vector<std::uint8_t> DisplayProfile() {
    const std::optional<X11Display> x11 = ProgramX11Display();
    if (!x11)
        return {};
    return RootWindowProfile(x11->connection, x11->root);
}

} // namespace tessaly
