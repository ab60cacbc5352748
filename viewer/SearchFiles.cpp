#include "viewer/SearchFiles.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <chrono>
#include <dirent.h>
#include <set>
#include <sys/stat.h>
#include <utility>

namespace tessaly {

namespace {

// Watches the application's input while a search runs and notes a new press of Shift,
// Ctrl or the right mouse button. The events go on to their receivers as usual.
class InterruptWatcher : public QObject {
public:
    InterruptWatcher() {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->installEventFilter(this);
    }
    ~InterruptWatcher() override {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeEventFilter(this);
    }
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    bool Pressed() const { return pressed_; }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override {
        if (event->type() == QEvent::KeyPress) {
            const auto* key = static_cast<QKeyEvent*>(event);
            if (!key->isAutoRepeat() &&
                (key->key() == Qt::Key_Shift || key->key() == Qt::Key_Control))
                pressed_ = true;
        } else if (event->type() == QEvent::MouseButtonPress) {
            if (static_cast<QMouseEvent*>(event)->button() == Qt::RightButton)
                pressed_ = true;
        }
        return QObject::eventFilter(watched, event);
    }

private:
    bool pressed_ = false;
};

// Closes a directory stream when it goes out of scope.
struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// One search over a folder tree: the folders already entered and the event handling.
class Search {
public:
    Search(FileListType& list, std::string extension, bool& aborted)
        : list_(list), extension_(UpperAscii(extension)), aborted_(aborted) {}

    void Run(const std::string& folder) {
        DirHandle dir(opendir(folder.c_str()));
        if (!dir)
            return; // unreadable or gone: skipped silently
        struct stat st {};
        if (fstat(dirfd(dir.get()), &st) == 0 && !entered_.emplace(st.st_dev, st.st_ino).second)
            return; // entered before through another path (a link loop)
        while (const dirent* entry = readdir(dir.get())) {
            HandleEvents();
            if (aborted_)
                return;
            if (watcher_.Pressed()) {
                aborted_ = true;
                return;
            }
            const std::string_view name(entry->d_name);
            if (name == "." || name == "..")
                continue;
            std::string path = folder;
            path += '/';
            path += name;
            if (IsDirectoryEntry(*entry, path))
                Run(path);
            else if (UpperAscii(ExtensionOf(name)) == extension_)
                list_.push_back(std::move(path));
        }
    }

private:
    static bool IsDirectoryEntry(const dirent& entry, const std::string& path) {
        if (entry.d_type == DT_DIR)
            return true;
        if (entry.d_type != DT_LNK && entry.d_type != DT_UNKNOWN)
            return false;
        struct stat st {};
        return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }

    // Lets pending window events run, at most every few milliseconds so that a search over
    // a large tree is not slowed down by the event loop while the windows stay live.
    void HandleEvents() {
        const auto now = std::chrono::steady_clock::now();
        if (now - lastEvents_ < std::chrono::milliseconds(5))
            return;
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
        lastEvents_ = std::chrono::steady_clock::now();
    }

    FileListType& list_;
    std::string extension_;
    bool& aborted_;
    InterruptWatcher watcher_;
    std::set<std::pair<dev_t, ino_t>> entered_;
    std::chrono::steady_clock::time_point lastEvents_{};
};

} // namespace

void SearchFiles(const std::string& folder, FileListType& list, const std::string& extension,
                 bool& aborted) {
    if (aborted)
        return;
    Search search(list, extension, aborted);
    search.Run(folder);
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace tessaly
