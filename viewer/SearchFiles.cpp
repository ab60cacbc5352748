#include "viewer/SearchFiles.h"

#include "base/Descriptor.h"
#include "ui/X11.h"

#include <QCoreApplication>
#include <QKeyEvent>
#include <QMouseEvent>
#include <cerrno>
#include <chrono>
#include <dirent.h>
#include <fcntl.h>
#include <memory>
#include <set>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>
#include <vector>

namespace tessaly {

namespace {

// ---------------------------------------------------------------------------------------
// The walk

// Folders held open at once. Far below the usual limit of 1,024 descriptors and still
// enough that a deep tree seldom has to open a folder twice.
constexpr std::size_t kMaxOpenFolders = 48;

// Closes a directory stream when it goes out of scope.
struct DirCloser {
    void operator()(DIR* d) const { closedir(d); }
};
using DirHandle = std::unique_ptr<DIR, DirCloser>;

// A folder entry as the walk needs it.
struct Entry {
    std::string name;
    unsigned char type = DT_UNKNOWN;
};

// One folder on the way from the searched folder to the one being read.
struct Level {
    std::string name;           // as it was entered from its parent
    std::size_t pathLength = 0; // of its joined path
    dev_t device = 0;
    ino_t inode = 0;
    DirHandle stream;         // open while its entries come from the system
    Descriptor fd;            // the folder opened again after its stream was closed
    std::vector<Entry> rest;  // the entries read ahead when the stream was closed
    std::size_t next = 0;     // the next of them
    bool unreachable = false; // could not be opened again

    bool IsOpen() const { return stream || fd.get() >= 0; }
};

int OpenFolderAt(int parent, const char* name) {
    return ::openat(parent, name, O_RDONLY | O_DIRECTORY | O_CLOEXEC);
}

class Walk {
public:
    Walk(std::string folder, FileListType& list, std::string extension,
         const std::function<bool()>& stop)
        : folder_(std::move(folder)), list_(list), extension_(UpperAscii(extension)), stop_(stop) {}

    void Run() {
        Descriptor fd(::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() < 0)
            return; // unreadable or gone: skipped silently
        struct stat st {};
        if (::fstat(fd.get(), &st) == 0)
            entered_.emplace(st.st_dev, st.st_ino);
        DirHandle stream(::fdopendir(fd.get()));
        if (!stream)
            return;
        fd.Release();
        Level root;
        root.pathLength = folder_.size();
        root.device = st.st_dev;
        root.inode = st.st_ino;
        root.stream = std::move(stream);
        levels_.push_back(std::move(root));
        open_ = 1;
        path_ = folder_;

        Entry entry;
        while (!levels_.empty()) {
            const std::size_t top = levels_.size() - 1;
            if (!NextEntry(levels_[top], entry)) {
                Close(levels_[top]);
                levels_.pop_back();
                continue;
            }
            if (stop_())
                return;
            if (entry.name == "." || entry.name == "..")
                continue;
            path_.resize(levels_[top].pathLength);
            path_ += '/';
            path_ += entry.name;
            if (IsDirectory(top, entry))
                Enter(top, entry.name);
            else if (EqualsIgnoringAsciiCase(ExtensionOf(entry.name), extension_))
                list_.push_back(path_);
        }
    }

private:
    static bool NextEntry(Level& level, Entry& entry) {
        if (level.stream) {
            const dirent* d = ::readdir(level.stream.get());
            if (!d)
                return false;
            entry.name = d->d_name;
            entry.type = d->d_type;
            return true;
        }
        if (level.next >= level.rest.size())
            return false;
        entry = std::move(level.rest[level.next++]);
        return true;
    }

    void Close(Level& level) {
        if (level.stream) {
            level.stream.reset();
            --open_;
        }
        if (level.fd.get() >= 0) {
            level.fd.Reset();
            --open_;
        }
    }

    // Closes the outermost open folder other than `keep`, its remaining entries read ahead
    // first. False when there is none to close.
    bool CloseOutermost(std::size_t keep) {
        for (std::size_t i = 0; i < levels_.size(); ++i) {
            Level& level = levels_[i];
            if (i == keep || !level.IsOpen())
                continue;
            if (level.stream)
                while (const dirent* d = ::readdir(level.stream.get()))
                    level.rest.push_back({d->d_name, d->d_type});
            Close(level);
            return true;
        }
        return false;
    }

