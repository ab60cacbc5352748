// TwoColumnMenu: a popup menu whose items can run in several columns side by side, with an
// etched vertical bar between neighbouring columns, laid out and driven like a classic
// Windows popup menu (QMenu cannot break its items into columns at a chosen item).
//
// The owner creates and keeps the QActions and adds them in order with addAction(); a
// separator is an action with isSeparator(). SetColumnBreak(item) starts a new column at
// that item. Each item shows a check mark when its action is checkable and checked, is
// greyed and cannot be triggered when disabled, and is drawn in the action's own font, so
// in bold when it is the default item (SetDefault in ui/MenuItems.h). Choosing an item
// closes the popup, then calls QAction::trigger() (so the owner's connected handler runs)
// and emits triggered(item).
//
// Note for owners: QAction::trigger() flips the check mark of a checkable action before its
// triggered signal reaches the handler, as it does for QMenu.
#pragma once

#include <QAction>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QWidget>
#include <vector>

class QContextMenuEvent;
class QPainter;

namespace tessaly {

class TwoColumnMenu final : public QWidget {
    Q_OBJECT

public:
    // How the popup was opened: from the keyboard the first item is highlighted at once.
    enum class OpenedBy { Mouse, Keyboard };

    explicit TwoColumnMenu(QWidget* parent = nullptr);
    ~TwoColumnMenu() override;

    TwoColumnMenu(const TwoColumnMenu&) = delete;
    TwoColumnMenu& operator=(const TwoColumnMenu&) = delete;

    // Starts a new column at `firstOfNextColumn` (on) or removes that break (off). A break at
    // the first visible item has no effect. Any number of breaks may be set.
    void SetColumnBreak(QAction* firstOfNextColumn, bool on = true);
    bool HasColumnBreak(const QAction* item) const;

    // Opens the popup with its top-left corner at `globalPos`, moved left and/or up when it
    // would leave the available screen area, and returns at once.
    void Popup(const QPoint& globalPos, OpenedBy openedBy = OpenedBy::Mouse);
    // Opens the popup and waits in a local event loop until it closes; returns the item
    // chosen (already triggered) or nullptr when the popup closed without a choice.
    QAction* Exec(const QPoint& globalPos, OpenedBy openedBy = OpenedBy::Mouse);

    // Geometry in this widget's coordinates; an empty rectangle / -1 for an item that is not
    // shown by this menu.
    QRect ItemRect(const QAction* item) const;
    int ColumnOf(const QAction* item) const;
    int ColumnCount() const;
    // The visible item at `pos` (separators included), or nullptr.
    QAction* ActionAt(const QPoint& pos) const;

    // The highlighted item, or nullptr. Separators and hidden actions cannot be highlighted;
    // disabled items can (they are only never triggered).
    QAction* ActiveAction() const;
    void SetActiveAction(QAction* item);

    QSize sizeHint() const override;
    QSize minimumSizeHint() const override { return sizeHint(); }

protected:
    bool event(QEvent* event) override;
    void actionEvent(QActionEvent* event) override;
    void changeEvent(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseMoveEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void leaveEvent(QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void hideEvent(QHideEvent* event) override;

private:
    struct Item {
        QAction* action = nullptr;
        QRect rect;
        int column = 0;
        int row = 0; // position within its column, separators counted
    };
    struct Metrics;
    struct ExecState;

    void InvalidateLayout();
    void EnsureLayout() const;
    const Item* Find(const QAction* action) const;
    int IndexOf(const QAction* action) const;
    static bool IsSelectable(const QAction& action);
    bool IsTriggerable(const QAction* action) const;
    QFont ItemFont(const QAction& action) const;

    void PaintItem(QPainter& painter, const Item& item, const Metrics& metrics) const;
    void PaintColumnBars(QPainter& painter) const;

    // Keyboard moves; each returns the item to highlight or nullptr for no move.
    QAction* StepInColumn(int direction) const;
    QAction* CrossColumn(int direction) const;
    QAction* FirstSelectable(int fromIndex, int direction, int column) const;

    void ChooseItem(QAction* action);

    std::vector<QPointer<QAction>> breaks_;
    QPointer<QAction> active_;
    ExecState* exec_ = nullptr;

    // A mouse release chooses an item only after a press inside the popup, or after the
    // pointer was dragged with a button held since the popup opened; so the release that
    // ends the click which opened it does nothing.
    bool pressedInside_ = false;
    bool draggedSinceOpen_ = false;
    QPoint openPos_;
    // Hover follows real pointer movement only, so a popup opened by keyboard under a
    // resting pointer keeps its highlight; leaving the popup clears the highlight.
    QPoint lastMovePos_;
    bool pointerInside_ = false;

    mutable bool layoutValid_ = false;
    mutable std::vector<Item> items_;
    mutable std::vector<QRect> columns_;
    mutable QSize size_;
};

} // namespace tessaly
