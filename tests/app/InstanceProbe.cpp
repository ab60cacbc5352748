// A stand-in for the program's start-up, for the multi-process tests of the instance guard.
//
//   instance_probe NAME
//
// A second copy asks the running one to come forward, prints "second delivered" or
// "second undelivered" and exits 0. The first copy prints "first" once it listens, prints
// "activated" for every request and ends (releasing the lock) when its standard input
// closes, or after 60 s so that a forgotten probe does not linger.
#include "app/SingleInstance.h"

#include <QCoreApplication>
#include <QSocketNotifier>
#include <QTimer>
#include <cstdio>
#include <unistd.h>

namespace {

void Say(const char* line) {
    std::fputs(line, stdout);
    std::fputc('\n', stdout);
    std::fflush(stdout);
}

} // namespace

int main(int argc, char** argv) {
    QCoreApplication app(argc, argv);
    if (argc != 2) {
        std::fputs("usage: instance_probe NAME\n", stderr);
        return 2;
    }
    tessaly::SingleInstance guard(QString::fromLocal8Bit(argv[1]));
    if (guard.CheckPrevInstance()) {
        Say(guard.ActivatePrevInstance() ? "second delivered" : "second undelivered");
        return 0;
    }
    if (!guard.Listen([] { Say("activated"); }))
        Say("not listening");
    Say("first");

    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&input] {
        char buffer[256];
        if (::read(STDIN_FILENO, buffer, sizeof buffer) <= 0) {
            input.setEnabled(false);
            QCoreApplication::quit();
        }
    });
    QTimer::singleShot(60'000, &app, &QCoreApplication::quit);
    return app.exec();
}
