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
#include <QPushButton>
#include <QProcess>
#include <QProcessEnvironment>
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

// Runs the program with the arguments; returns its standard output, or "" when it did not
// end by itself within five seconds.
QString RunProgram(const QStringList& arguments, const QProcessEnvironment& env, int* exitCode) {
    QProcess program;
    program.setProcessEnvironment(env);
    program.start(QStringLiteral(TESSALY_PATH), arguments);
    if (!program.waitForFinished(5000)) {
        program.kill();
        program.waitForFinished();
        return {};
    }
    *exitCode = program.exitStatus() == QProcess::NormalExit ? program.exitCode() : -1;
    return QString::fromUtf8(program.readAllStandardOutput());
}

} // namespace

TEST(Program, HelpAndVersionPrintAndEndEvenWhileAnotherCopyRuns) {
    const tessaly::fixtures::TempDir runtime;
    const QProcessEnvironment env = Environment(runtime);
    // A first copy holds the lock: were --help to take the path of a second copy, it would
    // stop at the duplicate-start box and never end.
    QProcess first;
    first.setProcessEnvironment(env);
    first.start(QStringLiteral(INSTANCE_PROBE_PATH), {QStringLiteral("Tessaly")});
    ASSERT_TRUE(first.waitForReadyRead(5000));
    ASSERT_EQ(first.readLine().trimmed(), QByteArray("first"));

    int code = -1;
    const QString help = RunProgram({QStringLiteral("--help")}, env, &code);
    EXPECT_EQ(code, 0);
    EXPECT_TRUE(help.startsWith(QStringLiteral("Usage: tessaly"))) << help.toStdString();
    const QString version = RunProgram({QStringLiteral("--version")}, env, &code);
    EXPECT_EQ(code, 0);
    EXPECT_EQ(version, QStringLiteral("tessaly 0.1.0\n"));

    first.closeWriteChannel();
    ASSERT_TRUE(first.waitForFinished(5000));
    EXPECT_FALSE(first.readAll().contains("activated")); // nobody asked it to come forward
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
