// The application object. Event handlers catch their own exceptions (viewer/Guard.h);
// notify() is only the last-resort backstop for one that escapes anyway: it shows the
// error box and the program goes on.
#pragma once

#include <QApplication>

namespace tessaly {

class Application : public QApplication {
    Q_OBJECT
public:
    // Also loads Qt's Japanese texts (InstallQtJapanese).
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;
};

// Loads Qt's own Japanese texts (qtbase_ja from Qt's translations folder) whatever the
// locale, so that Qt's dialogs and standard buttons speak Japanese like the rest of the
// program. Returns false, leaving Qt's English, when they are not installed.
bool InstallQtJapanese(QCoreApplication& app);

} // namespace tessaly
