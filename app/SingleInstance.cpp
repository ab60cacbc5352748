#include "app/SingleInstance.h"

#include "app/ActivationChannel.h"
#include "base/Format.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QLockFile>
#include <QThread>
#include <QWidget>
#include <QtGlobal>
#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tessaly {

namespace {

// A lock file that is this young may belong to a copy that has created it but not yet
// written its process id; only older unreadable files are treated as left behind.
constexpr qint64 kUnreadableLockGraceMs = 1000;

QString PerUserName(const QString& name) {
    return QStringLiteral("%1-%2").arg(name).arg(::getuid());
}

// A real folder (not a link) of this user's that nobody else may enter or write.
bool IsPrivateFolder(const QString& path) {
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 0777) == 0700;
}

// Creates the folder with mode 0700 unless something is there already; true when the
// folder then found is private.
bool MakePrivateFolder(const QString& path) {
    ::mkdir(QFile::encodeName(path).constData(), 0700);
    return IsPrivateFolder(path);
}

// Only other starting copies hold this, and only while they clear an odd entry, so a
// short wait always suffices; past it the clearing goes on unguarded.
class FolderGuard {
public:
    explicit FolderGuard(const QString& folder)
        : fd_(::open(QFile::encodeName(folder).constData(),
                     O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC)) {
        for (int tries = 0; fd_ >= 0 && tries < 200; ++tries) {
            if (::flock(fd_, LOCK_EX | LOCK_NB) == 0)
                return;
            QThread::msleep(5);
        }
    }
    ~FolderGuard() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FolderGuard(const FolderGuard&) = delete;
    FolderGuard& operator=(const FolderGuard&) = delete;

private:
    int fd_;
};

// Clears what sits at path unless it is of the expected file type and ours. A pipe would
// hang the reading of a lock file, and a folder, a link or another owner's file would
// refuse every start for good; in the private folder only this user (or the superuser)
// can have put them there. A folder that is not empty is moved aside, not deleted.
// Starting copies clear one at a time, so one never removes the lock another has just
// created in place of the odd entry.
void ClearOddEntry(const QString& path, mode_t expectedType) {
    const QByteArray native = QFile::encodeName(path);
    const auto odd = [&native, expectedType] {
        struct stat st {};
        if (::lstat(native.constData(), &st) != 0)
            return false;
        return (st.st_mode & S_IFMT) != expectedType || st.st_uid != ::geteuid();
    };
    if (!odd())
        return;
    const FolderGuard guard(QFileInfo(path).absolutePath());
    if (!odd())
        return;
    qWarning("Tessaly: clearing %s, which something else left there", native.constData());
    if (::unlink(native.constData()) == 0 || errno != EISDIR)
        return;
    if (::rmdir(native.constData()) == 0)
        return;
    const QByteArray aside =
        native + ".moved-" + QByteArray::number(QDateTime::currentMSecsSinceEpoch());
    ::rename(native.constData(), aside.constData());
}

} // namespace

QString InstanceDirectory() {
    const QString runtime = qEnvironmentVariable("XDG_RUNTIME_DIR");
    if (runtime.startsWith(QLatin1Char('/')) && IsPrivateFolder(runtime))
        return runtime;
    // The temp folder itself is open to every user; a folder of our own inside it is not,
    // unless another user has taken its name first.
    const QString own = QStringLiteral("tessaly-%1").arg(::geteuid());
    const QString inTemp = QDir::tempPath() + QLatin1Char('/') + own;
    if (MakePrivateFolder(inTemp))
        return inTemp;
    QString cache = qEnvironmentVariable("XDG_CACHE_HOME");
    if (!cache.startsWith(QLatin1Char('/'))) {
        const QString home = qEnvironmentVariable("HOME");
        if (!home.startsWith(QLatin1Char('/')))
            return {};
        cache = home + QStringLiteral("/.cache");
    }
    QDir().mkpath(cache);
    const QString inCache = cache + QLatin1Char('/') + own;
    if (MakePrivateFolder(inCache))
        return inCache;
    return {};
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
    const QString folder = InstanceDirectory();
    if (folder.isEmpty())
        return;
    const QString base = folder + QLatin1Char('/') + PerUserName(name_);
    lockPath_ = base + QStringLiteral(".lock");
    serverPath_ = base + QStringLiteral(".socket");
    lock_ = std::make_unique<QLockFile>(lockPath_);
    // Held for the whole run: never stale by age, only when its process is gone.
    lock_->setStaleLockTime(0);
}