    // Opens the folder `name` inside `parent`; when the process has no descriptor left,
    // closes outer folders (never `keep`) and tries again.
    int OpenAt(int parent, const std::string& name, std::size_t keep) {
        for (;;) {
            const int fd = OpenFolderAt(parent, name.c_str());
            if (fd >= 0 || (errno != EMFILE && errno != ENFILE) || !CloseOutermost(keep))
                return fd;
        }
    }

    // Counts a descriptor just stored in level `keep`, closing an outer folder when more
    // than the allowed number are open.
    void Opened(std::size_t keep) {
        ++open_;
        if (open_ > kMaxOpenFolders)
            CloseOutermost(keep);
    }

    // The open folder of the deepest level, opened again by the names on the way down
    // from the nearest open ancestor when it was closed; -1 when it cannot be (it has been
    // moved or removed meanwhile).
    int FolderOf(std::size_t index) {
        Level& level = levels_[index];
        if (level.stream)
            return ::dirfd(level.stream.get());
        if (level.fd.get() >= 0)
            return level.fd.get();
        if (level.unreachable)
            return -1;
        std::size_t from = index;
        while (from > 0 && !levels_[from - 1].IsOpen())
            --from;
        // The levels from `from` to `index` are opened one after the other; the deepest
        // of them are kept, since the walk comes back through them next.
        Descriptor previous;
        int parent = from > 0 ? FolderOf(from - 1) : -1;
        for (std::size_t k = from; k <= index; ++k) {
            Descriptor fd(k == 0 ? ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC)
                                 : OpenAt(parent, levels_[k].name, k - 1));
            struct stat st {};
            if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0 || st.st_dev != levels_[k].device ||
                st.st_ino != levels_[k].inode) {
                levels_[index].unreachable = true;
                return -1;
            }
            parent = fd.get();
            if (index - k < kMaxOpenFolders / 2) {
                levels_[k].fd = std::move(fd);
                Opened(k);
            } else {
                previous = std::move(fd);
            }
        }
        return levels_[index].fd.get();
    }

    bool IsDirectory(std::size_t index, const Entry& entry) {
        if (entry.type == DT_DIR)
            return true;
        if (entry.type != DT_LNK && entry.type != DT_UNKNOWN)
            return false;
        const int folder = FolderOf(index);
        struct stat st {};
        return folder >= 0 && ::fstatat(folder, entry.name.c_str(), &st, 0) == 0 &&
               S_ISDIR(st.st_mode);
    }

    // Enters the folder `name` of level `index`, unless it has been entered before.
    void Enter(std::size_t index, const std::string& name) {
        const int parent = FolderOf(index);
        if (parent < 0)
            return;
        Descriptor fd(OpenAt(parent, name, index));
        struct stat st {};
        if (fd.get() < 0 || ::fstat(fd.get(), &st) != 0)
            return; // unreadable: skipped silently
        if (!entered_.emplace(st.st_dev, st.st_ino).second)
            return; // entered before through another path (a link loop)
        DirHandle stream(::fdopendir(fd.get()));
        if (!stream)
            return;
        fd.Release();
        Level level;
        level.name = name;
        level.pathLength = path_.size();
        level.device = st.st_dev;
        level.inode = st.st_ino;
        level.stream = std::move(stream);
        levels_.push_back(std::move(level));
        Opened(levels_.size() - 1);
    }

    const std::string folder_;
    FileListType& list_;
    const std::string extension_;
    const std::function<bool()>& stop_;
    std::vector<Level> levels_;
    std::size_t open_ = 0;
    std::string path_;
    std::set<std::pair<dev_t, ino_t>> entered_;
};

// ---------------------------------------------------------------------------------------
// Interrupting a search

// The Shift and Ctrl keys and the right button as the X server knows them.
class X11InterruptInput {
public:
    // The program's X server connection; nothing on another platform.
    static std::unique_ptr<X11InterruptInput> ForThisDisplay() {
        const std::optional<X11Display> x11 = ProgramX11Display();
        if (!x11)
            return nullptr;
        return std::unique_ptr<X11InterruptInput>(new X11InterruptInput(*x11));
    }

