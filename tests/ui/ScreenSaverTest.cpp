// The screen kept awake: Inhibit and UnInhibit reach a ScreenSaver service on a session bus of
// the test's own (a private dbus-daemon; skipped where none can be started), also when the hold
// ends before the service has answered, and when the holder goes away.
#include "ui/ScreenSaverInhibitor.h"

#include <QDBusConnection>
#include <QObject>
#include <QProcess>
#include <QStandardPaths>
#include <QTest>
#include <functional>
#include <gtest/gtest.h>
#include <vector>

namespace {

// A ScreenSaver service that hands out cookies and records the calls.
class FakeScreenSaver : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "org.freedesktop.ScreenSaver")
public:
    std::vector<QString> inhibitors; // application and reason of each Inhibit
    std::vector<uint> released;      // the cookies given back
    uint nextCookie = 41;

public slots:
    uint Inhibit(const QString& application, const QString& reason) {
        inhibitors.push_back(application + QLatin1Char('/') + reason);
        return ++nextCookie;
    }
    void UnInhibit(uint cookie) { released.push_back(cookie); }
};

class ScreenSaverTest : public ::testing::Test {
protected:
    void SetUp() override {
        const QString daemon = QStandardPaths::findExecutable(QStringLiteral("dbus-daemon"));
        if (daemon.isEmpty())
            GTEST_SKIP() << "no dbus-daemon";
        bus_.start(daemon, {QStringLiteral("--session"), QStringLiteral("--nofork"),
                            QStringLiteral("--print-address=1")});
        if (!bus_.waitForStarted() ||
            !Until([this] { return bus_.canReadLine() || bus_.state() == QProcess::NotRunning; }) ||
            !bus_.canReadLine())
            GTEST_SKIP() << "dbus-daemon did not start";
        address_ = QString::fromUtf8(bus_.readLine()).trimmed();
        QDBusConnection service =
            QDBusConnection::connectToBus(address_, QStringLiteral("service"));
        if (!service.isConnected())
            GTEST_SKIP() << "no connection to the test's bus";
        ASSERT_TRUE(service.registerObject(QStringLiteral("/org/freedesktop/ScreenSaver"), &fake_,
                                           QDBusConnection::ExportAllSlots));
        ASSERT_TRUE(service.registerService(QStringLiteral("org.freedesktop.ScreenSaver")));
    }
    void TearDown() override {
        QDBusConnection::disconnectFromBus(QStringLiteral("viewer"));
        QDBusConnection::disconnectFromBus(QStringLiteral("service"));
        if (bus_.state() != QProcess::NotRunning) {
            bus_.kill();
            bus_.waitForFinished();
        }
    }
    QDBusConnection Viewer() const {
        return QDBusConnection::connectToBus(address_, QStringLiteral("viewer"));
    }
    static bool Until(const std::function<bool()>& condition) {
        return QTest::qWaitFor(condition, 20000);
    }

    QProcess bus_;
    QString address_;
    FakeScreenSaver fake_;
};

TEST_F(ScreenSaverTest, HoldInhibitsOnceAndLettingGoGivesTheCookieBack) {
    tessaly::ScreenSaverInhibitor inhibitor(QStringLiteral("Slideshow"), Viewer());
    inhibitor.Hold(true);
    inhibitor.Hold(true);
    ASSERT_TRUE(Until([this] { return !fake_.inhibitors.empty(); }));
    inhibitor.Hold(false);
    ASSERT_TRUE(Until([this] { return !fake_.released.empty(); }));
    EXPECT_EQ(fake_.inhibitors, std::vector<QString>{QStringLiteral("Tessaly/Slideshow")});
    EXPECT_EQ(fake_.released, std::vector<uint>{42});

    // Held again, and the holder gone while the service's hold is in force: given back too.
    {
        tessaly::ScreenSaverInhibitor second(QStringLiteral("Slideshow"), Viewer());
        second.Hold(true);
        ASSERT_TRUE(Until([&second] { return second.InForce(); }));
    }
    ASSERT_TRUE(Until([this] { return fake_.released.size() == 2; }));
    EXPECT_EQ(fake_.released[1], 43U);
}

TEST_F(ScreenSaverTest, AHoldEndedBeforeTheServiceAnsweredIsGivenBackWhenItAnswers) {
    tessaly::ScreenSaverInhibitor inhibitor(QStringLiteral("Slideshow"), Viewer());
    inhibitor.Hold(true);
    inhibitor.Hold(false); // before the reply has come
    ASSERT_TRUE(Until([this] { return !fake_.released.empty(); }));
    EXPECT_EQ(fake_.inhibitors.size(), 1U);
    EXPECT_EQ(fake_.released, std::vector<uint>{42});
}

TEST(ScreenSaverWithoutBusTest, NothingHappensWithoutASessionBus) {
    tessaly::ScreenSaverInhibitor inhibitor(QStringLiteral("Slideshow"),
                                            QDBusConnection(QStringLiteral("no bus")));
    inhibitor.Hold(true);
    EXPECT_TRUE(inhibitor.Held());
    inhibitor.Hold(false);
    EXPECT_FALSE(inhibitor.Held());
}

} // namespace

#include "ScreenSaverTest.moc"
