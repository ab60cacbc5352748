#include "imaging/FileReplace.h"

#include <cerrno>
#include <fcntl.h>
#include <random>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {
namespace fs = std::filesystem;

FileCreateError::FileCreateError(const fs::path& path)
    : std::runtime_error("ファイル " + path.string() + " を作成できません") {}

namespace {

// The file that a write to `path` should replace: the end of a chain of symbolic links,
// or `path` itself (also for a link that points nowhere).
fs::path ResolveTarget(const fs::path& path) {
    std::error_code ec;
    if (!fs::is_symlink(fs::symlink_status(path, ec)))
        return path;
    fs::path resolved = fs::canonical(path, ec);
    return ec ? path : resolved;
}

// Opens a new, empty file beside `target` with a name nobody else uses. Created with 0666,
// so the process umask applies as for any new file.
int CreateTemporary(const fs::path& target, fs::path& temporary) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name(1, '.');
        name += target.filename().string();
        name += '.';
        for (int i = 0; i < 8; ++i)
            name += kLetters[pick(random)];
        temporary = folder / name;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteAll(int fd, std::span<const std::uint8_t> bytes) {
    while (!bytes.empty()) {
        const ssize_t written = ::write(fd, bytes.data(), bytes.size());
        if (written < 0) {
            if (errno == EINTR)
                continue;
            return false;
        }
        bytes = bytes.subspan(static_cast<std::size_t>(written));
    }
    return true;
}

} // namespace

void WriteFileReplacing(const fs::path& path, std::span<const std::uint8_t> bytes) {
    const fs::path target = ResolveTarget(path);
    struct stat existing {};
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    if (replacing && (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0))
        throw FileCreateError(path);

    fs::path temporary;
    const int fd = CreateTemporary(target, temporary);
    if (fd < 0)
        throw FileCreateError(path);
    bool ok = WriteAll(fd, bytes);
    if (ok && replacing) {
        // Owner and group first (a change of owner may clear set-id bits), then the mode.
        // When the owner cannot be kept, the file belongs to whoever saved it.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(fd, existing.st_uid, existing.st_gid) != 0) {
        }
        ok = ::fchmod(fd, existing.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(fd) == 0;
    ok = (::close(fd) == 0) && ok;
    ok = ok && ::rename(temporary.c_str(), target.c_str()) == 0;
    if (!ok) {
        ::unlink(temporary.c_str());
        throw FileCreateError(path);
    }
}

} // namespace tessaly
