#include "ui/Dialogs.h"

#include <QMessageBox>
#include <QPushButton>
#include <algorithm>

namespace tessaly {

namespace {
// The recorder in force; only tests create one.
BoxRecorder* currentRecorder = nullptr;
} // namespace

BoxRecorder::BoxRecorder() : previous_(currentRecorder) {
    currentRecorder = this;
}

BoxRecorder::~BoxRecorder() {
    currentRecorder = previous_;
}

void ShowBox(BoxKind kind, const QString& title, const QString& text, QWidget* parent) {
    if (currentRecorder) {
        currentRecorder->boxes_.push_back({kind, title, text});
        return;
    }
    QMessageBox::Icon icon = QMessageBox::NoIcon;
    if (kind == BoxKind::Information)
        icon = QMessageBox::Information;
    else if (kind == BoxKind::Error)
        icon = QMessageBox::Critical;
    QMessageBox box(icon, title, text, QMessageBox::Ok, parent);
    box.exec();
}

void ShowPlainBox(const QString& text, QWidget* parent) {
    ShowBox(BoxKind::Plain, kApplicationTitle, text, parent);
}

void ShowInformationBox(const QString& text, QWidget* parent) {
    ShowBox(BoxKind::Information, QStringLiteral("情報"), text, parent);
}

int AskQuestion(const QString& text, const QStringList& buttons, QWidget* parent) {
    const int last = static_cast<int>(buttons.size()) - 1;
    if (currentRecorder) {
        currentRecorder->boxes_.push_back({BoxKind::Question, kApplicationTitle, text});
        if (currentRecorder->answers_.empty())
            return last;
        const int answer = currentRecorder->answers_.front();
        currentRecorder->answers_.pop_front();
        return answer;
    }
    QMessageBox box(QMessageBox::Question, kApplicationTitle, text, QMessageBox::NoButton, parent);
    std::vector<QPushButton*> pressed;
    for (const QString& caption : buttons)
        pressed.push_back(box.addButton(caption, QMessageBox::ActionRole));
    if (!pressed.empty()) {
        box.setDefaultButton(pressed.front());
        box.setEscapeButton(pressed.back());
    }
    box.exec();
    const auto chosen = std::find(pressed.begin(), pressed.end(), box.clickedButton());
    return chosen == pressed.end() ? last : static_cast<int>(chosen - pressed.begin());
}

bool AskYesNo(const QString& text, QWidget* parent) {
    if (currentRecorder) {
        currentRecorder->boxes_.push_back({BoxKind::Question, kApplicationTitle, text});
        if (currentRecorder->answers_.empty())
            return false;
        const int answer = currentRecorder->answers_.front();
        currentRecorder->answers_.pop_front();
        return answer == 0;
    }
    QMessageBox box(QMessageBox::Warning, kApplicationTitle, text,
                    QMessageBox::Yes | QMessageBox::No, parent);
    box.setDefaultButton(QMessageBox::No);
    return box.exec() == QMessageBox::Yes;
}

QString ErrorBoxText(const QString& message) {
    if (message.endsWith(u'.') || message.endsWith(u'。'))
        return message;
    return message + u'.';
}

void ShowErrorBox(const QString& message, QWidget* parent) {
    ShowBox(BoxKind::Error, kApplicationTitle, ErrorBoxText(message), parent);
}

} // namespace tessaly
