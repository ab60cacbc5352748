#include "files/Trash.h"

#include "base/Descriptor.h"
#include "base/PercentEncode.h"
#include "files/FileError.h"
#include "files/NoReplaceRename.h"

#include <cerrno>
#include <cstdlib>
#include <ctime>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

constexpr int kMaxTrashNames = 10000;

std::string TrashError(const std::string& path) {
    return "ファイル " + path + " をゴミ箱へ移動できません";
}

// A folder that is what it claims: a real folder (no link) owned by the user.
bool IsOwnFolder(const std::string& path) {
    struct stat st {};
    return ::lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == ::getuid();
}

// Makes `path` (mode 0700) unless it is there; true when it is then the user's own folder.
bool MakeOwnFolder(const std::string& path) {
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return false;
    return IsOwnFolder(path);
}

// Makes every missing folder of `path` with mode 0700 (as the trash's parents are made).
int MakeFolders(const std::string& path) {
    struct stat st {};
    if (::stat(path.c_str(), &st) == 0)
        return S_ISDIR(st.st_mode) ? 0 : ENOTDIR;
    const std::string parent = FolderOf(path);
    if (parent != path) {
        if (const int error = MakeFolders(parent))
            return error;
    }
    if (::mkdir(path.c_str(), 0700) != 0 && errno != EEXIST)
        return errno;
    return 0;
}

// The device of `path`, or of its nearest existing folder above it.
dev_t DeviceOf(std::string path) {
    struct stat st {};
    while (::stat(path.c_str(), &st) != 0) {
        const std::string parent = FolderOf(path);
        if (parent == path)
            return 0;
        path = parent;
    }
    return st.st_dev;
}

// The top folder of the mount holding `folder` (a real, absolute folder): the highest
// folder above it on the same device.
std::string MountTopOf(std::string folder, dev_t device) {
    while (folder != "/") {
        const std::string parent = FolderOf(folder);
        struct stat st {};
        if (::stat(parent.c_str(), &st) != 0 || st.st_dev != device)
            break;
        folder = parent;
    }
    return folder;
}

std::string RealFolder(const std::string& folder, const std::string& path) {
    char* real = ::realpath(folder.c_str(), nullptr);
    if (real == nullptr)
        ThrowFileError(TrashError(path), errno);
    std::string result(real);
    std::free(real);
    return result;
}

// The trash on the mount whose top folder is `top`, made when missing; empty when none can
// be had.
std::string TopTrashFolder(const std::string& top) {
    const std::string uid = std::to_string(::getuid());
    const std::string shared = JoinPath(top, ".Trash");
    struct stat st {};
    if (::lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX)) {
        const std::string own = JoinPath(shared, uid);
        if (MakeOwnFolder(own))
            return own;
    }
    const std::string own = JoinPath(top, ".Trash-" + uid);
    if (MakeOwnFolder(own))
        return own;
    return {};
}

std::string DeletionDate() {
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    ::localtime_r(&now, &local);
    char text[32];
    std::strftime(text, sizeof text, "%Y-%m-%dT%H:%M:%S", &local);
    return text;
}

bool WriteAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

} // namespace

std::string TrashedFile::TrashedPath() const {
    return JoinPath(JoinPath(trashFolder, "files"), trashedName);
}

std::string TrashedFile::InfoPath() const {
    return JoinPath(JoinPath(trashFolder, "info"), trashedName + ".trashinfo");
}

std::string HomeTrashFolder() {
    const char* dataHome = std::getenv("XDG_DATA_HOME");
    if (dataHome != nullptr && dataHome[0] == '/')
        return JoinPath(dataHome, "Trash");
    const char* home = std::getenv("HOME");
    std::string homeFolder = home != nullptr && home[0] == '/' ? home : "";
    if (homeFolder.empty()) {
        if (const passwd* entry = ::getpwuid(::getuid()); entry != nullptr && entry->pw_dir)
            homeFolder = entry->pw_dir;
    }
    return JoinPath(JoinPath(homeFolder, ".local/share"), "Trash");
}

std::string TrashFolderFor(const std::string& path) {
    const std::string absolute = AbsolutePath(path);
    struct stat st {};
    if (::lstat(absolute.c_str(), &st) != 0)
        ThrowFileError(TrashError(path), errno);
    const std::string home = HomeTrashFolder();
    std::string trash;
    if (DeviceOf(home) == st.st_dev) {
        if (const int error = MakeFolders(home))
            ThrowFileError(TrashError(path), error);
        trash = home;
    } else {
        const std::string folder = RealFolder(FolderOf(absolute), path);
        trash = TopTrashFolder(MountTopOf(folder, st.st_dev));
        if (trash.empty())
            throw FileOperationError(TrashError(path) +
                                     "。このファイルシステムにゴミ箱を作れません。");
    }
    for (const char* part : {"files", "info"}) {
        if (!MakeOwnFolder(JoinPath(trash, part)))
            throw FileOperationError(TrashError(path) + "。ゴミ箱 " + trash + " が使えません。");
    }
    return trash;
}

