#include "app/SecondCopy.h"

#include "app/Application.h"
#include "app/SingleInstance.h"
#include "ui/Dialogs.h"

#include <QGuiApplication>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <memory>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaly {
namespace {

// The exit code of the child that finds no screen.
constexpr int kNoScreen = 3;

// Passes Qt's messages on to the error stream, except the fatal one (no window system could
// be started), which ends the child quietly instead of with an abort.
void ProbeMessage(QtMsgType type, const QMessageLogContext& context, const QString& message) {
    if (type == QtFatalMsg)
        std::_Exit(kNoScreen);
    std::fputs(qPrintable(qFormatLogMessage(type, context, message) + QLatin1Char('\n')), stderr);
}

bool HasScreen(const QString& platform) {
    return platform != QLatin1String("offscreen") && platform != QLatin1String("minimal");
}

} // namespace

bool WindowsCanBeSeen(int argc, char** argv) {
    std::fflush(nullptr);
    const pid_t child = ::fork();
    if (child < 0)
        return false;
    if (child == 0) {
        qInstallMessageHandler(ProbeMessage);
        QGuiApplication gui(argc, argv);
        std::fflush(nullptr);
        std::_Exit(HasScreen(QGuiApplication::platformName()) ? 0 : kNoScreen);
    }
    int status = 0;
    while (::waitpid(child, &status, 0) < 0)
        if (errno != EINTR)
            return false;
    return WIFEXITED(status) && WEXITSTATUS(status) == 0;
}

int RunSecondCopy(SingleInstance& instance, int argc, char** argv) {
    const QString text = DuplicateStartText(instance.name());
    std::unique_ptr<QCoreApplication> app;
    if (WindowsCanBeSeen(argc, argv)) {
        app = std::make_unique<Application>(argc, argv);
        ShowBox(BoxKind::Plain, ProgramFileTitle(), text);
    } else {
        std::cerr << text.toStdString() << std::endl;
        app = std::make_unique<QCoreApplication>(argc, argv);
    }
    instance.ActivatePrevInstance();
    return 0;
}

} // namespace tessaly
