// Writing a whole file so that a failure never destroys what was there: the bytes go to a
// temporary file in the target's folder, which then replaces the target in one rename.
#pragma once

#include <cstdint>
#include <filesystem>
#include <span>
#include <stdexcept>
#include <string>

namespace tessaly {

// The file could not be created or written. The message is "ファイル <path> を作成できません"
// (UTF-8), with the path as the caller gave it.
class FileCreateError : public std::runtime_error {
public:
    explicit FileCreateError(const std::filesystem::path& path);
};

// Makes `path` hold exactly `bytes`. An existing file keeps its permission bits (and, where
// the system allows, its owner and group); a new file gets 0666 less the umask. A symbolic
// link is followed and the file it points to is replaced. An existing file that is not
// writable is refused, as is a folder. On any failure the target is left untouched, the
// temporary file is removed and FileCreateError is thrown.
void WriteFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

} // namespace tessaly
