// Every message box of the program goes through here, so that tests can record the
// boxes instead of blocking on them.
#pragma once

#include <QString>
#include <vector>

class QWidget;

namespace tessaly {

// The application title: the task-bar text and the title of plain and error boxes.
inline const QString kApplicationTitle = QStringLiteral("Corvanel");

enum class BoxKind {
    Plain,       // OK button, no icon ("検索を中断しました。", the duplicate-start box)
    Information, // OK button, information icon, titled "情報" ("Nothing", "例外発生")
    Error,       // the error box: critical icon, titled with the application title
    Question,    // Yes and No buttons (No the default), warning icon, the application title
};

struct BoxRecord {
    BoxKind kind;
    QString title;
    QString text;
};

// Shows a modal box with an OK button and returns when it is closed (or records it
// while a BoxRecorder is alive).
void ShowBox(BoxKind kind, const QString& title, const QString& text, QWidget* parent = nullptr);

// The plain box titled with the application title.
void ShowPlainBox(const QString& text, QWidget* parent = nullptr);
// The information box titled "情報".
void ShowInformationBox(const QString& text, QWidget* parent = nullptr);
// The error box: the application title, the message with a full stop added when it ends
// in none.
void ShowErrorBox(const QString& message, QWidget* parent = nullptr);

// Asks a question with Yes and No buttons; true when the answer is Yes. While a BoxRecorder
// is alive the question is recorded and answered with its Answer().
bool AskQuestion(const QString& text, QWidget* parent = nullptr);

// The text the error box shows for a message.
QString ErrorBoxText(const QString& message);

// While alive, boxes are recorded here instead of shown. Recorders nest; the innermost wins.
class BoxRecorder {
public:
    BoxRecorder();
    ~BoxRecorder();
    BoxRecorder(const BoxRecorder&) = delete;
    BoxRecorder& operator=(const BoxRecorder&) = delete;

    const std::vector<BoxRecord>& boxes() const { return boxes_; }
    void clear() { boxes_.clear(); }
    // The answer recorded questions get (No until set).
    void SetAnswer(bool yes) { answer_ = yes; }

private:
    friend void ShowBox(BoxKind, const QString&, const QString&, QWidget*);
    friend bool AskQuestion(const QString&, QWidget*);
    std::vector<BoxRecord> boxes_;
    bool answer_ = false;
    BoxRecorder* previous_;
};

} // namespace tessaly
