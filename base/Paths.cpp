#include "base/Paths.h"

namespace tessaly {

std::string FolderWithoutSeparator(std::string_view path) {
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return {};
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

} // namespace tessaly
