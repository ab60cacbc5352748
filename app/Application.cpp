#include "app/Application.h"

#include "ui/DisplayProfile.h"
#include "ui/Guard.h"

#include <QLibraryInfo>
#include <QProcessEnvironment>
#include <QTranslator>
#include <iostream>
#include <memory>

namespace tessaly {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    if (!InstallQtJapanese(*this))
        qWarning("Tessaly: Qt's Japanese texts (qtbase_ja) are not installed");
}

void Application::ReadDisplayProfile() {
    colours_.SetDisplayProfile(DisplayProfile());
    if (const std::string problem = colours_.DisplayProblem(); !problem.empty())
        std::cerr << "tessaly: " << problem << "\n";
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