std::string PercentEncodePath(std::string_view path) {
    // RFC 3986's unreserved characters and the separator.
    return PercentEncode(path, "-._~/");
}

namespace {

// Puts `path` in its trash: renamed there (`keep` false) or, with `keep`, given a second name
// there (a hard link), the file staying where it is.
TrashedFile PutInTrash(const std::string& path, bool keep) {
    TrashedFile trashed;
    trashed.originalPath = AbsolutePath(path);
    trashed.trashFolder = TrashFolderFor(trashed.originalPath);
    const std::string info = JoinPath(trashed.trashFolder, "info");
    const std::string name = NameOf(trashed.originalPath);
    const std::string content = "[Trash Info]\nPath=" + PercentEncodePath(trashed.originalPath) +
                                "\nDeletionDate=" + DeletionDate() + "\n";
    for (int n = 1; n <= kMaxTrashNames; ++n) {
        trashed.trashedName = NumberedName(name, n);
        const std::string infoPath = trashed.InfoPath();
        // The information file claims the name: O_EXCL makes two programs trashing files of
        // one name at once end with two names.
        Descriptor fd(
            ::open(infoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.get() < 0) {
            if (errno == EEXIST)
                continue;
            ThrowFileError(TrashError(path), errno);
        }
        if (!PathIsFree(trashed.TrashedPath())) {
            // A file without its information file (left by another program): keep it.
            fd.Reset();
            ::unlink(infoPath.c_str());
            continue;
        }
        if (!WriteAll(fd.get(), content) || ::fsync(fd.get()) != 0 || !fd.Close()) {
            const int error = errno;
            ::unlink(infoPath.c_str());
            ThrowFileError(TrashError(path), error);
        }
        int error = 0;
        if (!keep)
            error = RenameNoReplace(trashed.originalPath, trashed.TrashedPath());
        else if (::link(trashed.originalPath.c_str(), trashed.TrashedPath().c_str()) != 0)
            error = errno;
        if (error != 0) {
            ::unlink(infoPath.c_str());
            if (error == EEXIST)
                continue;
            ThrowFileError(TrashError(path), error);
        }
        if (const auto stamp = StampOf(trashed.TrashedPath()))
            trashed.stamp = *stamp;
        return trashed;
    }
    ThrowFileError(TrashError(path), EEXIST);
}

} // namespace

TrashedFile MoveToTrash(const std::string& path) {
    return PutInTrash(path, false);
}

TrashedFile KeepInTrash(const std::string& path) {
    return PutInTrash(path, true);
}

void RestoreFromTrash(const TrashedFile& trashed) {
    const std::string& original = trashed.originalPath;
    const auto now = StampOf(trashed.TrashedPath());
    if (!now || *now != trashed.stamp)
        throw FileOperationError("ゴミ箱の " + trashed.TrashedPath() +
                                 " は既に移動または変更されているため、" + original +
                                 " を元に戻せません。");
    if (!PathIsFree(original))
        throw FileOperationError("元の場所 " + original +
                                 " には既に別のファイルがあるため、元に戻せません。");
    const int error = RenameNoReplace(trashed.TrashedPath(), original);
    if (error == EEXIST)
        throw FileOperationError("元の場所 " + original +
                                 " には既に別のファイルがあるため、元に戻せません。");
    if (error == ENOENT)
        throw FileOperationError("元のフォルダ " + FolderOf(original) + " がないため、" +
                                 NameOf(original) + " を元に戻せません。");
    if (error != 0)
        ThrowFileError(original + " を元に戻せません", error);
    ::unlink(trashed.InfoPath().c_str());
}

void PutBackFromTrash(const TrashedFile& kept, const FileStamp& changed) {
    const std::string& original = kept.originalPath;
    const auto now = StampOf(kept.TrashedPath());
    if (!now || *now != kept.stamp)
        throw FileOperationError("ゴミ箱の " + kept.TrashedPath() +
                                 " は既に移動または変更されているため、" + original +
                                 " を元に戻せません。");
    if (StampOf(original) != changed)
        throw FileOperationError("ファイル " + original +
                                 " は既に移動または変更されているため、元に戻せません。");
    // The file the change left is replaced in one step: the path never names nothing.
    if (::rename(kept.TrashedPath().c_str(), original.c_str()) != 0)
        ThrowFileError(original + " を元に戻せません", errno);
    ::unlink(kept.InfoPath().c_str());
}

void DropKept(const TrashedFile& kept) {
    if (StampOf(kept.TrashedPath()) != kept.stamp)
        return;
    if (::unlink(kept.TrashedPath().c_str()) == 0)
        ::unlink(kept.InfoPath().c_str());
}

} // namespace tessaly
