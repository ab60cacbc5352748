#include "base/FileReplace.h"

#include "base/Descriptor.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <locale.h>
#include <optional>
#include <random>
#include <stdexcept>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tessaly {
namespace fs = std::filesystem;

std::string SystemReason(int error) {
    const locale_t user = ::newlocale(LC_ALL_MASK, "", static_cast<locale_t>(nullptr));
    if (user == static_cast<locale_t>(nullptr))
        return std::strerror(error);
    std::string reason = ::strerror_l(error, user);
    ::freelocale(user);
    return reason;
}

FileCreateError::FileCreateError(const fs::path& path, int error)
    : std::runtime_error("ファイル " + path.string() + " を作成できません" +
                         (error != 0 ? ": " + SystemReason(error) : std::string())) {}

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
bool WithinFileSizeLimit(std::uint64_t size) {
    rlimit limit{};
    return ::getrlimit(RLIMIT_FSIZE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
           size <= limit.rlim_cur;
}

// A read-only file: its permission bits let nobody write it (no write bit for its owner, its
// group or others, as "chmod a-w" leaves a file). It stays as it is whoever saves, also the
// superuser, whom the system would let write it.
bool ReadOnly(const struct stat& st) {
    return (st.st_mode & (S_IWUSR | S_IWGRP | S_IWOTH)) == 0;
}

// The folder, not the file, refused: no new entry may be made or replaced there.
bool FolderRefused(int error) {
    return error == EACCES || error == EPERM;
}

// Content is gathered into pieces of this size before it is written.
constexpr std::size_t kWritePiece = std::size_t{1} << 20;

// Writes content of `size` bytes handed to it in order to a file from its start, gathered
// into pieces. A write that fails throws FileCreateError for `path`, so that whatever makes
// the content stops; content beyond `size`, or short of it at the end, is the caller's
// mistake (std::logic_error), found before anything beyond `size` is written.
class PieceWriter {
public:
    PieceWriter(int fd, const fs::path& path, std::uint64_t size)
        : fd_(fd), path_(path), size_(size) {}

    void Put(std::span<const std::uint8_t> bytes) {
        if (bytes.size() > size_ - handed_)
            Mistake();
        handed_ += bytes.size();
        if (piece_.empty() && bytes.size() >= kWritePiece) {
            WriteOut(bytes);
            return;
        }
        while (!bytes.empty()) {
            const std::size_t take = std::min(bytes.size(), kWritePiece - piece_.size());
            piece_.insert(piece_.end(), bytes.begin(), bytes.begin() + static_cast<long>(take));
            bytes = bytes.subspan(take);
            if (piece_.size() == kWritePiece)
                Flush();
        }
    }

    // Writes what is gathered; the content must be complete.
    void Finish() {
        if (handed_ != size_)
            Mistake();
        Flush();
    }

private:
    void Flush() {
        WriteOut(piece_);
        piece_.clear();
    }

    void WriteOut(std::span<const std::uint8_t> bytes) {
        if (!WriteAllAt(fd_, bytes, static_cast<off_t>(written_)))
            throw FileCreateError(path_, errno != 0 ? errno : ENOSPC);
        written_ += bytes.size();
    }

    [[noreturn]] void Mistake() const {
        throw std::logic_error("the content of " + path_.string() + " is not the " +
                               std::to_string(size_) + " bytes announced");
    }

    int fd_;
    const fs::path& path_;
    std::uint64_t size_;
    std::uint64_t handed_ = 0;
    std::uint64_t written_ = 0;
    std::vector<std::uint8_t> piece_;
};

// Writes the `size` bytes that `produce` makes to the file `fd` from its start.
void WriteContent(int fd, const fs::path& path, std::uint64_t size,
                  const ContentProducer& produce) {
    PieceWriter writer(fd, path, size);
    produce([&writer](std::span<const std::uint8_t> bytes) { writer.Put(bytes); });
    writer.Finish();
}

// The `size` bytes of the file `fd` from its start, handed on in pieces.
ContentProducer CopyOf(int fd, const fs::path& path, std::uint64_t size) {
    return [fd, &path, size](const ContentSink& sink) {
        std::vector<std::uint8_t> piece(
            static_cast<std::size_t>(std::min<std::uint64_t>(kWritePiece, size)));
        for (std::uint64_t at = 0; at < size;) {
            const auto count =
                static_cast<std::size_t>(std::min<std::uint64_t>(piece.size(), size - at));
            if (!ReadAllAt(fd, std::span(piece).first(count), static_cast<off_t>(at)))
                throw FileCreateError(path, errno != 0 ? errno : EIO);
            sink(std::span(piece).first(count));
            at += count;
        }
    };
}

// A temporary file's name, removed when the object goes unless the file was kept.
class TemporaryName {
public:
    explicit TemporaryName(fs::path path) : path_(std::move(path)) {}
    ~TemporaryName() {
        if (!path_.empty())
            ::unlink(path_.c_str());
    }
    TemporaryName(const TemporaryName&) = delete;
    TemporaryName& operator=(const TemporaryName&) = delete;
    void Keep() { path_.clear(); }

private:
    fs::path path_;
};

// A regular file rewritten in place. The part of the old content that the new one
// overwrites is kept in memory first, and the space the file grows by is reserved, so that
// a rewrite that fails half-way, or is given up, puts the old content back.
class InPlaceRewrite {
public:
    // False when the file cannot be rewritten to `size` bytes; it is then as before.
    bool Open(const fs::path& target, std::uint64_t size) {
        file_.Reset(::open(target.c_str(), O_RDWR | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK));
        struct stat st {};
        if (file_.get() < 0 || ::fstat(file_.get(), &st) != 0 || !S_ISREG(st.st_mode))
            return false;
        oldSize_ = static_cast<std::uint64_t>(st.st_size);
        if (size > oldSize_) {
            // A file system without reserved space (EOPNOTSUPP) is simply written.
            const int result =
                ::fallocate(file_.get(), FALLOC_FL_KEEP_SIZE, 0, static_cast<off_t>(size));
            if (result != 0 && errno != EOPNOTSUPP)
                return false;
        }
        old_.resize(static_cast<std::size_t>(std::min(oldSize_, size)));
        if (!ReadAllAt(file_.get(), old_, 0))
            return false;
        open_ = true;
        return true;
    }

    int get() const { return file_.get(); }

    // Ends the file after `size` bytes and syncs it; true when that worked.
    bool Finish(std::uint64_t size) {
        if (::ftruncate(file_.get(), static_cast<off_t>(size)) != 0 || ::fsync(file_.get()) != 0)
            return false;
        open_ = false;
        return file_.Close();
    }

    ~InPlaceRewrite() {
        if (open_ && WriteAllAt(file_.get(), old_, 0) &&
            ::ftruncate(file_.get(), static_cast<off_t>(oldSize_)) == 0)
            ::fsync(file_.get());
    }

    InPlaceRewrite() = default;
    InPlaceRewrite(const InPlaceRewrite&) = delete;
    InPlaceRewrite& operator=(const InPlaceRewrite&) = delete;

private:
    Descriptor file_;
    std::vector<std::uint8_t> old_;
    std::uint64_t oldSize_ = 0;
    bool open_ = false; // rewriting: the old content goes back unless finished
};

// Rewrites the regular file `target` in place with what `produce` makes. False when the file
// cannot be rewritten; its content is then as before, as it is when `produce` throws.
bool RewriteInPlace(const fs::path& path, const fs::path& target, std::uint64_t size,
                    const ContentProducer& produce) {
    InPlaceRewrite file;
    if (!file.Open(target, size))
        return false;
    WriteContent(file.get(), path, size, produce);
    return file.Finish(size);
}

} // namespace

