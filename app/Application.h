// The application object. Event handlers catch their own exceptions (viewer/Guard.h);
// notify() is only the last-resort backstop for one that escapes anyway: it shows the
// error box and the program goes on.
#pragma once

#include <QApplication>

namespace tessaly {

class Application : public QApplication {
    Q_OBJECT
public:
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

} // namespace tessaly