    // One reading: a mask of InterruptInput, or nothing when the server did not answer.
    std::optional<unsigned> Read() const {
        const xcb_query_keymap_cookie_t keymapCookie = xcb_query_keymap(connection_);
        const xcb_query_pointer_cookie_t pointerCookie = xcb_query_pointer(connection_, root_);
        const X11Reply<xcb_query_keymap_reply_t> keymap(
            xcb_query_keymap_reply(connection_, keymapCookie, nullptr));
        const X11Reply<xcb_query_pointer_reply_t> pointer(
            xcb_query_pointer_reply(connection_, pointerCookie, nullptr));
        if (!keymap || !pointer)
            return std::nullopt;
        const auto isDown = [&keymap](xcb_keycode_t key) {
            return (keymap->keys[key / 8] >> (key % 8) & 1) != 0;
        };
        unsigned down = 0;
        for (const auto& [key, input] : keys_)
            if (isDown(key))
                down |= input;
        if ((pointer->mask & XCB_BUTTON_MASK_3) != 0)
            down |= kRightButtonDown;
        return down;
    }

private:
    explicit X11InterruptInput(const X11Display& x11)
        : connection_(x11.connection), root_(x11.root) {
        const xcb_setup_t* setup = xcb_get_setup(connection_);
        // The key codes that carry Shift_L, Shift_R, Control_L and Control_R.
        const int first = setup->min_keycode;
        const int count = setup->max_keycode - setup->min_keycode + 1;
        const X11Reply<xcb_get_keyboard_mapping_reply_t> mapping(xcb_get_keyboard_mapping_reply(
            connection_,
            xcb_get_keyboard_mapping(connection_, setup->min_keycode,
                                     static_cast<std::uint8_t>(count)),
            nullptr));
        if (!mapping || mapping->keysyms_per_keycode == 0)
            return;
        const xcb_keysym_t* symbols = xcb_get_keyboard_mapping_keysyms(mapping.get());
        const int length = xcb_get_keyboard_mapping_keysyms_length(mapping.get());
        const int perKey = mapping->keysyms_per_keycode;
        for (int i = 0; i < length; ++i) {
            const xcb_keysym_t symbol = symbols[i];
            const auto key = static_cast<xcb_keycode_t>(first + i / perKey);
            if (symbol == 0xFFE1 || symbol == 0xFFE2) // Shift_L, Shift_R
                keys_.emplace_back(key, kShiftDown);
            else if (symbol == 0xFFE3 || symbol == 0xFFE4) // Control_L, Control_R
                keys_.emplace_back(key, kControlDown);
        }
    }

    xcb_connection_t* connection_;
    xcb_window_t root_; // any root would do: the pointer's buttons are the same on every screen
    std::vector<std::pair<xcb_keycode_t, unsigned>> keys_;
};

// Notes a new press of Shift, Ctrl or the right mouse button while a search runs: asked of
// the X server where there is one, and seen in the input events that reach the program's
// windows everywhere. The events go on to their receivers as usual.
class InterruptWatcher : public QObject {
public:
    InterruptWatcher() : x11_(X11InterruptInput::ForThisDisplay()) {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->installEventFilter(this);
        if (x11_)
            rule_.Check(x11_->Read());
    }
    ~InterruptWatcher() override {
        if (QCoreApplication::instance())
            QCoreApplication::instance()->removeEventFilter(this);
    }
    InterruptWatcher(const InterruptWatcher&) = delete;
    InterruptWatcher& operator=(const InterruptWatcher&) = delete;

    // Reads the keys and the button from the X server, where there is one.
    void Poll() {
        if (x11_ && rule_.Check(x11_->Read()))
            pressed_ = true;
    }

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
    std::unique_ptr<X11InterruptInput> x11_;
    NewPressRule rule_;
    bool pressed_ = false;
};

} // namespace

bool NewPressRule::Check(std::optional<unsigned> down) {
    if (!down)
        return false;
    const bool pressed = previous_ && (*down & ~*previous_) != 0;
    previous_ = down;
    return pressed;
}

void WalkFolder(const std::string& folder, FileListType& list, const std::string& extension,
                const std::function<bool()>& stop) {
    Walk(folder, list, extension, stop).Run();
}

void SearchFiles(const std::string& folder, FileListType& list, const std::string& extension,
                 bool& aborted) {
    if (aborted)
        return;
    InterruptWatcher watcher;
    std::chrono::steady_clock::time_point lastEvents{};
    WalkFolder(folder, list, extension, [&] {
        // Pending window events run at most every few milliseconds, so that a search over
        // a large tree is not slowed down by the event loop while the windows stay live;
        // the keys are read at the same moments.
        const auto now = std::chrono::steady_clock::now();
        if (now - lastEvents >= std::chrono::milliseconds(5)) {
            if (QCoreApplication::instance())
                QCoreApplication::processEvents();
            watcher.Poll();
            lastEvents = std::chrono::steady_clock::now();
        }
        if (aborted)
            return true;
        if (watcher.Pressed())
            aborted = true;
        return aborted;
    });
}

bool IsFolder(const std::string& path) {
    struct stat st {};
    return stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

} // namespace tessaly
