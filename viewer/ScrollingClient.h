// The main window's client area, which shows its content (the view panel) scrolled as the
// viewer's scroll arithmetic (model/ScrollArea.h) says: the visible area, the content's
// bounds and the scroll bars. Moves of the bars and of the mouse wheel are handed back as
// wished positions; the window decides.
#pragma once

#include "model/ScrollArea.h"

#include <QFrame>
#include <QPointer>
#include <QWidget>

class QScrollBar;

namespace tessaly {

// The view panel, the client area's content: a raised 1-pixel bevel; its interior is its
// client rectangle less the bevel on every side.
class ViewPanel : public QFrame {
    Q_OBJECT
public:
    explicit ViewPanel(QWidget* parent = nullptr);
};

class ScrollingClient : public QWidget {
    Q_OBJECT
public:
    explicit ScrollingClient(QWidget* parent = nullptr);

    // The widget the content lives in; its size is the visible client area.
    QWidget* Viewport() const { return viewport_; }
    void SetContent(QWidget* content);

    // The thickness of a scroll bar in this style.
    int BarExtent() const;

    // Shows the client area as the arithmetic left it.
    void Show(const ScrollArea& area);

    // What is shown.
    int ClientWidth() const { return shown_.ClientWidth(); }
    int ClientHeight() const { return shown_.ClientHeight(); }
    int HorzPosition() const { return shown_.HorzPosition(); }
    int VertPosition() const { return shown_.VertPosition(); }
    bool HorzBarVisible() const { return shown_.HorzBarVisible(); }
    bool VertBarVisible() const { return shown_.VertBarVisible(); }

signals:
    // The client area took a new size (scroll bars included).
    void Resized(int width, int height);
    // A scroll bar or the wheel asks for these positions.
    void ScrollRequested(int horizontal, int vertical);

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    QWidget* viewport_;
    QScrollBar* hbar_;
    QScrollBar* vbar_;
    QPointer<QWidget> content_;
    ScrollArea shown_;
};

} // namespace tessaly
