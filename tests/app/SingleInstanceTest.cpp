#include "app/SingleInstance.h"

#include "tests/support/ScopedEnv.h"

#include <QApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>
#include <QWidget>
#include <atomic>
#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <functional>
#include <future>
#include <gtest/gtest.h>
#include <memory>
#include <optional>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace std::chrono_literals;
using tessaly::SingleInstance;
using tessaly::testing::ScopedEnv;

namespace {

// The guard keeps its lock and socket in the user's runtime folder; the tests give it a
// private one (inherited by the probe processes), removed when the tests end.
class PrivateRuntimeFolder : public ::testing::Environment {
public:
    void SetUp() override {
        folder_ = std::make_unique<QTemporaryDir>();
        ASSERT_TRUE(folder_->isValid());
        QFile::setPermissions(folder_->path(), QFileDevice::ReadOwner | QFileDevice::WriteOwner |
                                                   QFileDevice::ExeOwner);
        qputenv("XDG_RUNTIME_DIR", QFile::encodeName(folder_->path()));
    }
    void TearDown() override { folder_.reset(); }

private:
    std::unique_ptr<QTemporaryDir> folder_;
};
[[maybe_unused]] ::testing::Environment* const privateRuntimeFolder =
    ::testing::AddGlobalTestEnvironment(new PrivateRuntimeFolder);

// Every test uses its own instance name, so parallel runs never share a lock or socket.
QString UniqueName() {
    static int serial = 0;
    return QStringLiteral("TessalyTest-%1-%2").arg(::getpid()).arg(++serial);
}

// Serves events until pred holds or timeoutMs passes; returns pred's last answer. The time
// is only a cap against a hang, far above what anything takes on a busy machine.
bool WaitUntil(const std::function<bool()>& pred, int timeoutMs = 30000) {
    QElapsedTimer timer;
    timer.start();
    while (!pred()) {
        if (timer.elapsed() > timeoutMs)
            return false;
        QTest::qWait(5);
    }
    return true;
}

// A second copy's request sent from another thread while this thread serves the first
// copy's socket, as two processes would.
bool ActivateFromOtherThread(SingleInstance& second, std::chrono::milliseconds timeout = 20s) {
    auto result = std::async(std::launch::async,
                             [&second, timeout] { return second.ActivatePrevInstance(timeout); });
    WaitUntil([&result] { return result.wait_for(0ms) == std::future_status::ready; }, 60000);
    return result.get();
}

std::unique_ptr<QLocalSocket> Connect(const QString& path) {
    auto socket = std::make_unique<QLocalSocket>();
    socket->connectToServer(path);
    EXPECT_TRUE(socket->waitForConnected(1000)) << socket->errorString().toStdString();
    return socket;
}

void SetModified(const QString& path, const QDateTime& when) {
    QFile file(path);
    ASSERT_TRUE(file.open(QIODevice::ReadWrite));
    ASSERT_TRUE(file.setFileTime(when, QFileDevice::FileModificationTime));
}

} // namespace

TEST(SingleInstanceLock, FirstCopyHoldsItUntilItEnds) {
    const QString name = UniqueName();
    auto first = std::make_unique<SingleInstance>(name);
    EXPECT_FALSE(first->CheckPrevInstance());
    EXPECT_TRUE(first->holdsLock());
    EXPECT_TRUE(QFileInfo::exists(first->lockFilePath()));
    {
        SingleInstance second(name);
        EXPECT_TRUE(second.CheckPrevInstance());
        EXPECT_TRUE(second.CheckPrevInstance()) << "a repeated question gets the same answer";
        EXPECT_FALSE(second.holdsLock());
        EXPECT_FALSE(second.Listen([] {})) << "a second copy never takes over the socket";
    }
    // The refused copy ending must not release the first copy's lock.
    EXPECT_TRUE(SingleInstance(name).CheckPrevInstance());
    // However long the first copy has been running.
    SetModified(first->lockFilePath(), QDateTime::currentDateTime().addSecs(-3600));
    EXPECT_TRUE(SingleInstance(name).CheckPrevInstance());

    const QString lockPath = first->lockFilePath();
    first.reset();
    EXPECT_FALSE(QFileInfo::exists(lockPath));
    SingleInstance next(name);
    EXPECT_FALSE(next.CheckPrevInstance());
    EXPECT_TRUE(next.holdsLock());

    // Different instance names do not see each other.
    SingleInstance other(UniqueName());
    EXPECT_FALSE(other.CheckPrevInstance());
}