SingleInstance::~SingleInstance() {
    server_.reset(); // the socket closes before the lock is given up
}

bool SingleInstance::holdsLock() const {
    return lock_ && lock_->isLocked();
}

bool SingleInstance::CheckPrevInstance() {
    if (state_ == State::Unchecked && !lock_) {
        qWarning("Tessaly: no private folder for the instance lock; running unguarded");
        state_ = State::Unguarded;
    }
    if (state_ == State::Unchecked) {
        ClearOddEntry(lockPath_, S_IFREG);
        if (lock_->tryLock(0)) {
            state_ = State::Holder;
        } else if (lock_->error() != QLockFile::LockFailedError) {
            qWarning("Tessaly: cannot create the instance lock %s; running unguarded",
                     qUtf8Printable(lockPath_));
            state_ = State::Unguarded;
        } else if (TakeOverUnreadableLock()) {
            state_ = State::Holder;
        } else {
            state_ = State::Duplicate;
        }
    }
    return state_ == State::Duplicate;
}

// QLockFile recognises a dead holder by the process id in the file. A copy killed between
// creating the file and writing its id leaves a file without one, which QLockFile would
// respect forever. Such a file is taken over once it is older than the grace time and
// nobody holds the native lock on it.
bool SingleInstance::TakeOverUnreadableLock() {
    if (lock_->getLockInfo(nullptr, nullptr, nullptr))
        return false; // a readable holder that QLockFile found alive
    const QFileInfo info(lockPath_);
    if (!info.exists())
        return lock_->tryLock(0); // the holder has just ended
    const qint64 age = info.lastModified().msecsTo(QDateTime::currentDateTime());
    if (qAbs(age) < kUnreadableLockGraceMs)
        return false;
    // The same guard QLockFile takes, so two starting copies never remove it both.
    const QString removalPath = lockPath_ + QStringLiteral(".rmlock");
    ClearOddEntry(removalPath, S_IFREG);
    QLockFile removal(removalPath);
    if (!removal.tryLock(0))
        return false;
    if (lock_->getLockInfo(nullptr, nullptr, nullptr))
        return false;
    // Fails while a live holder keeps its native lock on the file.
    if (!lock_->removeStaleLockFile())
        return false;
    return lock_->tryLock(0);
}

bool SingleInstance::Listen(std::function<void()> onActivate) {
    if (state_ != State::Holder && state_ != State::Unguarded)
        return false;
    if (serverPath_.isEmpty())
        return false;
    if (!server_) {
        if (state_ == State::Holder)
            ClearOddEntry(serverPath_, S_IFSOCK);
        server_ = std::make_unique<ActivationServer>(std::move(onActivate));
        server_->SetClientTimeout(clientTimeout_);
        // Only the lock holder may clear a socket left by a copy that died; an unguarded
        // copy cannot know whether the socket is alive and leaves it alone.
        if (!server_->Listen(serverPath_, state_ == State::Holder)) {
            qWarning("Tessaly: cannot listen on %s: %s", qUtf8Printable(serverPath_),
                     qUtf8Printable(server_->errorString()));
            server_.reset();
            return false;
        }
    }
    return true;
}

bool SingleInstance::ActivatePrevInstance(std::chrono::milliseconds timeout) {
    if (state_ != State::Duplicate)
        return false;
    return SendActivationRequest(serverPath_, timeout);
}

void SingleInstance::SetClientTimeout(std::chrono::milliseconds timeout) {
    clientTimeout_ = timeout;
    if (server_)
        server_->SetClientTimeout(timeout);
}

void RestoreAndActivate(QWidget& window) {
    if (window.isMinimized())
        window.setWindowState(window.windowState() & ~Qt::WindowMinimized);
    window.raise();
    window.activateWindow();
}

QString DuplicateStartText(const QString& name) {
    return QString::fromStdString(Format("%s は二重起動できません", {name.toStdString()}));
}

QString ProgramFileTitle() {
    QString path;
    if (QCoreApplication::instance() != nullptr)
        path = QCoreApplication::applicationFilePath();
    if (path.isEmpty())
        path = QFileInfo(QStringLiteral("/proc/self/exe")).symLinkTarget();
    return QFileInfo(path).completeBaseName();
}

} // namespace tessaly
