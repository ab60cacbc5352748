// The tessaly executable's own options: --help and --version print and end at once,
// without a window and without the single-instance lock.
#include "tests/support/JpegFixtures.h"

#include <QProcess>
#include <QProcessEnvironment>
#include <gtest/gtest.h>

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
