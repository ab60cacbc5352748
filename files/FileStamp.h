// What a file is at one moment, by the name it has (a symbolic link is the link itself):
// device and inode, size and modification time. A step is undone only on a file that still
// has the stamp it had when the step was made, so a file another program replaced, rewrote
// or moved away is never removed or moved back in its place.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly {

struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;

    bool operator==(const FileStamp&) const = default;
};

// The stamp of what `path` names now (lstat), or nothing when there is no such name or it
// cannot be looked up.
std::optional<FileStamp> StampOf(const std::string& path);

// True when `path` names nothing at all (not even a dangling link); false when it names
// something or cannot be looked up for another reason.
bool PathIsFree(const std::string& path);

} // namespace tessaly