TEST(SingleInstanceLock, LockOfKilledCopyIsTakenOver) {
    const QString name = UniqueName();
    int ready[2];
    ASSERT_EQ(::pipe(ready), 0);
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::close(ready[0]);
        SingleInstance guard(name);
        const char answer = guard.CheckPrevInstance() ? 'S' : 'F';
        (void)!::write(ready[1], &answer, 1);
        for (;;)
            ::pause();
    }
    ::close(ready[1]);
    char answer = 0;
    ASSERT_EQ(::read(ready[0], &answer, 1), 1);
    ::close(ready[0]);
    EXPECT_EQ(answer, 'F');

    SingleInstance whileAlive(name);
    EXPECT_TRUE(whileAlive.CheckPrevInstance());

    ::kill(child, SIGKILL);
    ASSERT_EQ(::waitpid(child, nullptr, 0), child);
    SingleInstance next(name);
    ASSERT_TRUE(QFileInfo::exists(next.lockFilePath())) << "the killed copy left its lock";
    EXPECT_FALSE(next.CheckPrevInstance());
    EXPECT_TRUE(next.holdsLock());
}

TEST(SingleInstanceLock, LockFileWithoutProcessIdIsTakenOverOnlyWhenOldAndUnheld) {
    const QString name = UniqueName();
    const QString lockPath = SingleInstance(name).lockFilePath();
    const QByteArray nativePath = QFile::encodeName(lockPath);
    const int fd = ::open(nativePath.constData(), O_RDWR | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);

    // Fresh and empty: a copy may be between creating the file and writing its id.
    EXPECT_TRUE(SingleInstance(name).CheckPrevInstance());

    // Old and empty but natively locked: its holder is alive.
    SetModified(lockPath, QDateTime::currentDateTime().addSecs(-60));
    ASSERT_EQ(::flock(fd, LOCK_EX | LOCK_NB), 0);
    EXPECT_TRUE(SingleInstance(name).CheckPrevInstance());

    // Old, empty and unheld: left by a copy that died before writing; taken over.
    ::close(fd);
    SingleInstance guard(name);
    EXPECT_FALSE(guard.CheckPrevInstance());
    EXPECT_TRUE(guard.holdsLock());
    EXPECT_TRUE(SingleInstance(name).CheckPrevInstance());
}

TEST(SingleInstanceActivation, RequestReachesTheFirstCopy) {
    const QString name = UniqueName();
    SingleInstance first(name);
    ASSERT_FALSE(first.CheckPrevInstance());
    int activations = 0;
    ASSERT_TRUE(first.Listen([&activations] { ++activations; }));

    SingleInstance second(name);
    ASSERT_TRUE(second.CheckPrevInstance());
    EXPECT_TRUE(ActivateFromOtherThread(second));
    EXPECT_EQ(activations, 1);
    SingleInstance third(name);
    ASSERT_TRUE(third.CheckPrevInstance());
    EXPECT_TRUE(ActivateFromOtherThread(third));
    EXPECT_EQ(activations, 2);

    // The first copy itself has nobody to activate.
    EXPECT_FALSE(first.ActivatePrevInstance(100ms));
    EXPECT_EQ(activations, 2);
}

TEST(SingleInstanceActivation, SecondCopyWaitsBrieflyForTheFirstToListen) {
    const QString name = UniqueName();
    SingleInstance first(name);
    ASSERT_FALSE(first.CheckPrevInstance());
    SingleInstance second(name);
    ASSERT_TRUE(second.CheckPrevInstance());

    // Not listening at all: the request gives up when its time is up, and says so.
    EXPECT_FALSE(ActivateFromOtherThread(second, 300ms));

    // Listening only after the request has started, so that its first tries find no socket:
    // it keeps trying within its time and is delivered.
    int activations = 0;
    std::atomic<bool> started = false;
    auto result = std::async(std::launch::async, [&second, &started] {
        started = true;
        return second.ActivatePrevInstance(20s);
    });
    ASSERT_TRUE(WaitUntil([&started] { return started.load(); }));
    ASSERT_TRUE(first.Listen([&activations] { ++activations; }));
    WaitUntil([&result] { return result.wait_for(0ms) == std::future_status::ready; }, 60000);
    EXPECT_TRUE(result.get());
    EXPECT_EQ(activations, 1);
}

