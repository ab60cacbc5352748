#include "app/Application.h"

#include "ui/DisplayProfile.h"
#include "ui/Guard.h"

#include <QLibraryInfo>
#include <QLoggingCategory>
#include <QProcessEnvironment>
#include <QTranslator>
#include <iostream>
#include <memory>

namespace tessaly {

namespace {

// Qt reads colour profiles itself (the display's, as its X11 platform starts; those of images
// it loads, icons and the save dialog's previews) and complains of every one it cannot use;
// the program converts colours with its own profiles and reports what it refuses. Silenced
// before Qt starts, for the display's.
int& QtColourWarningsOff(int& argc) {
    QLoggingCategory::setFilterRules(QStringLiteral("qt.gui.icc=false"));
    return argc;
}

} // namespace

Application::Application(int& argc, char** argv) : QApplication(QtColourWarningsOff(argc), argv) {
    if (!InstallQtJapanese(*this))
        qWarning("Tessaly: Qt's Japanese texts (qtbase_ja) are not installed");
}

void Application::ReadDisplayProfile() {
    std::vector<std::uint8_t> profile;
    try {
        profile = DisplayProfile();
    } catch (const DisplayProfileTooLarge& e) {
        std::cerr << "tessaly: " << e.what() << "\n";
        return;
    }
    if (profile.empty())
        return;
    // Linked on the colours' worker: the windows show pictures in sRGB until it is done.
    colours_.SetDisplayProfileSoon(std::move(profile), [](const std::string& problem) {
        if (!problem.empty())
            std::cerr << "tessaly: " + problem + "\n";
    });
}

bool Application::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    Guarded([&] { result = QApplication::notify(receiver, event); });
    return result;
}

QByteArray PreferredPlatform(const QProcessEnvironment& env) {
    if (!env.value(QStringLiteral("QT_QPA_PLATFORM")).isEmpty())
        return {};
    if (env.value(QStringLiteral("DISPLAY")).isEmpty())
        return {};
    const bool wayland = !env.value(QStringLiteral("WAYLAND_DISPLAY")).isEmpty() ||
                         env.value(QStringLiteral("XDG_SESSION_TYPE")) == QLatin1String("wayland");
    return wayland ? QByteArrayLiteral("xcb;wayland") : QByteArray();
}

bool InstallQtJapanese(QCoreApplication& app) {
    auto translator = std::make_unique<QTranslator>();
    if (!translator->load(QStringLiteral("qtbase_ja"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        return false;
    translator->setParent(&app);
    return QCoreApplication::installTranslator(translator.release());
}

} // namespace tessaly
