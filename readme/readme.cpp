#include "readme/readme.h"

#include "base/Format.h"
#include "readme/RtfDocument.h"
#include "ui/ulib.h"

#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFont>
#include <QFrame>
#include <QPalette>
#include <QPushButton>
#include <QTextEdit>
#include <string>

namespace tessaly {

QString ReadmeCaption() {
    return QString::fromStdString(
        Format("%s %s %s%s",
               {credits::kProduct, credits::kVersion, credits::kAuthor, credits::kContactAddress}));
}

QString ReadmePath() {
    return QCoreApplication::applicationDirPath() + QLatin1Char('/') +
           QString::fromLatin1(kReadmeFileName);
}

QString MissingReadmeText() {
    return QStringLiteral("『readme.txt』はどこに行ってしまったんでしょう？困りましたね/(\\\\);");
}

TForm3::TForm3(QWidget* parent)
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
    connect(Button1, &QPushButton::clicked, this, &TForm3::Button1Click);
}

void TForm3::LoadReadme(const QString& path) {
    try {
        QFile file(path);
        if (!file.open(QIODevice::ReadOnly))
            return;
        const QByteArray bytes = file.readAll();
        if (file.error() != QFileDevice::NoError)
            return;
        ShowReadmeBytes(*RichEdit1, std::string_view(bytes.constData(),
                                                     static_cast<std::size_t>(bytes.size())));
    } catch (...) {
        // A readme that cannot be shown is not reported; the box keeps what it has.
    }
}

void TForm3::Button1Click() {
    close();
}

void TForm3::closeEvent(QCloseEvent* event) {
    hide();
    event->accept();
}

} // namespace tessaly
