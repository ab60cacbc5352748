#include "files/FileTransfer.h"

#include "base/Descriptor.h"
#include "files/FileError.h"
#include "files/NoReplaceRename.h"

#include <cerrno>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaly {

namespace {

constexpr std::size_t kCopyChunk = 1 << 20;
constexpr int kMaxNumberedNames = 10000;

// Removes a file this code made and throws the failure that made it give up.
[[noreturn]] void DropAndThrow(const std::string& made, const std::string& what, int error) {
    ::unlink(made.c_str());
    ThrowFileError(what, error);
}

dev_t FolderDevice(const std::string& folder) {
    struct stat st {};
    return ::stat(folder.c_str(), &st) == 0 ? st.st_dev : 0;
}

bool SameFolder(const std::string& a, const std::string& b) {
    struct stat sa {
    }, sb{};
    return ::stat(a.c_str(), &sa) == 0 && ::stat(b.c_str(), &sb) == 0 && sa.st_dev == sb.st_dev &&
           sa.st_ino == sb.st_ino;
}

void SyncFolder(const std::string& folder) {
    const Descriptor fd(::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() >= 0)
        ::fsync(fd.get());
}

bool WriteAll(int fd, const char* data, std::size_t size) {
    while (size > 0) {
        const ssize_t n = ::write(fd, data, size);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return false;
        data += n;
        size -= static_cast<std::size_t>(n);
    }
    return true;
}

std::string LinkInto(const std::string& source, const std::string& folder, const std::string& name,
                     bool numbered, const std::string& what) {
    std::vector<char> target(4096);
    const ssize_t length = ::readlink(source.c_str(), target.data(), target.size() - 1);
    if (length < 0)
        ThrowFileError(what, errno);
    target[static_cast<std::size_t>(length)] = '\0';
    for (int n = 1; n <= (numbered ? kMaxNumberedNames : 1); ++n) {
        const std::string path = JoinPath(folder, NumberedName(name, n));
        if (::symlink(target.data(), path.c_str()) == 0)
            return path;
        if (errno != EEXIST)
            ThrowFileError(what, errno);
    }
    ThrowFileError(what, EEXIST);
}

std::string SourceChanged() {
    return "。コピーの間に元のファイルが変更されました。";
}

} // namespace

std::string TransferError(TransferKind kind, const std::string& source, const std::string& folder) {
    return "ファイル " + source + " を " + folder +
           (kind == TransferKind::Move ? " へ移動できません" : " へコピーできません");
}

std::string CopyIntoFolder(const std::string& source, const std::string& folder,
                           const std::string& name, bool numbered, bool copyLink,
                           TransferProgress& progress, const std::string& what) {
    struct stat st {};
    if (copyLink && ::lstat(source.c_str(), &st) == 0 && S_ISLNK(st.st_mode))
        return LinkInto(source, folder, name, numbered, what);

    const Descriptor in(::open(source.c_str(), O_RDONLY | O_CLOEXEC));
    if (in.get() < 0 || ::fstat(in.get(), &st) != 0)
        ThrowFileError(what, errno);
    if (!S_ISREG(st.st_mode))
        ThrowFileError(what, EISDIR);
    progress.SetTotal(static_cast<std::uint64_t>(st.st_size));

    std::string temporary = JoinPath(folder, ".tessaly-copy-XXXXXX");
    Descriptor out(::mkostemp(temporary.data(), O_CLOEXEC));
    if (out.get() < 0)
        ThrowFileError(what, errno);
    std::vector<char> buffer(kCopyChunk);
    std::uint64_t copied = 0;
    for (;;) {
        if (progress.Cancelled()) {
            ::unlink(temporary.c_str());
            throw TransferCancelled();
        }
        const ssize_t n = ::read(in.get(), buffer.data(), buffer.size());
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            DropAndThrow(temporary, what, errno);
        if (n == 0)
            break;
        if (!WriteAll(out.get(), buffer.data(), static_cast<std::size_t>(n)))
            DropAndThrow(temporary, what, errno);
        copied += static_cast<std::uint64_t>(n);
        progress.Add(static_cast<std::uint64_t>(n));
    }
    // Another program that rewrote the file meanwhile may have left a mix of old and new
    // bytes in the copy: it never takes the name.
    struct stat after {};
    if (::fstat(in.get(), &after) != 0)
        DropAndThrow(temporary, what, errno);
    if (after.st_size != st.st_size || after.st_mtim.tv_sec != st.st_mtim.tv_sec ||
        after.st_mtim.tv_nsec != st.st_mtim.tv_nsec ||
        copied != static_cast<std::uint64_t>(st.st_size)) {
        ::unlink(temporary.c_str());
        throw FileOperationError(what + SourceChanged());
    }
    const timespec times[2] = {st.st_atim, st.st_mtim};
    if (::fchmod(out.get(), st.st_mode & 0777) != 0 || ::futimens(out.get(), times) != 0 ||
        ::fsync(out.get()) != 0 || !out.Close())
        DropAndThrow(temporary, what, errno);

    std::string placed;
    int error = 0;
    if (numbered) {
        error = RenameIntoFolder(temporary, folder, name, placed);
    } else {
        placed = JoinPath(folder, name);
        error = RenameNoReplace(temporary, placed);
    }
    if (error != 0)
        DropAndThrow(temporary, what, error);
    SyncFolder(folder);
    return placed;
}

FileTransfer::FileTransfer(TransferKind kind, std::string source, std::string folder)
    : kind_(kind), source_(AbsolutePath(source)), folder_(AbsolutePath(folder)) {
    struct stat st {};
    copiesBytes_ = kind_ == TransferKind::Copy || ::lstat(source_.c_str(), &st) != 0 ||
                   st.st_dev != FolderDevice(folder_);
}

void FileTransfer::Run() {
    const std::string what = TransferError(kind_, source_, folder_);
    const std::string name = NameOf(source_);
    const auto before = StampOf(source_);
    if (!before)
        ThrowFileError(what, errno);
    if (kind_ == TransferKind::Copy) {
        target_ = CopyIntoFolder(source_, folder_, name, true, false, progress_, what);
    } else {
        // A move into the folder the file is in would only rename it to "name (2)".
        if (SameFolder(FolderOf(source_), folder_))
            throw FileOperationError("ファイル " + source_ + " は既にフォルダ " + folder_ +
                                     " にあります。");
        const int error = copiesBytes_ ? EXDEV : RenameIntoFolder(source_, folder_, name, target_);
        if (error == EXDEV) {
            // Another file system (or another mount of the same one): copy, then remove.
            target_ = CopyIntoFolder(source_, folder_, name, true, true, progress_, what);
            if (StampOf(source_) != before) {
                ::unlink(target_.c_str());
                throw FileOperationError(what + SourceChanged());
            }
            if (::unlink(source_.c_str()) != 0)
                DropAndThrow(target_, what, errno);
            SyncFolder(FolderOf(source_));
        } else if (error != 0) {
            ThrowFileError(what, error);
        }
    }
    if (const auto stamp = StampOf(target_))
        stamp_ = *stamp;
}

FileStep FileTransfer::Step() const {
    if (kind_ == TransferKind::Copy)
        return CopyStep{source_, target_, stamp_};
    return MoveStep{source_, target_, stamp_};
}

} // namespace tessaly
