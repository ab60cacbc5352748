#include "viewer/OverlayLabels.h"

#include "ui/Fonts.h"

#include <QLabel>
#include <QPalette>

namespace tessaly {

OverlayLabels OverlayLabels::Create(QWidget& panel) {
    const OverlayLabels labels{new QLabel(&panel), new QLabel(&panel)};
    const QFont overlayFont = WindowFont(16, true);
    for (QLabel* label : {labels.text, labels.copy}) {
        label->setFont(overlayFont);
        label->setAttribute(Qt::WA_TransparentForMouseEvents);
        label->setAutoFillBackground(false);
        label->setTextFormat(Qt::PlainText);
        label->setForegroundRole(QPalette::WindowText);
        label->hide();
    }
    QPalette red = labels.text->palette();
    red.setColor(QPalette::WindowText, Qt::red);
    labels.text->setPalette(red);
    QPalette highlight = labels.copy->palette();
    highlight.setColor(QPalette::WindowText, highlight.color(QPalette::HighlightedText));
    labels.copy->setPalette(highlight);
    return labels;
}

void OverlayLabels::Show(const QString& shown) const {
    text->setText(QString(shown).replace(QStringLiteral("\r\n"), QStringLiteral("\n")));
    text->move(2, 2);
    text->adjustSize();
    text->show();
    copy->setText(text->text());
    copy->move(3, 3);
    copy->adjustSize();
    copy->show();
    text->raise();
    copy->raise();
}

void OverlayLabels::Hide() const {
    for (QLabel* label : {text, copy}) {
        label->hide();
        label->clear();
    }
}

} // namespace tessaly
