// The readme window: a small always-on-top tool window that shows the program's readme
// file (rich text or plain text) with the credits in its title. Created hidden at
// start-up, filled and shown by the main window's "ヘルプ", hidden by "とじる".
#pragma once

#include "base/Credits.h"

#include <QString>
#include <QWidget>

class QCloseEvent;
class QFrame;
class QPushButton;
class QTextEdit;

namespace tessaly {

// The readme window's title: "%s %s %s%s" with the product, version, author and contact
// address: "Lumivex v0.1 '060717 By Pellorihttps://pellori.example/contact/contact_me.html".
QString ReadmeCaption();

// The readme file's name, and where the running program finds it (ReadmePathFor its
// executable's folder).
inline constexpr const char* kReadmeFileName = "TESSreadme.txt";
QString ReadmePath();

// The readme beside the executable in programFolder (a build tree, a portable copy) when
// there is one, else the installed one in programFolder/../share/tessaly when that exists,
// else the path beside the executable, which then shows as missing.
QString ReadmePathFor(const QString& programFolder);

// What the box shows until a readme has been loaded.
QString MissingReadmeText();

class ReadmeWindow : public QWidget {
    Q_OBJECT
public:
    // Client area, box and button bounds of the window's layout.
    static constexpr int kClientWidth = 429;
    static constexpr int kClientHeight = 238;
    static constexpr int kPanelHeight = 24;

    explicit ReadmeWindow(QWidget* parent = nullptr);

    // The window's controls, owned by the window.
    QTextEdit* textBox = nullptr;
    QFrame* buttonPanel = nullptr;
    QPushButton* closeButton = nullptr;

    // Loads the readme file into textBox, replacing its whole content: as rich text,
    // or from its start as plain text when it is not RTF the reader accepts. When the
    // file cannot be opened or read, is not a regular file, or is larger than a readme may
    // be (kReadmeMaxBytes, kReadmeMaxLines), textBox keeps exactly what it shows (the
    // user's edits included). Never throws and never reports anything.
    void LoadReadme(const QString& path);

    // "ヘルプ": loads the readme at `path`, titles the window with the credits and shows it
    // centred over `owner`, in front; centred again once the window manager has framed it.
    void ShowOver(QWidget& owner, const QString& path);

    // "とじる": closes the window, which only hides it.
    void CloseReadme();

protected:
    // Closing the window (button or title bar) only hides it; it lives until program end.
    void closeEvent(QCloseEvent* event) override;
};

} // namespace tessaly