TEST(SingleInstanceActivation, BadClientsNeverBlockTheFirstCopy) {
    const QString name = UniqueName();
    SingleInstance first(name);
    ASSERT_FALSE(first.CheckPrevInstance());
    // Far longer than a request may take: a copy that served the bad clients first, each
    // until its time is up, would let the real request below run out of time.
    first.SetClientTimeout(120s);
    int activations = 0;
    ASSERT_TRUE(first.Listen([&activations] { ++activations; }));

    auto silent = Connect(first.serverPath());
    auto garbage = Connect(first.serverPath());
    garbage->write("hello\n");
    auto oversized = Connect(first.serverPath());
    oversized->write(QByteArray(100'000, 'x'));
    auto partial = Connect(first.serverPath());
    partial->write("activ");
    auto wrongCase = Connect(first.serverPath());
    wrongCase->write("ACTIVATE\n");
    for (QLocalSocket* client : {garbage.get(), oversized.get(), partial.get(), wrongCase.get()})
        client->waitForBytesWritten(30000);

    // With them connected, a real request goes through well within its own time.
    SingleInstance second(name);
    ASSERT_TRUE(second.CheckPrevInstance());
    EXPECT_TRUE(ActivateFromOtherThread(second));
    EXPECT_EQ(activations, 1);

    // Wrong and oversized requests are cut off, long before the client timeout.
    for (QLocalSocket* client : {garbage.get(), oversized.get(), wrongCase.get()}) {
        EXPECT_TRUE(WaitUntil(
            [client] { return client->state() == QLocalSocket::UnconnectedState; }, 60000))
            << "a bad request was not cut off";
    }
    EXPECT_EQ(silent->state(), QLocalSocket::ConnectedState);
    EXPECT_EQ(partial->state(), QLocalSocket::ConnectedState);
    EXPECT_EQ(activations, 1) << "no bad client may count as a request";

    // Quiet and unfinished clients are dropped when their time is up.
    first.SetClientTimeout(200ms);
    auto lateSilent = Connect(first.serverPath());
    auto latePartial = Connect(first.serverPath());
    latePartial->write("activate");
    for (QLocalSocket* client : {lateSilent.get(), latePartial.get()}) {
        EXPECT_TRUE(WaitUntil([client] {
            return client->state() == QLocalSocket::UnconnectedState;
        })) << "an idle client was never dropped";
    }

    // And the first copy still answers afterwards.
    EXPECT_TRUE(ActivateFromOtherThread(second));
    EXPECT_EQ(activations, 2);
}

TEST(SingleInstanceActivation, FloodOfIdleClientsDoesNotShutOutARealRequest) {
    const QString name = UniqueName();
    SingleInstance first(name);
    ASSERT_FALSE(first.CheckPrevInstance());
    first.SetClientTimeout(120s); // longer than the wait below: only making room drops them
    int activations = 0;
    ASSERT_TRUE(first.Listen([&activations] { ++activations; }));

    std::vector<std::unique_ptr<QLocalSocket>> idle;
    for (int i = 0; i < 40; ++i)
        idle.push_back(Connect(first.serverPath()));
    // The oldest idle clients make room for the newer ones: the first copy is full of them.
    EXPECT_TRUE(
        WaitUntil([&idle] { return idle.front()->state() == QLocalSocket::UnconnectedState; }));

    SingleInstance second(name);
    ASSERT_TRUE(second.CheckPrevInstance());
    EXPECT_TRUE(ActivateFromOtherThread(second));
    EXPECT_EQ(activations, 1);
}

TEST(SingleInstanceWindow, RestoreAndActivateBringsAMinimisedWindowBack) {
    QWidget window;
    window.resize(200, 100);
    window.show();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&window));
    QWidget other;
    other.resize(100, 100);
    other.show();
    other.activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&other));

    window.setWindowState(Qt::WindowMinimized);
    ASSERT_TRUE(window.isMinimized());
    tessaly::RestoreAndActivate(window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(WaitUntil([&window] { return QApplication::activeWindow() == &window; }));

    // A maximised window that was minimised comes back maximised.
    window.setWindowState(Qt::WindowMaximized | Qt::WindowMinimized);
    tessaly::RestoreAndActivate(window);
    EXPECT_FALSE(window.isMinimized());
    EXPECT_TRUE(window.isMaximized());
}

TEST(SingleInstanceTexts, DuplicateStartBox) {
    EXPECT_EQ(tessaly::DuplicateStartText(QStringLiteral("Tessaly")),
              QStringLiteral("Tessaly は二重起動できません"));
    // The box's title is the program file's own name.
    EXPECT_EQ(tessaly::ProgramFileTitle(), QStringLiteral("app_tests"));
}

