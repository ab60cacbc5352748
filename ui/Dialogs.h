// Every message box of the program goes through here, so that tests can record the
// boxes instead of blocking on them.
#pragma once

#include <QString>
#include <QStringList>
#include <deque>
#include <vector>

class QWidget;

namespace tessaly {

// The application title: the task-bar text and the title of plain and error boxes.
inline const QString kApplicationTitle = QStringLiteral("Corvanel");

enum class BoxKind {
    Plain,       // OK button, no icon ("検索を中断しました。", the duplicate-start box)
    Information, // OK button, information icon, titled "情報" ("Nothing", "例外発生")
    Error,       // the error box: critical icon, titled with the application title
    Question,    // a question with buttons of its own (AskQuestion)
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

// Asks a question in a box titled with the application title, with a question icon and the
// buttons `buttons` (the first is the default, the last the one Escape presses). Returns the
// index of the button pressed. While a BoxRecorder is alive the box is recorded and answered
// with the recorder's next answer (the last button when it has none left).
int AskQuestion(const QString& text, const QStringList& buttons, QWidget* parent = nullptr);
// Asks a question with Yes and No buttons (No the default, a warning icon); true when the
// answer is Yes. While a BoxRecorder is alive it is recorded and answered with the recorder's
// next answer (0: Yes), No when it has none left.
bool AskYesNo(const QString& text, QWidget* parent = nullptr);

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
    // The button the next question is answered with.
    void Answer(int button) { answers_.push_back(button); }
    // The answer the next Yes/No question gets.
    void SetAnswer(bool yes) { answers_.push_back(yes ? 0 : 1); }

private:
    friend void ShowBox(BoxKind, const QString&, const QString&, QWidget*);
    friend int AskQuestion(const QString&, const QStringList&, QWidget*);
    friend bool AskYesNo(const QString&, QWidget*);
    std::vector<BoxRecord> boxes_;
    std::deque<int> answers_;
    BoxRecorder* previous_;
};

} // namespace tessaly
