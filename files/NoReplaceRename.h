// Renames that never replace what is there, and the names a step picks when a name is taken.
// Paths are byte strings with "/" as the separator.
#pragma once

#include <string>
#include <string_view>

namespace tessaly {

// Renames `from` to `to` unless `to` exists: renameat2 with RENAME_NOREPLACE, or, on a file
// system that refuses that flag, a hard link to the new name and the old name's removal.
// A symbolic link is renamed itself. Returns 0, or the errno value of the failure (EEXIST
// when `to` is taken, EXDEV when the two names are on different mounts).
int RenameNoReplace(const std::string& from, const std::string& to);

// The n-th name tried for `name` in a folder: the name itself for n = 1, otherwise " (n)"
// before the extension ("a.jpg" gives "a (2).jpg"; "a" gives "a (2)"; ".jpg" gives ".jpg (2)").
std::string NumberedName(std::string_view name, int n);

// The last component of a path, and the folder before it ("/" for a name in the root, "."
// for a bare name).
std::string NameOf(std::string_view path);
std::string FolderOf(std::string_view path);

// `folder` and `name` joined with one "/".
std::string JoinPath(std::string_view folder, std::string_view name);

// `path` made absolute against the working folder, without resolving any symbolic link, so
// a link stays the link.
std::string AbsolutePath(std::string_view path);

// Renames `from` into `folder` under the first numbered form of `name` that is free, setting
// `to` to the new path. Returns 0, or the errno value of the failure.
int RenameIntoFolder(const std::string& from, const std::string& folder, std::string_view name,
                     std::string& to);

} // namespace tessaly
