// The process entry: one copy per user, then the main window (which makes the pick windows),
// the readme window and the event loop.
#include "app/Application.h"
#include "app/SecondCopy.h"
#include "app/SingleInstance.h"
#include "readme/ReadmeWindow.h"
#include "ui/Dialogs.h"
#include "ui/Fonts.h"
#include "viewer/ListOrder.h"
#include "viewer/MainWindow.h"

#include <QProcessEnvironment>
#include <cstring>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace {

constexpr const char* kInstanceName = "Tessaly";

constexpr const char* kUsage = R"(Usage: tessaly [--as-stored] [--overview] [FILE|FOLDER]...

Shows the JPEG files named (names ending in .JPG in any letter case) and every such file
found in the folders named, searched to any depth, sorted by name. Only one copy runs per
user; a second start brings the first copy to the front.

Pictures are shown upright as their EXIF orientation says, and in their embedded colour
profile's colours converted to the display's.

Keys: Right or Space next, Left or Ctrl previous, Up first, Down last; Return switches
between the picture and the overview of thumbnails, where the arrows, Home, End, Page Up
and Page Down move the current entry.
Right-click for the menu: zoom, fit, actual size, EXIF data, area selection, copy, pick.

  --as-stored  show the pictures as stored, not turned by their orientation
  --overview   start in the overview of thumbnails
  --help       show this text
  --version    show the version
)";

// The arguments as the system gave them (file names are bytes), less --as-stored and
// --overview, which set `showing`.
std::vector<std::string> ParseArguments(int argc, char** argv, tessaly::ShowingOptions& showing) {
    std::vector<std::string> arguments;
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--as-stored") == 0)
            showing.asStored = true;
        else if (std::strcmp(argv[i], "--overview") == 0)
            showing.overview = true;
        else
            arguments.emplace_back(argv[i]);
    }
    return arguments;
}

// The decode of the picture the window will show first, started before Qt: when the arguments
// name it without a search (FirstNamedFile) and the window starts on the picture. The
// arguments are read as the system gave them, Qt's own options included: a guess that misses
// costs only the work done, since the picture pipeline adopts a copy only of the path it shows.
std::unique_ptr<tessaly::EarlyDecode> StartFirstPicture(int argc, char** argv,
                                                        const tessaly::PictureDecoders& decoders) {
    tessaly::ShowingOptions showing;
    const std::vector<std::string> arguments = ParseArguments(argc, argv, showing);
    if (showing.overview)
        return nullptr;
    std::optional<std::string> first = tessaly::FirstNamedFile(arguments);
    if (!first)
        return nullptr;
    // Until Qt tells the screen's pixel ratio, the decode starts as for the usual ratio of 1.
    return std::make_unique<tessaly::EarlyDecode>(
        decoders, std::move(*first), tessaly::MainWindow::FirstShownSize(showing.asStored, 1));
}

} // namespace

int main(int argc, char** argv) {
    // --help and --version print and end without a window or the single-instance lock.
    if (argc == 2 && std::strcmp(argv[1], "--help") == 0) {
        std::cout << kUsage;
        return 0;
    }
    if (argc == 2 && std::strcmp(argv[1], "--version") == 0) {
        std::cout << "tessaly " TESSALY_VERSION "\n";
        return 0;
    }

    const QByteArray platform =
        tessaly::PreferredPlatform(QProcessEnvironment::systemEnvironment());
    if (!platform.isEmpty())
        qputenv("QT_QPA_PLATFORM", platform);

    // The lock is tried before Qt starts its window system, which ends the process when it
    // cannot start: a second copy reaches the first whatever Qt's options say. The
    // application object is made after the guard but outlives it, so that the guard's socket
    // closes while Qt still runs.
    std::optional<tessaly::Application> app;
    tessaly::SingleInstance instance(QString::fromLatin1(kInstanceName));
    if (instance.CheckPrevInstance())
        return tessaly::RunSecondCopy(instance, argc, argv);
    // The first picture's header and screen copy are read on a thread of their own while Qt
    // starts and the window is built, so that the window's first paint can show it.
    const tessaly::PictureDecoders decoders = tessaly::DefaultPictureDecoders();
    std::unique_ptr<tessaly::EarlyDecode> early = StartFirstPicture(argc, argv, decoders);
    app.emplace(argc, argv);

    QApplication::setApplicationName(tessaly::kApplicationTitle);
    QApplication::setFont(tessaly::WindowFont(12));

    tessaly::ShowingOptions showing;
    std::vector<std::string> arguments = ParseArguments(argc, argv, showing);
    // Its shown size is known now: the window's client size, at the screen's pixel ratio.
    if (early)
        early->Aim(tessaly::MainWindow::FirstShownSize(showing.asStored, app->devicePixelRatio()));
    showing.early = std::move(early);
    app->ReadDisplayProfile();
    showing.colours = &app->Colours();
    // The save dialog's folder, one for the whole program, shared by every window.
    tessaly::SaveFolder saveFolder;
    tessaly::MainWindow mainWindow(std::move(arguments), &saveFolder, decoders, std::move(showing));
    auto* readmeWindow = new tessaly::ReadmeWindow(&mainWindow);
    mainWindow.SetReadmeWindow(readmeWindow);

    QObject::connect(&mainWindow, &tessaly::MainWindow::Closed, &*app, &QApplication::quit);
    QObject::connect(&mainWindow, &tessaly::MainWindow::TerminateRequested, &*app,
                     &QApplication::quit);
    instance.Listen([&mainWindow] { tessaly::RestoreAndActivate(mainWindow); });

    mainWindow.show();
    app->exec();
    return 0;
}
