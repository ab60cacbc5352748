#include "imaging/FileReplace.h"

#include "base/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <fcntl.h>
#include <optional>
#include <random>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tessaly {
namespace fs = std::filesystem;

FileCreateError::FileCreateError(const fs::path& path)
    : std::runtime_error("ファイル " + path.string() + " を作成できません") {}

namespace {

// As many links as the kernel follows in one path before it reports a loop.
constexpr int kMaxLinks = 40;

// The file that a write to `path` goes to: the end of its chain of symbolic links, each
// relative link read from the folder that holds it; `path` itself when it is no link. A
// link that points nowhere gives the name it points to. Nothing for a chain that loops.
std::optional<fs::path> ResolveTarget(const fs::path& path) {
    fs::path current = path;
    for (int links = 0; links <= kMaxLinks; ++links) {
        struct stat st {};
        if (::lstat(current.c_str(), &st) != 0)
            return errno == ELOOP ? std::nullopt : std::optional(current);
        if (!S_ISLNK(st.st_mode))
            return current;
        std::error_code ec;
        const fs::path next = fs::read_symlink(current, ec);
        if (ec)
            return current; // the write reports what is wrong with it
        current = next.is_absolute() ? next : current.parent_path() / next;
    }
    return std::nullopt;
}

// Opens a new, empty file beside `target` with a short name nobody else uses, so that the
// target's name may take all the 255 bytes a name may have. Created with 0666, so the
// process umask applies as for any new file.
int CreateTemporary(const fs::path& target, fs::path& temporary) {
    static constexpr char kLetters[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
    std::random_device seed;
    std::mt19937 random(seed());
    std::uniform_int_distribution<std::size_t> pick(0, sizeof kLetters - 2);
    const fs::path folder = target.has_parent_path() ? target.parent_path() : fs::path(".");
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string name = ".tessaly-";
        for (int i = 0; i < 8; ++i)
            name += kLetters[pick(random)];
        temporary = folder / name;
        const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd >= 0 || errno != EEXIST)
            return fd;
    }
    return -1;
}

bool WriteAllAt(int fd, std::span<const std::uint8_t> bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t written = ::pwrite(fd, bytes.data(), bytes.size(), offset);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(written));
        offset += written;
    }
    return true;
}

bool ReadAllAt(int fd, std::span<std::uint8_t> bytes, off_t offset) {
    while (!bytes.empty()) {
        const ssize_t got = ::pread(fd, bytes.data(), bytes.size(), offset);
        if (got < 0 && errno == EINTR)
            continue;
        if (got <= 0)
            return false;
        bytes = bytes.subspan(static_cast<std::size_t>(got));
        offset += got;
    }
    return true;
}

// True when the process may write a file of `size` bytes (a larger one would stop at the
// file size limit, with a signal that ends the program unless it is ignored).
bool WithinFileSizeLimit(std::size_t size) {
    rlimit limit{};
    return ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
           size <= limit.rlim_cur;
}

// The folder, not the file, refused: no new entry may be made or replaced there.
bool FolderRefused(int error) {
    return error == EACCES || error == EPERM;
}

// Rewrites the regular file `target` in place with `bytes`. The part of the old content
// that the new one overwrites is kept in memory first, and the space the file grows by is
// reserved, so that a write that fails half-way can be undone. False when the file cannot
// be rewritten; its content is then as before.
bool RewriteInPlace(const fs::path& target, std::span<const std::uint8_t> bytes) {
    Descriptor file(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
    struct stat st {};
    if (file.get() < 0 || ::fstat(file.get(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    const auto oldSize = static_cast<std::size_t>(st.st_size);
    if (bytes.size() > oldSize) {
        // A file system without reserved space (EOPNOTSUPP) is simply written.
        const int result =
            ::fallocate(file.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(bytes.size()));
        if (result != 0 && errno != EOPNOTSUPP)
            return false;
    }
    std::vector<std::uint8_t> old(std::min(oldSize, bytes.size()));
    if (!ReadAllAt(file.get(), old, 0))
        return false;
    const auto newSize = static_cast<off_t>(bytes.size());
    if (WriteAllAt(file.get(), bytes, 0) && ::ftruncate(file.get(), newSize) == 0 &&
        ::fsync(file.get()) == 0)
        return file.Close();
    // Put the old content back as it was.
    if (WriteAllAt(file.get(), old, 0) && ::ftruncate(file.get(), static_cast<off_t>(oldSize)) == 0)
        ::fsync(file.get());
    return false;
}

} // namespace

void WriteFileReplacing(const fs::path& path, std::span<const std::uint8_t> bytes) {
    const std::optional<fs::path> resolved = ResolveTarget(path);
    if (!resolved || !WithinFileSizeLimit(bytes.size()))
        throw FileCreateError(path);
    const fs::path& target = *resolved;
    struct stat existing {};
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    if (replacing && (!S_ISREG(existing.st_mode) || ::access(target.c_str(), W_OK) != 0))
        throw FileCreateError(path);

    fs::path temporary;
    Descriptor file(CreateTemporary(target, temporary));
    if (file.get() < 0) {
        if (replacing && FolderRefused(errno) && RewriteInPlace(target, bytes))
            return;
        throw FileCreateError(path);
    }
    bool ok = WriteAllAt(file.get(), bytes, 0);
    if (ok && replacing) {
        // Owner and group first (a change of owner may clear set-id bits), then the mode.
        // When the owner cannot be kept, the file belongs to whoever saved it.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(file.get(), existing.st_uid, existing.st_gid) != 0) {
        }
        ok = ::fchmod(file.get(), existing.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(file.get()) == 0;
    ok = file.Close() && ok;
    if (ok && ::rename(temporary.c_str(), target.c_str()) == 0)
        return;
    const int error = errno;
    ::unlink(temporary.c_str());
    if (ok && replacing && FolderRefused(error) && RewriteInPlace(target, bytes))
        return;
    throw FileCreateError(path);
}

} // namespace tessaly
