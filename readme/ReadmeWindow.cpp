#include "readme/ReadmeWindow.h"

#include "base/Format.h"
#include "base/RegularFile.h"
#include "readme/RtfDocument.h"
#include "ui/Fonts.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QPalette>
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

    RichEdit1 = new QTextEdit(this);
    RichEdit1->setObjectName(QStringLiteral("RichEdit1"));
    RichEdit1->setGeometry(0, 0, kClientWidth, kClientHeight - kPanelHeight);
    RichEdit1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    RichEdit1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    RichEdit1->setLineWrapMode(QTextEdit::WidgetWidth);
    RichEdit1->setReadOnly(false);
    RichEdit1->setPlainText(MissingReadmeText());

    Panel1 = new QFrame(this);
    Panel1->setObjectName(QStringLiteral("Panel1"));
    Panel1->setFrameStyle(QFrame::Panel | QFrame::Raised);
    Panel1->setLineWidth(1);
    Panel1->setGeometry(0, kClientHeight - kPanelHeight, kClientWidth, kPanelHeight);

    Button1 = new QPushButton(QStringLiteral("とじる"), Panel1);
    Button1->setObjectName(QStringLiteral("Button1"));
    Button1->setGeometry(176, 3, 75, 19);
    connect(Button1, &QPushButton::clicked, this, &ReadmeWindow::Button1Click);
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
            ShowReadmeBytes(
                *RichEdit1,
                std::string_view(reinterpret_cast<const char*>(bytes->data()), bytes->size()));
    } catch (...) {
        // A readme that cannot be shown is not reported; the box keeps what it has.
    }
}

void ReadmeWindow::Button1Click() {
    close();
}

void ReadmeWindow::closeEvent(QCloseEvent* event) {
    hide();
    event->accept();
}

} // namespace tessaly
