#include "files/FolderWatcher.h"

#include "base/AsciiCase.h"
#include "files/FileError.h"
#include "files/NoReplaceRename.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <dirent.h>
#include <memory>
#include <set>
#include <sys/inotify.h>
#include <unistd.h>

namespace tessaly {

namespace {

constexpr std::uint32_t kFolderEvents = IN_CREATE | IN_MOVED_TO | IN_DELETE | IN_MOVED_FROM |
                                        IN_CLOSE_WRITE | IN_DELETE_SELF | IN_MOVE_SELF | IN_ONLYDIR;

bool IsJpegName(std::string_view name) {
    const auto dot = name.rfind('.');
    return dot != std::string_view::npos && UpperAscii(name.substr(dot)) == ".JPG";
}

enum class Presence { Unchanged, Appeared, Removed };

struct PathState {
    Presence presence = Presence::Unchanged;
    bool rewritten = false;
    std::size_t order = 0; // first seen, so the lists keep the order of the events
};

} // namespace

FolderWatcher::FolderWatcher(std::size_t maxFolders)
    : fd_(::inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), maxFolders_(maxFolders) {
    if (fd_.get() < 0)
        ThrowFileError("フォルダを監視できません", errno);
}

void FolderWatcher::UnwatchAll() {
    for (const auto& [wd, folder] : folders_)
        ::inotify_rm_watch(fd_.get(), wd);
    folders_.clear();
}

std::vector<std::string> FolderWatcher::Watch(const std::vector<std::string>& folders) {
    UnwatchAll();
    std::vector<std::string> unwatched;
    std::set<std::string> seen;
    for (const std::string& folder : folders) {
        if (!seen.insert(folder).second)
            continue;
        if (folders_.size() >= maxFolders_) {
            unwatched.push_back(folder);
            continue;
        }
        const int wd = ::inotify_add_watch(fd_.get(), folder.c_str(), kFolderEvents);
        if (wd < 0 || folders_.count(wd) != 0) {
            // Refused, or the same folder under another name (a link): one watch serves both.
            if (wd < 0)
                unwatched.push_back(folder);
            continue;
        }
        folders_.emplace(wd, folder);
    }
    return unwatched;
}

FolderChanges FolderWatcher::ReadChanges() {
    FolderChanges changes;
    std::map<std::string, PathState> states;
    alignas(inotify_event) char buffer[64 * 1024];
    for (;;) {
        const ssize_t length = ::read(fd_.get(), buffer, sizeof buffer);
        if (length < 0 && errno == EINTR)
            continue;
        if (length <= 0)
            break;
        const auto size = static_cast<std::size_t>(length);
        for (std::size_t at = 0; size - at >= sizeof(inotify_event);) {
            inotify_event event;
            std::memcpy(&event, buffer + at, sizeof event);
            if (event.len > size - at - sizeof event)
                break;
            const char* name = buffer + at + sizeof event;
            at += sizeof event + event.len;
            if (event.mask & IN_Q_OVERFLOW) {
                changes.overflowed = true;
                continue;
            }
            const auto folder = folders_.find(event.wd);
            if (folder == folders_.end())
                continue;
            if (event.mask & (IN_DELETE_SELF | IN_MOVE_SELF | IN_IGNORED)) {
                if (std::find(changes.foldersGone.begin(), changes.foldersGone.end(),
                              folder->second) == changes.foldersGone.end())
                    changes.foldersGone.push_back(folder->second);
                if (event.mask & IN_IGNORED)
                    folders_.erase(folder);
                else
                    ::inotify_rm_watch(fd_.get(), event.wd);
                continue;
            }
            if (event.len == 0 || (event.mask & IN_ISDIR))
                continue;
            const std::string entry(name, ::strnlen(name, event.len));
            auto [state, added] = states.try_emplace(JoinPath(folder->second, entry));
            if (added)
                state->second.order = states.size();
            if (event.mask & (IN_CREATE | IN_MOVED_TO))
                state->second.presence = Presence::Appeared;
            else if (event.mask & (IN_DELETE | IN_MOVED_FROM))
                state->second.presence = Presence::Removed;
            else if (event.mask & IN_CLOSE_WRITE)
                state->second.rewritten = true;
        }
    }
    if (changes.overflowed)
        changes.present = JpegFilesNow();
    std::vector<std::pair<std::size_t, const std::string*>> ordered;
    for (const auto& [path, state] : states)
        ordered.emplace_back(state.order, &path);
    std::sort(ordered.begin(), ordered.end());
    for (const auto& [order, path] : ordered) {
        const PathState& state = states.at(*path);
        if (state.presence == Presence::Removed)
            changes.removed.push_back(*path);
        else if (state.presence == Presence::Appeared && IsJpegName(NameOf(*path)))
            changes.appeared.push_back(*path);
        else if (state.presence == Presence::Unchanged && state.rewritten)
            changes.rewritten.push_back(*path);
    }
    return changes;
}

std::vector<std::string> FolderWatcher::JpegFilesNow() const {
    std::vector<std::string> files;
    for (const auto& [wd, folder] : folders_) {
        const std::unique_ptr<DIR, int (*)(DIR*)> dir(::opendir(folder.c_str()), ::closedir);
        if (!dir)
            continue;
        while (const dirent* entry = ::readdir(dir.get())) {
            if (entry->d_type != DT_DIR && IsJpegName(entry->d_name))
                files.push_back(JoinPath(folder, entry->d_name));
        }
    }
    return files;
}

} // namespace tessaly
