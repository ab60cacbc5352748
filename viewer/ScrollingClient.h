// The main window's client area, which scrolls over its content (the view panel).
//
// Scroll positions follow the model of a window that scrolls its children: the range of
// an axis is the extent of the content in unscrolled coordinates (its left plus the scroll
// position plus its width); a scroll bar is shown while the range exceeds the visible
// client size; a position lies between 0 and the range less the visible size; changing a
// position moves the content by the difference. The content is either filling (covering
// the whole client area, nothing to scroll) or free (keeping its own position and size).
#pragma once

#include <QPointer>
#include <QWidget>

class QScrollBar;

namespace tessaly {

class ScrollingClient : public QWidget {
    Q_OBJECT
public:
    explicit ScrollingClient(QWidget* parent = nullptr);

    // The widget the content lives in; its size is the visible client area.
    QWidget* Viewport() const { return viewport_; }
    void SetContent(QWidget* content);

    void SetFilling(bool filling);
    bool Filling() const { return filling_; }

    // The visible client area (without the scroll bars that are shown).
    int ClientWidth() const;
    int ClientHeight() const;

    int HorzPosition() const { return hpos_; }
    int VertPosition() const { return vpos_; }
    // Set a position, limited to 0 .. range - visible size; the content moves by the change.
    void SetHorzPosition(int position);
    void SetVertPosition(int position);
    int HorzRange() const;
    int VertRange() const;
    bool HorzBarVisible() const;
    bool VertBarVisible() const;

    // Content bounds in client coordinates; setting them updates the scroll bars.
    void SetContentGeometry(const QRect& bounds);
    void MoveContent(int left, int top);
    void ResizeContent(int width, int height);

    // Recomputes the scroll bars from the content's bounds.
    void Realign();

signals:
    // The client area changed size and a filling content has been laid out again.
    void Resized();

protected:
    void resizeEvent(QResizeEvent* event) override;
    void wheelEvent(QWheelEvent* event) override;

private:
    void OnBarMoved(Qt::Orientation orientation, int value);

    QWidget* viewport_;
    QScrollBar* hbar_;
    QScrollBar* vbar_;
    QPointer<QWidget> content_;
    bool filling_ = true;
    bool realigning_ = false;
    int hpos_ = 0;
    int vpos_ = 0;
};

} // namespace tessaly
