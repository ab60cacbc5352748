// The application object. Event handlers catch their own exceptions (ui/Guard.h);
// notify() is only the last-resort backstop for one that escapes anyway: it shows the
// error box and the program goes on.
#pragma once

#include "colour/DisplayColours.h"

#include <QApplication>
#include <QByteArray>

class QProcessEnvironment;

namespace tessaly {

class Application : public QApplication {
    Q_OBJECT
public:
    // Also loads Qt's Japanese texts (InstallQtJapanese).
    Application(int& argc, char** argv);
    bool notify(QObject* receiver, QEvent* event) override;

    // The display's colours, for every window: sRGB until ReadDisplayProfile.
    DisplayColours& Colours() { return colours_; }
    // Reads the display's profile from the X server (ui/DisplayProfile.h) and hands it to the
    // colours, which link it on their worker: no window waits for it. One that cannot be used
    // is reported on the error stream, and the display taken as sRGB.
    void ReadDisplayProfile();

private:
    DisplayColours colours_;
};

// The Qt platform to ask for, given the environment, or empty to leave the choice to Qt.
// The program places its windows, keeps pick windows on top and raises the running copy's
// window from a second copy; a Wayland client may do none of that. So in a Wayland session
// with an X server at hand (DISPLAY, e.g. XWayland) it runs on X11, falling back to Wayland
// when that server cannot be reached. An explicit QT_QPA_PLATFORM always wins.
QByteArray PreferredPlatform(const QProcessEnvironment& env);

// Loads Qt's own Japanese texts (qtbase_ja from Qt's translations folder) whatever the
// locale, so that Qt's dialogs and standard buttons speak Japanese like the rest of the
// program. Returns false, leaving Qt's English, when they are not installed.
bool InstallQtJapanese(QCoreApplication& app);

} // namespace tessaly
