#include "app/Application.h"

#include "viewer/Guard.h"

#include <QLibraryInfo>
#include <QTranslator>
#include <memory>

namespace tessaly {

Application::Application(int& argc, char** argv) : QApplication(argc, argv) {
    if (!InstallQtJapanese(*this))
        qWarning("Tessaly: Qt's Japanese texts (qtbase_ja) are not installed");
}

bool Application::notify(QObject* receiver, QEvent* event) {
    bool result = false;
    Guarded([&] { result = QApplication::notify(receiver, event); });
    return result;
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