// ---- Several processes ---------------------------------------------------------------

namespace {

// One copy of the probe program; a first copy ends when its input is closed.
class Probe {
public:
    explicit Probe(const QString& name) {
        process_.setProgram(QStringLiteral(INSTANCE_PROBE_PATH));
        process_.setArguments({name});
        process_.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process_.start();
    }
    ~Probe() {
        process_.closeWriteChannel();
        if (!process_.waitForFinished(30000)) {
            process_.kill();
            process_.waitForFinished(30000);
        }
    }
    Probe(const Probe&) = delete;
    Probe& operator=(const Probe&) = delete;

    // The next line the probe prints, or "" when none comes in time.
    QString ReadLine(int timeoutMs = 30000) {
        QElapsedTimer timer;
        timer.start();
        while (!process_.canReadLine()) {
            const qint64 left = timeoutMs - timer.elapsed();
            if (left <= 0 || !process_.waitForReadyRead(static_cast<int>(left)))
                return process_.canReadLine() ? ReadLine(0) : QString();
        }
        return QString::fromUtf8(process_.readLine()).trimmed();
    }
    // Ends a first copy normally; returns its exit code (-1 when it did not end).
    int End() {
        process_.closeWriteChannel();
        return Finish();
    }
    int Finish() {
        if (!process_.waitForFinished(30000) || process_.exitStatus() != QProcess::NormalExit)
            return -1;
        return process_.exitCode();
    }
    QProcess& process() { return process_; }

private:
    QProcess process_;
};

} // namespace

TEST(SingleInstanceProcesses, SecondCopyActivatesTheFirstAndEnds) {
    const QString name = UniqueName();
    {
        Probe first(name);
        ASSERT_EQ(first.ReadLine(), QStringLiteral("first"));
        Probe second(name);
        EXPECT_EQ(second.ReadLine(), QStringLiteral("second delivered"));
        EXPECT_EQ(second.Finish(), 0);
        EXPECT_EQ(first.ReadLine(), QStringLiteral("activated"));
        EXPECT_EQ(first.End(), 0);
    }
    // After the first copy has ended, a new start is the first copy again.
    Probe again(name);
    EXPECT_EQ(again.ReadLine(), QStringLiteral("first"));
    EXPECT_EQ(again.End(), 0);
}

TEST(SingleInstanceProcesses, OfTenStartedAtOnceExactlyOneIsFirst) {
    const QString name = UniqueName();
    std::vector<std::unique_ptr<Probe>> probes;
    for (int i = 0; i < 10; ++i)
        probes.push_back(std::make_unique<Probe>(name));

    Probe* first = nullptr;
    int firsts = 0;
    int delivered = 0;
    for (auto& probe : probes) {
        const QString line = probe->ReadLine();
        if (line == QStringLiteral("first")) {
            ++firsts;
            first = probe.get();
        } else {
            EXPECT_EQ(line, QStringLiteral("second delivered"));
            EXPECT_EQ(probe->Finish(), 0);
            delivered += line == QStringLiteral("second delivered") ? 1 : 0;
        }
    }
    EXPECT_EQ(firsts, 1);
    EXPECT_EQ(delivered, 9);
    ASSERT_NE(first, nullptr);
    for (int i = 0; i < delivered; ++i)
        EXPECT_EQ(first->ReadLine(), QStringLiteral("activated"));
    EXPECT_EQ(first->End(), 0);
}

TEST(SingleInstanceProcesses, CopyKilledWithSigkillDoesNotBlockTheNextStart) {
    const QString name = UniqueName();
    const SingleInstance paths(name);
    {
        Probe killed(name);
        ASSERT_EQ(killed.ReadLine(), QStringLiteral("first"));
        killed.process().kill(); // SIGKILL
        ASSERT_TRUE(killed.process().waitForFinished(3000));
    }
    ASSERT_TRUE(QFileInfo::exists(paths.lockFilePath()));
    ASSERT_TRUE(QFileInfo::exists(paths.serverPath()));

    Probe next(name);
    EXPECT_EQ(next.ReadLine(), QStringLiteral("first"));
    Probe second(name);
    EXPECT_EQ(second.ReadLine(), QStringLiteral("second delivered"));
    EXPECT_EQ(second.Finish(), 0);
    EXPECT_EQ(next.ReadLine(), QStringLiteral("activated"));
    EXPECT_EQ(next.End(), 0);
    EXPECT_FALSE(QFileInfo::exists(paths.lockFilePath()));
}

