#include "files/NoReplaceRename.h"

#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <filesystem>
#include <unistd.h>

namespace tessaly {

namespace {
// Enough for any folder a person fills by hand; past it the folder is taken to be full.
constexpr int kMaxNumberedNames = 10000;
} // namespace

int RenameNoReplace(const std::string& from, const std::string& to) {
    if (::renameat2(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) == 0)
        return 0;
    const int error = errno;
    if (error != EINVAL && error != ENOSYS && error != EOPNOTSUPP)
        return error;
    // The file system does not know the flag: a hard link cannot replace either.
    if (::linkat(AT_FDCWD, from.c_str(), AT_FDCWD, to.c_str(), 0) != 0)
        return errno;
    if (::unlink(from.c_str()) != 0) {
        const int unlinkError = errno;
        ::unlink(to.c_str());
        return unlinkError;
    }
    return 0;
}

std::string NumberedName(std::string_view name, int n) {
    if (n <= 1)
        return std::string(name);
    const auto dot = name.rfind('.');
    const auto cut = (dot == std::string_view::npos || dot == 0) ? name.size() : dot;
    return std::string(name.substr(0, cut)) + " (" + std::to_string(n) + ")" +
           std::string(name.substr(cut));
}

std::string NameOf(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const auto slash = path.rfind('/');
    return std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
}

std::string FolderOf(std::string_view path) {
    while (path.size() > 1 && path.back() == '/')
        path.remove_suffix(1);
    const auto slash = path.rfind('/');
    if (slash == std::string_view::npos)
        return ".";
    if (slash == 0)
        return "/";
    return std::string(path.substr(0, slash));
}

std::string JoinPath(std::string_view folder, std::string_view name) {
    std::string joined(folder);
    if (joined.empty() || joined.back() != '/')
        joined += '/';
    joined += name;
    return joined;
}

std::string AbsolutePath(std::string_view path) {
    if (!path.empty() && path.front() == '/')
        return std::string(path);
    return JoinPath(std::filesystem::current_path().string(), path);
}

int RenameIntoFolder(const std::string& from, const std::string& folder, std::string_view name,
                     std::string& to) {
    for (int n = 1; n <= kMaxNumberedNames; ++n) {
        to = JoinPath(folder, NumberedName(name, n));
        const int error = RenameNoReplace(from, to);
        if (error != EEXIST)
            return error;
    }
    return EEXIST;
}

} // namespace tessaly
