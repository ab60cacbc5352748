// Only one copy of the program runs per user. The running copy holds a lock file in a
// folder only this user can write (see InstanceDirectory) for its whole run and listens on a
// per-user local socket; a second copy finds the lock taken, asks the running copy through the
// socket to restore and raise its main window, and ends. A lock left by a copy that was killed is
// recognised by its dead process and taken over.
#pragma once

#include <QObject>
#include <QString>
#include <chrono>
#include <functional>
#include <memory>

class QLockFile;
class QWidget;

namespace tessaly {

class ActivationServer;

class SingleInstance : public QObject {
public:
    explicit SingleInstance(QString name = QStringLiteral("Tessaly"), QObject* parent = nullptr);
    ~SingleInstance() override;

    SingleInstance(const SingleInstance&) = delete;
    SingleInstance& operator=(const SingleInstance&) = delete;

    // True when another copy runs (this one did not get the lock). On false this copy holds
    // the lock from now until the object dies, or, when the lock cannot be created at all
    // (no private folder), goes on unguarded as the first copy. Later calls repeat the
    // first answer. A pipe, folder, link or another owner's file at the lock's place is
    // cleared first rather than waited on or taken for a running copy.
    bool CheckPrevInstance();

    // First copy: starts listening; each valid request runs onActivate on this thread.
    // Returns false when this copy is a second copy or the socket cannot be opened (the
    // program then simply cannot be brought forward by a second copy).
    bool Listen(std::function<void()> onActivate);

    // Second copy: asks the running copy to restore and activate its window. Best effort:
    // retries while the running copy has the lock but does not listen yet, for at most
    // timeout. Returns whether the running copy acknowledged the request.
    bool ActivatePrevInstance(std::chrono::milliseconds timeout = std::chrono::seconds(2));

    const QString& name() const { return name_; }
    bool holdsLock() const;
    QString lockFilePath() const { return lockPath_; }
    QString serverPath() const { return serverPath_; }

    // How long a client of the running copy may take to send its request (default 1 s).
    void SetClientTimeout(std::chrono::milliseconds timeout);

private:
    enum class State { Unchecked, Holder, Duplicate, Unguarded };

    bool TakeOverUnreadableLock();

    QString name_;
    QString lockPath_;
    QString serverPath_;
    State state_ = State::Unchecked;
    std::chrono::milliseconds clientTimeout_{1000};
    std::unique_ptr<QLockFile> lock_;
    // Declared after the lock so that the socket closes before the lock is released.
    std::unique_ptr<ActivationServer> server_;
};

// The folder of the lock and the socket, always a real folder of this user's with mode 0700,
// so that no other user can plant a lock that stops the program from starting: the user's
// runtime folder when it is such a folder, else "tessaly-<uid>" in the temp folder, else
// "tessaly-<uid>" in the user's cache folder (each created when missing). Empty when none of
// them is private; the program then runs unguarded.
QString InstanceDirectory();

// Restores a minimised window (keeping it maximised if it was) and brings it to the front.
void RestoreAndActivate(QWidget& window);

// The duplicate-start text: "<name> は二重起動できません".
QString DuplicateStartText(const QString& name);

// The title of the duplicate-start box: the program file's name without its extension.
QString ProgramFileTitle();

} // namespace tessaly