// ---- Where the lock lives, and what may be found there -------------------------------

namespace {

QByteArray Native(const QString& path) {
    return QFile::encodeName(path);
}

bool MakeFolder(const QString& path, mode_t mode) {
    return ::mkdir(Native(path).constData(), 0700) == 0 &&
           ::chmod(Native(path).constData(), mode) == 0;
}

// Whether path is a real folder of ours with mode 0700.
bool IsPrivate(const QString& path) {
    struct stat st {};
    return ::lstat(Native(path).constData(), &st) == 0 && S_ISDIR(st.st_mode) &&
           st.st_uid == ::geteuid() && (st.st_mode & 0777) == 0700;
}

QString FolderOf(const QString& path) {
    return QFileInfo(path).absolutePath();
}

// Someone else's user id, for what only the superuser can give away.
constexpr uid_t kOtherUser = 65534;
bool IsSuperuser() {
    return ::geteuid() == 0;
}

} // namespace

TEST(SingleInstanceFolder, LockAndSocketLiveOnlyInAFolderNoOtherUserCanWrite) {
    const QTemporaryDir scratch;
    ASSERT_TRUE(scratch.isValid());
    const QString shared = scratch.path() + QStringLiteral("/tmp"); // like /tmp: open to all
    const QString cache = scratch.path() + QStringLiteral("/cache");
    ASSERT_TRUE(MakeFolder(shared, 01777));
    const ScopedEnv tmpdir("TMPDIR", Native(shared).toStdString());
    const ScopedEnv cacheHome("XDG_CACHE_HOME", Native(cache).toStdString());
    const QString own = QStringLiteral("/tessaly-%1").arg(::geteuid());
    const QString name = UniqueName();

    // The user's own runtime folder.
    EXPECT_EQ(FolderOf(SingleInstance(name).lockFilePath()),
              qEnvironmentVariable("XDG_RUNTIME_DIR"));

    // A runtime folder others may enter or that is not ours, or none: a private folder in the
    // temp folder, where a lock planted straight in the temp folder does not matter.
    const QString open = scratch.path() + QStringLiteral("/runtime-open");
    ASSERT_TRUE(MakeFolder(open, 0755));
    std::vector<std::optional<QString>> runtimes = {open, std::nullopt, QStringLiteral("rel")};
    if (IsSuperuser()) {
        const QString others = scratch.path() + QStringLiteral("/runtime-others");
        ASSERT_TRUE(MakeFolder(others, 0700));
        ASSERT_EQ(::chown(Native(others).constData(), kOtherUser, kOtherUser), 0);
        runtimes.push_back(others);
    }
    QLockFile planted(shared + QLatin1Char('/') +
                      QFileInfo(SingleInstance(name).lockFilePath()).fileName());
    ASSERT_TRUE(planted.tryLock(0)) << "a live lock of another copy";
    for (const auto& runtime : runtimes) {
        const ScopedEnv runtimeDir("XDG_RUNTIME_DIR",
                                   runtime ? std::optional(Native(*runtime).toStdString())
                                           : std::nullopt);
        SingleInstance guard(name);
        EXPECT_EQ(FolderOf(guard.lockFilePath()), shared + own);
        EXPECT_EQ(FolderOf(guard.serverPath()), shared + own);
        EXPECT_TRUE(IsPrivate(shared + own));
        EXPECT_FALSE(guard.CheckPrevInstance());
        EXPECT_TRUE(guard.holdsLock());
    }
    const ScopedEnv noRuntime("XDG_RUNTIME_DIR");

    // That name taken in the temp folder by something that is not a private folder of ours:
    // a private folder in the cache folder instead.
    ASSERT_TRUE(QDir(shared + own).removeRecursively());
    const QString elsewhere = scratch.path() + QStringLiteral("/elsewhere");
    ASSERT_TRUE(MakeFolder(elsewhere, 0700));
    std::vector<std::function<bool()>> takers = {
        [&] {
            return ::symlink(Native(elsewhere).constData(), Native(shared + own).constData()) == 0;
        },
        [&] { return MakeFolder(shared + own, 0777); },
    };
    if (IsSuperuser())
        takers.push_back([&] {
            return MakeFolder(shared + own, 0700) &&
                   ::chown(Native(shared + own).constData(), kOtherUser, kOtherUser) == 0;
        });
    for (const auto& take : takers) {
        ASSERT_TRUE(take());
        SingleInstance guard(name);
        EXPECT_EQ(FolderOf(guard.lockFilePath()), cache + own);
        EXPECT_TRUE(IsPrivate(cache + own));
        EXPECT_FALSE(guard.CheckPrevInstance());
        EXPECT_TRUE(guard.holdsLock());
        ::unlink(Native(shared + own).constData());
        ::rmdir(Native(shared + own).constData());
    }

    // No private folder anywhere: the program runs, unguarded.
    ASSERT_TRUE(MakeFolder(shared + own, 0777));
    ASSERT_TRUE(QDir(cache + own).removeRecursively());
    ASSERT_TRUE(MakeFolder(cache + own, 0777));
    SingleInstance unguarded(name);
    EXPECT_FALSE(unguarded.CheckPrevInstance());
    EXPECT_FALSE(unguarded.holdsLock());
    EXPECT_FALSE(unguarded.Listen([] {}));
}

