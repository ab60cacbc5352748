#include "readme/ReadmeWindow.h"

#include "base/Format.h"
#include "base/RegularFile.h"
#include "readme/RtfDocument.h"
#include "ui/Fonts.h"
#include "ui/WindowFrame.h"
#include "ui/WindowPlacement.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QPalette>
#include <QPointer>
#include <QPushButton>
#include <QTextEdit>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly {

QString ReadmeCaption() {
    return QString::fromStdString(
        Format("%s %s %s%s",
               {credits::kProduct, credits::kVersion, credits::kAuthor, credits::kContactAddress}));
}

QString ReadmePath() {
    return ReadmePathFor(QCoreApplication::applicationDirPath());
}

QString ReadmePathFor(const QString& programFolder) {
    const QString name = QString::fromLatin1(kReadmeFileName);
    const QString beside = programFolder + QLatin1Char('/') + name;
    if (QFileInfo::exists(beside)) {
        return beside;
    }
    const QString installed =
        QDir::cleanPath(programFolder + QStringLiteral("/../share/tessaly/") + name);
    if (QFileInfo::exists(installed)) {
        return installed;
    }
    return beside;
}

QString MissingReadmeText() {
    return QStringLiteral("『readme.txt』はどこに行ってしまったんでしょう？困りましたね/(\\\\);");
}

ReadmeWindow::ReadmeWindow(QWidget* parent)
    : QWidget(parent, Qt::Tool | Qt::WindowStaysOnTopHint | Qt::CustomizeWindowHint |
                          Qt::WindowTitleHint | Qt::WindowCloseButtonHint) {
    setWindowTitle(QStringLiteral("Form3"));
    setFixedSize(kClientWidth, kClientHeight);
    // Closing this window must never end the program.
    setAttribute(Qt::WA_QuitOnClose, false);

    QPalette pal = palette();
    pal.setColor(QPalette::Window, pal.color(QPalette::Button));
    setPalette(pal);
    setAutoFillBackground(true);

    setFont(WindowFont(12));

    textBox = new QTextEdit(this);
    textBox->setObjectName(QStringLiteral("textBox"));
    textBox->setGeometry(0, 0, kClientWidth, kClientHeight - kPanelHeight);
    textBox->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    textBox->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    textBox->setLineWrapMode(QTextEdit::WidgetWidth);
    textBox->setReadOnly(false);
    textBox->setPlainText(MissingReadmeText());

    buttonPanel = new QFrame(this);
    buttonPanel->setObjectName(QStringLiteral("buttonPanel"));
    buttonPanel->setFrameStyle(QFrame::Panel | QFrame::Raised);
    buttonPanel->setLineWidth(1);
    buttonPanel->setGeometry(0, kClientHeight - kPanelHeight, kClientWidth, kPanelHeight);

    closeButton = new QPushButton(QStringLiteral("とじる"), buttonPanel);
    closeButton->setObjectName(QStringLiteral("closeButton"));
    closeButton->setGeometry(176, 3, 75, 19);
    connect(closeButton, &QPushButton::clicked, this, &ReadmeWindow::CloseReadme);
}

namespace {

// The bytes of the readme file: nothing when it is not a regular file (a pipe is never
// waited on), cannot be read, or is larger than a readme may be.
std::optional<std::vector<std::uint8_t>> ReadReadmeFile(const QString& path) {
    try {
        return ReadRegularFile(QFile::encodeName(path).toStdString(), kReadmeMaxBytes);
    } catch (const FileReadError&) {
        return std::nullopt;
    }
}

} // namespace

void ReadmeWindow::LoadReadme(const QString& path) {
    try {
        if (const std::optional<std::vector<std::uint8_t>> bytes = ReadReadmeFile(path))
            ShowReadmeBytes(*textBox, std::string_view(reinterpret_cast<const char*>(bytes->data()),
                                                       bytes->size()));
    } catch (...) {
        // A readme that cannot be shown is not reported; the box keeps what it has.
    }
}

void ReadmeWindow::ShowOver(QWidget& owner, const QString& path) {
    setWindowTitle(ReadmeCaption());
    LoadReadme(path);
    CenterForm(*this, owner);
    show();
    raise();
    activateWindow();
    // A window shown for the first time gets its frame a moment later: centre it again
    // by the frame the window manager gives it.
    WhenFramed(*this, [this, over = QPointer<QWidget>(&owner)] {
        if (over && isVisible())
            CenterForm(*this, *over);
    });
}

void ReadmeWindow::CloseReadme() {
    close();
}

void ReadmeWindow::closeEvent(QCloseEvent* event) {
    hide();
    event->accept();
}

} // namespace tessaly