void WriteFileReplacing(const fs::path& path, std::uint64_t size, const ContentProducer& produce) {
    const std::optional<fs::path> resolved = ResolveTarget(path);
    if (!resolved)
        throw FileCreateError(path, ELOOP);
    if (!WithinFileSizeLimit(size))
        throw FileCreateError(path, EFBIG);
    const fs::path& target = *resolved;
    struct stat existing {};
    const bool replacing = ::stat(target.c_str(), &existing) == 0;
    if (replacing && S_ISDIR(existing.st_mode))
        throw FileCreateError(path, EISDIR);
    if (replacing && !S_ISREG(existing.st_mode))
        throw FileCreateError(path, EPERM); // a device, a pipe or a socket
    if (replacing && (ReadOnly(existing) || ::access(target.c_str(), W_OK) != 0))
        throw FileCreateError(path, EACCES);

    fs::path temporary;
    Descriptor file(CreateTemporary(target, temporary));
    if (file.get() < 0) {
        const int error = errno;
        if (replacing && FolderRefused(error) && RewriteInPlace(path, target, size, produce))
            return;
        throw FileCreateError(path, error);
    }
    TemporaryName name(temporary);
    WriteContent(file.get(), path, size, produce);
    bool ok = true;
    if (replacing) {
        // Owner and group first (a change of owner may clear set-id bits), then the mode.
        // When the owner cannot be kept, the file belongs to whoever saved it.
        if ((existing.st_uid != ::geteuid() || existing.st_gid != ::getegid()) &&
            ::fchown(file.get(), existing.st_uid, existing.st_gid) != 0) {
        }
        ok = ::fchmod(file.get(), existing.st_mode & 07777) == 0;
    }
    ok = ok && ::fsync(file.get()) == 0;
    const int syncError = errno;
    ok = file.Close() && ok;
    if (!ok)
        throw FileCreateError(path, syncError != 0 ? syncError : errno);
    if (::rename(temporary.c_str(), target.c_str()) == 0) {
        name.Keep();
        return;
    }
    // The folder refused to replace the file: the file itself is rewritten from the copy.
    const int error = errno;
    const Descriptor written(::open(temporary.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW));
    if (replacing && FolderRefused(error) && written.get() >= 0 &&
        RewriteInPlace(path, target, size, CopyOf(written.get(), path, size)))
        return;
    throw FileCreateError(path, error);
}

void WriteFileReplacing(const fs::path& path, std::span<const std::uint8_t> bytes) {
    WriteFileReplacing(path, bytes.size(), [bytes](const ContentSink& sink) { sink(bytes); });
}

} // namespace tessaly
