// The tessaly executable's own options: --help and --version print and end at once,
// without a window and without the single-instance lock; and the program's setup of Qt:
// the platform it asks for and Qt's own texts in Japanese.
#include "app/Application.h"
#include "tests/support/JpegFixtures.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialogButtonBox>
#include <QFileDialog>
#include <QLocale>
#include <QMessageBox>
#include <QProcess>
#include <QProcessEnvironment>
#include <QPushButton>
#include <gtest/gtest.h>
#include <initializer_list>
#include <utility>

namespace {

QProcessEnvironment Environment(const tessaly::fixtures::TempDir& runtime) {
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("XDG_RUNTIME_DIR"), QString::fromStdString(runtime.path().string()));
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    return env;
}

struct ProgramRun {
    int exitCode = -1; // -1 also when it did not end by itself
    QString out;
    QString err;
};

// Runs the program with the arguments, giving it a minute to end by itself (a cap against a
// hang, not a time it must keep).
ProgramRun RunProgram(const QStringList& arguments, const QProcessEnvironment& env) {
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TESSALY_PATH), arguments);
    if (!program.waitForFinished(60000)) {
        program.kill();
        program.waitForFinished();
        return {};
    }
    return {program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1,
            QString::fromUtf8(program.readAllStandardOutput()),
            QString::fromUtf8(program.readAllStandardError())};
}

// A stand-in for the running copy, holding the lock and listening: it prints "activated"
// for each request and ends when its input closes.
class FirstCopy {
public:
    explicit FirstCopy(const QProcessEnvironment& env) {
        probe_.setProcessEnvironment(env);
        probe_.start(QStringLiteral(INSTANCE_PROBE_PATH), {QStringLiteral("Tessaly")});
        if (!probe_.waitForReadyRead(30000) || probe_.readLine().trimmed() != "first")
            ADD_FAILURE() << "the first copy did not start";
    }
    // Ends it; returns what it printed.
    QByteArray End() {
        probe_.closeWriteChannel();
        EXPECT_TRUE(probe_.waitForFinished(30000));
        return probe_.readAll();
    }

private:
    QProcess probe_;
};

} // namespace

TEST(Program, HelpAndVersionPrintAndEndEvenWhileAnotherCopyRuns) {
    const tessaly::fixtures::TempDir runtime;
    const QProcessEnvironment env = Environment(runtime);
    // A first copy holds the lock: were --help to take the path of a second copy, it would
    // print nothing and ask the first copy to come forward.
    FirstCopy first(env);
    const ProgramRun help = RunProgram({QStringLiteral("--help")}, env);
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_TRUE(help.out.startsWith(QStringLiteral("Usage: tessaly"))) << help.out.toStdString();
    const ProgramRun version = RunProgram({QStringLiteral("--version")}, env);
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_EQ(version.out, QStringLiteral("tessaly 0.1.0\n"));
    EXPECT_FALSE(first.End().contains("activated")); // nobody asked it to come forward
}

// Regression: Qt's own options reached Qt before the second copy knew it was one, so
// "-display :999" ended it with an abort, and "-platform offscreen" left it waiting for ever
// at a box nobody could see.
TEST(Program, SecondCopyWithoutAScreenSaysSoOnTheErrorStreamAndStillReachesTheFirst) {
    const tessaly::fixtures::TempDir runtime;
    const QProcessEnvironment env = Environment(runtime);
    FirstCopy first(env);
    for (const QStringList& options :
         {QStringList{QStringLiteral("-platform"), QStringLiteral("offscreen")},
          QStringList{QStringLiteral("-platform"), QStringLiteral("xcb"),
                      QStringLiteral("-display"), QStringLiteral(":999")}}) {
        const ProgramRun second = RunProgram(options + QStringList{QStringLiteral("a.jpg")}, env);
        EXPECT_EQ(second.exitCode, 0) << options.join(u' ').toStdString();
        EXPECT_TRUE(second.err.contains(QStringLiteral("Tessaly は二重起動できません")))
            << second.err.toStdString();
    }
    EXPECT_EQ(first.End().count("activated"), 2);
}

namespace {

QByteArray PlatformFor(std::initializer_list<std::pair<const char*, const char*>> variables) {
    QProcessEnvironment env;
    for (const auto& [name, value] : variables)
        env.insert(QString::fromLatin1(name), QString::fromLatin1(value));
    return tessaly::PreferredPlatform(env);
}

} // namespace

TEST(ProgramSetup, RunsOnX11InAWaylandSessionUnlessAPlatformIsNamed) {
    // XWayland at hand: X11 first, Wayland only when that X server cannot be reached.
    EXPECT_EQ(PlatformFor({{"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}), "xcb;wayland");
    EXPECT_EQ(PlatformFor({{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "wayland"}}), "xcb;wayland");
    // An explicit choice wins, and without an X server Qt chooses as it would.
    EXPECT_EQ(
        PlatformFor(
            {{"QT_QPA_PLATFORM", "wayland"}, {"DISPLAY", ":0"}, {"WAYLAND_DISPLAY", "wayland-0"}}),
        "");
    EXPECT_EQ(PlatformFor({{"WAYLAND_DISPLAY", "wayland-0"}, {"XDG_SESSION_TYPE", "wayland"}}), "");
    EXPECT_EQ(PlatformFor({{"DISPLAY", ":0"}, {"XDG_SESSION_TYPE", "x11"}}), "");
    EXPECT_EQ(PlatformFor({}), "");
}

TEST(ProgramSetup, QtDialogsSpeakJapaneseWhateverTheLocale) {
    QLocale::setDefault(QLocale::c()); // an English-speaking locale must not matter
    ASSERT_TRUE(tessaly::InstallQtJapanese(*qApp)) << "qtbase_ja (qt6-translations-l10n)";

    QFileDialog dialog;
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setAcceptMode(QFileDialog::AcceptSave);
    EXPECT_EQ(dialog.windowTitle(), QStringLiteral("名前を付けて保存"));
    const auto* buttons = dialog.findChild<QDialogButtonBox*>();
    ASSERT_NE(buttons, nullptr);
    ASSERT_NE(buttons->button(QDialogButtonBox::Cancel), nullptr);
    EXPECT_EQ(buttons->button(QDialogButtonBox::Cancel)->text(), QStringLiteral("キャンセル"));

    // The buttons of the overwrite question.
    QMessageBox question(QMessageBox::Warning, QString(), QString(),
                         QMessageBox::Yes | QMessageBox::No);
    EXPECT_EQ(question.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    EXPECT_EQ(question.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
}