TEST(SingleInstanceLock, OddEntriesWhereTheLockBelongsAreClearedNotWaitedOn) {
    const QString name = UniqueName();
    const SingleInstance paths(name);
    const QByteArray lock = Native(paths.lockFilePath());
    const QTemporaryDir elsewhere;
    ASSERT_TRUE(elsewhere.isValid());
    const QByteArray target = Native(elsewhere.filePath(QStringLiteral("kept")));
    {
        QFile file(QFile::decodeName(target));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly));
        file.write("not a lock");
    }

    struct Case {
        const char* what;
        std::function<bool()> plant;
    };
    std::vector<Case> cases = {
        {"a pipe, which would block the reading of the lock",
         [&] { return ::mkfifo(lock.constData(), 0600) == 0; }},
        {"an empty folder", [&] { return ::mkdir(lock.constData(), 0700) == 0; }},
        {"a folder with something in it",
         [&] {
             return ::mkdir(lock.constData(), 0700) == 0 &&
                    ::mkdir((lock + "/inside").constData(), 0700) == 0;
         }},
        {"a dangling link", [&] { return ::symlink("/nonexistent/lock", lock.constData()) == 0; }},
        {"a link to a file elsewhere",
         [&] { return ::symlink(target.constData(), lock.constData()) == 0; }},
        {"an old lock without a process id and a pipe where its removal is guarded",
         [&] {
             QFile file(QFile::decodeName(lock));
             return file.open(QIODevice::WriteOnly) &&
                    file.setFileTime(QDateTime::currentDateTime().addSecs(-60),
                                     QFileDevice::FileModificationTime) &&
                    ::mkfifo((lock + ".rmlock").constData(), 0600) == 0;
         }},
        {"a folder where the socket belongs",
         [&] { return ::mkdir(Native(paths.serverPath()).constData(), 0700) == 0; }},
    };
    std::unique_ptr<QLockFile> othersLock;
    if (IsSuperuser())
        cases.push_back({"a live lock that another user owns", [&] {
                             othersLock = std::make_unique<QLockFile>(QFile::decodeName(lock));
                             return othersLock->tryLock(0) &&
                                    ::chown(lock.constData(), kOtherUser, kOtherUser) == 0;
                         }});

    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        for (const QString& path : {paths.lockFilePath(), paths.serverPath()}) {
            QFile::remove(path); // whatever an earlier case may have left
            QDir(path).removeRecursively();
        }
        ASSERT_TRUE(c.plant());
        {
            Probe probe(name);
            EXPECT_EQ(probe.ReadLine(), QStringLiteral("first"));
            Probe second(name);
            EXPECT_EQ(second.ReadLine(), QStringLiteral("second delivered"));
            EXPECT_EQ(probe.End(), 0);
        }
        othersLock.reset();
        // Only what sat at the lock's place went: a link's target and a folder's contents stay.
        EXPECT_TRUE(QFileInfo::exists(QFile::decodeName(target)));
        const QStringList aside = QDir(FolderOf(paths.lockFilePath()))
                                      .entryList({QFileInfo(paths.lockFilePath()).fileName() +
                                                  QStringLiteral(".moved-*")});
        for (const QString& moved : aside) {
            const QString path = FolderOf(paths.lockFilePath()) + QLatin1Char('/') + moved;
            EXPECT_TRUE(QFileInfo::exists(path + QStringLiteral("/inside")));
            QDir(path).removeRecursively();
        }
        ::unlink((lock + ".rmlock").constData());
    }
}
