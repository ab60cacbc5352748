#include "app/SingleInstance.h"

#include "app/ActivationChannel.h"
#include "base/Format.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QStandardPaths>
#include <QWidget>
#include <QtGlobal>
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

} // namespace

QString InstanceDirectory() {
    QString dir = QStandardPaths::writableLocation(QStandardPaths::RuntimeLocation);
    if (dir.isEmpty() || !QDir().mkpath(dir))
        dir = QDir::tempPath();
    return dir;
}

SingleInstance::SingleInstance(QString name, QObject* parent)
    : QObject(parent), name_(std::move(name)) {
    const QString base = InstanceDirectory() + QLatin1Char('/') + PerUserName(name_);
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
    return lock_->isLocked();
}

bool SingleInstance::CheckPrevInstance() {
    if (state_ == State::Unchecked) {
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
    QLockFile removal(lockPath_ + QStringLiteral(".rmlock"));
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
    if (!server_) {
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
