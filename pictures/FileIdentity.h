// What a picture file is at one moment: its device and inode, size, and modification and
// status-change times to the nanosecond. A copy decoded earlier is reused only while the
// file still has the identity it had when it was read; a file replaced, rewritten,
// re-permitted or deleted since then has another one and is read again.
#pragma once

#include <cstdint>
#include <string>

namespace tessaly {

struct FileIdentity {
    bool exists = false; // false: the file could not be looked up (deleted, no access to it)
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    std::int64_t size = 0;
    std::int64_t modifiedSeconds = 0;
    std::int64_t modifiedNanoseconds = 0;
    // The status-change time moves when the file's permissions change, so a file that was
    // unreadable and has been made readable is not answered with its old error.
    std::int64_t changedSeconds = 0;
    std::int64_t changedNanoseconds = 0;

    bool operator==(const FileIdentity&) const = default;
};

// The identity of the file a path names now (symbolic links followed). A path that cannot
// be looked up gives an identity with exists == false; this never throws.
FileIdentity IdentifyFile(const std::string& path) noexcept;

} // namespace tessaly
