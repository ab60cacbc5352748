// Writing a whole file so that a failure never destroys what was there: the bytes go to a
// temporary file in the target's folder, which then replaces the target in one rename.
#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <span>
#include <stdexcept>
#include <string>

namespace tessaly {

// The file could not be created or written. The message is "ファイル <path> を作成できません"
// (UTF-8), with the path as the caller gave it, and, given the system's error number, ": "
// and the system's reason in the user's language (strerror for the environment's locale,
// e.g. no space left on the device).
class FileCreateError : public std::runtime_error {
public:
    explicit FileCreateError(const std::filesystem::path& path, int error = 0);
};

// The system's text for the error number in the language of the user's environment (LANG,
// LC_MESSAGES, LC_ALL), whatever locale the program has set.
std::string SystemReason(int error);

// Makes `path` hold exactly `bytes`.
//
// The bytes go to a temporary file with a short name (".tessaly-" and eight letters, so
// that a target name of up to 255 bytes still works) in the target's folder, which then
// replaces the target in one rename. An existing file keeps its permission bits (and,
// where the system allows, its owner and group); a new file gets 0666 less the umask. The
// rename makes a new file, so other hard links to the old one keep the old content.
//
// A symbolic link stays and the file at the end of its chain is written; a link that
// points to a name that does not exist yet creates that file (when its folder exists).
// A chain that loops, or is longer than 40 links, is refused.
//
// When the folder refuses the temporary file or the rename (a read-only folder, a sticky
// folder and a file of another user) but the existing file itself is writable, the file
// is rewritten in place: its size and space are checked first, the bytes it had are kept
// in memory, and they are written back if the new content cannot be written whole. Such a
// file keeps its hard links.
//
// An existing read-only file (no write permission for its owner, its group or others) is
// refused whoever saves, the superuser too; so is a file the saving user may not write, a
// folder, or any other file that is not a regular file. On any failure the target keeps its
// content, the temporary file is removed and FileCreateError is thrown.
void WriteFileReplacing(const std::filesystem::path& path, std::span<const std::uint8_t> bytes);

// Receives the content piece by piece, in order.
using ContentSink = std::function<void(std::span<const std::uint8_t> bytes)>;
// Makes the content, handing it to the sink it is given.
using ContentProducer = std::function<void(const ContentSink& sink)>;

// The same for content of `size` bytes that `produce` makes as the file is written, so that
// it is never held whole: it goes to the temporary file piece by piece (a file rewritten in
// place keeps, as above, the bytes the new content overwrites). A piece that cannot be
// written makes the sink throw FileCreateError. When `produce` throws, the target keeps its
// content and the exception goes on to the caller. Content of another size than `size` is
// a mistake of the caller: std::logic_error, and the target as it was.
void WriteFileReplacing(const std::filesystem::path& path, std::uint64_t size,
                        const ContentProducer& produce);

} // namespace tessaly
