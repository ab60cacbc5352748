#include "ui/TwoColumnMenu.h"

#include <QAccessible>
#include <QActionEvent>
#include <QApplication>
#include <QContextMenuEvent>
#include <QCursor>
#include <QEventLoop>
#include <QFontMetrics>
#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <algorithm>
#include <qdrawutil.h>

namespace tessaly {

namespace {

constexpr int kTextFlags =
    Qt::AlignLeft | Qt::AlignVCenter | Qt::TextSingleLine | Qt::TextShowMnemonic;

// Start of a popup of `extent` pixels asked for at `at` on one screen axis [low, high):
// where it is asked for when it fits, else ending at `at` (opened towards the other side),
// else pushed against the far edge, and never before `low`.
int PlaceOnAxis(int at, int extent, int low, int high) {
    if (at + extent <= high) {
        return std::max(at, low);
    }
    if (at - extent >= low) {
        return at - extent;
    }
    return std::max(low, high - extent);
}

} // namespace

// Sizes derived from the menu's font, in the proportions of a classic Windows popup menu.
struct TwoColumnMenu::Metrics {
    explicit Metrics(const QFontMetrics& fm)
        : itemHeight(std::max(fm.height() + 6, 17)),
          separatorHeight(std::max((itemHeight - 1) / 2, 7)),
          checkColumn(std::max(fm.height(), 13) + 6), rightPadding(checkColumn) {}

    int frame = 3;  // raised two-pixel edge plus one pixel of padding
    int itemHeight; // a text item
    int separatorHeight;
    int checkColumn;  // left of the text: room for the check mark
    int rightPadding; // right of the text
    int barWidth = 6; // between two columns: gap, etched two-pixel bar, gap
};

struct TwoColumnMenu::ExecState {
    QEventLoop loop;
    QPointer<QAction> chosen;
};

TwoColumnMenu::TwoColumnMenu(QWidget* parent) : QWidget(parent, Qt::Popup) {
    setAttribute(Qt::WA_X11NetWmWindowTypePopupMenu);
    setAttribute(Qt::WA_DeleteOnClose, false);
    setMouseTracking(true);
    setFocusPolicy(Qt::StrongFocus);
}

TwoColumnMenu::~TwoColumnMenu() {
    if (exec_ != nullptr) {
        exec_->loop.quit();
    }
}

void TwoColumnMenu::SetColumnBreak(QAction* firstOfNextColumn, bool on) {
    std::erase_if(breaks_, [&](const QPointer<QAction>& a) {
        return a.isNull() || a.data() == firstOfNextColumn;
    });
    if (on && firstOfNextColumn != nullptr) {
        breaks_.emplace_back(firstOfNextColumn);
    }
    InvalidateLayout();
}

bool TwoColumnMenu::HasColumnBreak(const QAction* item) const {
    return item != nullptr && std::any_of(breaks_.begin(), breaks_.end(),
                                          [&](const QPointer<QAction>& a) { return a == item; });
}

// ---- layout ---------------------------------------------------------------------------

void TwoColumnMenu::InvalidateLayout() {
    layoutValid_ = false;
    if (active_ != nullptr && (!IsSelectable(*active_) || !actions().contains(active_.data()))) {
        active_ = nullptr;
    }
    updateGeometry();
    if (isVisible()) {
        resize(sizeHint());
    }
    update();
}

void TwoColumnMenu::EnsureLayout() const {
    if (layoutValid_) {
        return;
    }
    items_.clear();
    columns_.clear();
    const Metrics m(fontMetrics());

    struct ColumnSize {
        int first = 0;
        int count = 0;
        int width = 0;
        int height = 0;
    };
    std::vector<ColumnSize> sizes;
    for (QAction* action : actions()) {
        if (!action->isVisible()) {
            continue;
        }
        if (sizes.empty() || (sizes.back().count > 0 && HasColumnBreak(action))) {
            sizes.push_back({static_cast<int>(items_.size()), 0, 0, 0});
        }
        ColumnSize& column = sizes.back();
        int width = 0;
        int height = m.separatorHeight;
        if (!action->isSeparator()) {
            const QFontMetrics fm(ItemFont(*action));
            width = m.checkColumn + fm.size(kTextFlags, action->text()).width() + m.rightPadding;
            height = m.itemHeight;
        }
        items_.push_back(Item{action, QRect(0, m.frame + column.height, width, height),
                              static_cast<int>(sizes.size()) - 1, column.count});
        ++column.count;
        column.height += height;
        column.width = std::max(column.width, width);
    }

    int x = m.frame;
    int tallest = 0;
    for (const ColumnSize& column : sizes) {
        if (x > m.frame) {
            x += m.barWidth;
        }
        for (int i = column.first; i < column.first + column.count; ++i) {
            QRect& r = items_[static_cast<size_t>(i)].rect;
            r = QRect(x, r.y(), column.width, r.height());
        }
        columns_.emplace_back(x, m.frame, column.width, column.height);
        x += column.width;
        tallest = std::max(tallest, column.height);
    }
    size_ = QSize(x + m.frame, tallest + 2 * m.frame);
    layoutValid_ = true;
}

QSize TwoColumnMenu::sizeHint() const {
    EnsureLayout();
    return size_;
}

const TwoColumnMenu::Item* TwoColumnMenu::Find(const QAction* action) const {
    const int index = IndexOf(action);
    return index < 0 ? nullptr : &items_[static_cast<size_t>(index)];
}

int TwoColumnMenu::IndexOf(const QAction* action) const {
    EnsureLayout();
    if (action == nullptr) {
        return -1;
    }
    const auto it = std::find_if(items_.begin(), items_.end(),
                                 [&](const Item& item) { return item.action == action; });
    return it == items_.end() ? -1 : static_cast<int>(it - items_.begin());
}

QRect TwoColumnMenu::ItemRect(const QAction* item) const {
    const Item* found = Find(item);
    return found != nullptr ? found->rect : QRect();
}

int TwoColumnMenu::ColumnOf(const QAction* item) const {
    const Item* found = Find(item);
    return found != nullptr ? found->column : -1;
}

int TwoColumnMenu::ColumnCount() const {
    EnsureLayout();
    return static_cast<int>(columns_.size());
}

QAction* TwoColumnMenu::ActionAt(const QPoint& pos) const {
    EnsureLayout();
    for (const Item& item : items_) {
        if (item.rect.contains(pos)) {
            return item.action;
        }
    }
    return nullptr;
}

QFont TwoColumnMenu::ItemFont(const QAction& action) const {
    return action.font().resolve(font());
}

// ---- state ----------------------------------------------------------------------------

bool TwoColumnMenu::IsSelectable(const QAction& action) {
    return action.isVisible() && !action.isSeparator();
}

bool TwoColumnMenu::IsTriggerable(const QAction* action) const {
    return action != nullptr && isEnabled() && IsSelectable(*action) && action->isEnabled() &&
           IndexOf(action) >= 0;
}

QAction* TwoColumnMenu::ActiveAction() const {
    return active_.data();
}

void TwoColumnMenu::SetActiveAction(QAction* item) {
    if (item != nullptr && (!IsSelectable(*item) || IndexOf(item) < 0)) {
        item = nullptr;
    }
    if (active_ == item) {
        return;
    }
    const QRect before = ItemRect(active_.data());
    active_ = item;
    update(before);
    if (item != nullptr) {
        update(ItemRect(item));
        if (isVisible() && QAccessible::isActive()) {
            setAccessibleName(item->text());
            QAccessibleEvent focus(this, QAccessible::Focus);
            QAccessible::updateAccessibility(&focus);
        }
    }
}

// ---- opening and closing --------------------------------------------------------------

void TwoColumnMenu::Popup(const QPoint& globalPos, OpenedBy openedBy) {
    const QSize size = sizeHint();
    QScreen* screen = QGuiApplication::screenAt(globalPos);
    if (screen == nullptr) {
        screen = this->screen() != nullptr ? this->screen() : QGuiApplication::primaryScreen();
    }
    QPoint topLeft = globalPos;
    if (screen != nullptr) {
        const QRect area = screen->availableGeometry();
        topLeft.setX(PlaceOnAxis(globalPos.x(), size.width(), area.left(), area.right() + 1));
        topLeft.setY(PlaceOnAxis(globalPos.y(), size.height(), area.top(), area.bottom() + 1));
    }
    pressedInside_ = false;
    draggedSinceOpen_ = false;
    openPos_ = QCursor::pos();
    lastMovePos_ = openPos_;
    pointerInside_ = false;
    active_ = nullptr;
    if (openedBy == OpenedBy::Keyboard) {
        active_ = FirstSelectable(0, +1, -1);
    }
    // The client geometry: a popup has no frame, and this keeps it exact where the platform
    // reports frame margins anyway.
    setGeometry(QRect(topLeft, size));
    show();
    update();
}

QAction* TwoColumnMenu::Exec(const QPoint& globalPos, OpenedBy openedBy) {
    ExecState state;
    ExecState* const outer = exec_;
    exec_ = &state;
    const QPointer<TwoColumnMenu> self(this);
    Popup(globalPos, openedBy);
    if (isVisible()) {
        state.loop.exec();
    }
    if (self) {
        exec_ = outer;
    }
    return state.chosen.data();
}

void TwoColumnMenu::hideEvent(QHideEvent* event) {
    QWidget::hideEvent(event);
    active_ = nullptr;
    pressedInside_ = false;
    draggedSinceOpen_ = false;
    if (exec_ != nullptr) {
        exec_->loop.quit();
    }
}

void TwoColumnMenu::ChooseItem(QAction* action) {
    if (!IsTriggerable(action)) {
        return;
    }
    const QPointer<QAction> guard(action);
    if (exec_ != nullptr) {
        exec_->chosen = action;
    }
    close();
    if (guard) {
        guard->trigger();
    }
}

// ---- events ---------------------------------------------------------------------------

bool TwoColumnMenu::event(QEvent* event) {
    // While the popup is open its keys navigate it: no shortcut of the application fires.
    if (event->type() == QEvent::ShortcutOverride) {
        event->accept();
        return true;
    }
    return QWidget::event(event);
}

void TwoColumnMenu::actionEvent(QActionEvent* event) {
    if (event->type() == QEvent::ActionRemoved) {
        std::erase_if(breaks_, [&](const QPointer<QAction>& a) {
            return a.isNull() || a.data() == event->action();
        });
        if (active_.data() == event->action()) {
            active_ = nullptr;
        }
    }
    InvalidateLayout();
}

void TwoColumnMenu::changeEvent(QEvent* event) {
    switch (event->type()) {
    case QEvent::FontChange:
    case QEvent::StyleChange:
    case QEvent::EnabledChange:
        InvalidateLayout();
        break;
    case QEvent::PaletteChange:
        update();
        break;
    default:
        break;
    }
    QWidget::changeEvent(event);
}

void TwoColumnMenu::mousePressEvent(QMouseEvent* event) {
    event->accept();
    if (!rect().contains(event->position().toPoint())) {
        close();
        return;
    }
    pressedInside_ = true;
    QAction* under = ActionAt(event->position().toPoint());
    SetActiveAction(under != nullptr && IsSelectable(*under) ? under : nullptr);
}

void TwoColumnMenu::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    const QPoint global = event->globalPosition().toPoint();
    if (global == lastMovePos_) {
        return; // no real movement (a window appearing under a resting pointer)
    }
    lastMovePos_ = global;
    if (event->buttons() != Qt::NoButton &&
        (global - openPos_).manhattanLength() >= QApplication::startDragDistance()) {
        draggedSinceOpen_ = true;
    }
    const QPoint pos = event->position().toPoint();
    if (!rect().contains(pos)) {
        if (pointerInside_) {
            pointerInside_ = false;
            SetActiveAction(nullptr);
        }
        return;
    }
    pointerInside_ = true;
    QAction* under = ActionAt(pos);
    SetActiveAction(under != nullptr && IsSelectable(*under) ? under : nullptr);
}

void TwoColumnMenu::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    const bool armed = pressedInside_ || draggedSinceOpen_;
    pressedInside_ = false;
    const QPoint pos = event->position().toPoint();
    if (!armed || !rect().contains(pos)) {
        return;
    }
    ChooseItem(ActionAt(pos));
}

void TwoColumnMenu::leaveEvent(QEvent* event) {
    if (pointerInside_) {
        pointerInside_ = false;
        SetActiveAction(nullptr);
    }
    QWidget::leaveEvent(event);
}

void TwoColumnMenu::keyPressEvent(QKeyEvent* event) {
    EnsureLayout();
    QAction* target = nullptr;
    switch (event->key()) {
    case Qt::Key_Up:
        target = StepInColumn(-1);
        break;
    case Qt::Key_Down:
        target = StepInColumn(+1);
        break;
    case Qt::Key_Left:
        target = CrossColumn(-1);
        break;
    case Qt::Key_Right:
        target = CrossColumn(+1);
        break;
    case Qt::Key_Home:
        target = FirstSelectable(0, +1, -1);
        break;
    case Qt::Key_End:
        target = FirstSelectable(static_cast<int>(items_.size()) - 1, -1, -1);
        break;
    case Qt::Key_Return:
    case Qt::Key_Enter:
    case Qt::Key_Space:
        event->accept();
        ChooseItem(active_.data());
        return;
    case Qt::Key_Escape:
        event->accept();
        close();
        return;
    default:
        event->ignore();
        return;
    }
    event->accept();
    if (target != nullptr) {
        SetActiveAction(target);
    }
}

// ---- keyboard moves -------------------------------------------------------------------

// The first selectable item from items_[fromIndex] on in `direction`, staying within
// `column` (any column when -1); nullptr when there is none.
QAction* TwoColumnMenu::FirstSelectable(int fromIndex, int direction, int column) const {
    EnsureLayout();
    for (int i = fromIndex; i >= 0 && i < static_cast<int>(items_.size()); i += direction) {
        const Item& item = items_[static_cast<size_t>(i)];
        if (column >= 0 && item.column != column) {
            break;
        }
        if (IsSelectable(*item.action)) {
            return item.action;
        }
    }
    return nullptr;
}

// Up and down stay in the active item's column, skip separators and wrap round. With
// nothing highlighted, down takes the first item of the menu and up the last.
QAction* TwoColumnMenu::StepInColumn(int direction) const {
    const int index = IndexOf(active_.data());
    if (index < 0) {
        return direction > 0 ? FirstSelectable(0, +1, -1)
                             : FirstSelectable(static_cast<int>(items_.size()) - 1, -1, -1);
    }
    const Item& current = items_[static_cast<size_t>(index)];
    const int first = index - current.row;
    int count = 0;
    while (first + count < static_cast<int>(items_.size()) &&
           items_[static_cast<size_t>(first + count)].column == current.column) {
        ++count;
    }
    for (int step = 1; step <= count; ++step) {
        const int row = ((current.row + direction * step) % count + count) % count;
        QAction* candidate = items_[static_cast<size_t>(first + row)].action;
        if (IsSelectable(*candidate)) {
            return candidate;
        }
    }
    return nullptr;
}

// Left and right go to the neighbouring column (round from the last to the first), to the
// item level with the active one: the nearest by vertical centre, the upper one of two
// equally near; so a shorter column is entered at its last item, and a separator in the
// way gives way to the item beside it.
QAction* TwoColumnMenu::CrossColumn(int direction) const {
    const int index = IndexOf(active_.data());
    if (index < 0) {
        return FirstSelectable(0, +1, -1);
    }
    const int columns = static_cast<int>(columns_.size());
    if (columns < 2) {
        return nullptr;
    }
    const Item& current = items_[static_cast<size_t>(index)];
    const int target = ((current.column + direction) % columns + columns) % columns;
    const int level = current.rect.top() + current.rect.bottom();
    QAction* nearest = nullptr;
    int nearestDistance = 0;
    for (const Item& item : items_) {
        if (item.column != target || !IsSelectable(*item.action)) {
            continue;
        }
        const int distance = std::abs(item.rect.top() + item.rect.bottom() - level);
        if (nearest == nullptr || distance < nearestDistance) {
            nearest = item.action;
            nearestDistance = distance;
        }
    }
    return nearest;
}

// ---- painting -------------------------------------------------------------------------

void TwoColumnMenu::paintEvent(QPaintEvent* event) {
    EnsureLayout();
    QPainter painter(this);
    const Metrics m(fontMetrics());
    painter.fillRect(rect(), palette().brush(QPalette::Window));
    for (const Item& item : items_) {
        if (event->rect().intersects(item.rect)) {
            PaintItem(painter, item, m);
        }
    }
    PaintColumnBars(painter);
    qDrawWinPanel(&painter, rect(), palette(), false);
}

void TwoColumnMenu::PaintItem(QPainter& painter, const Item& item, const Metrics& m) const {
    const QAction& action = *item.action;
    const QRect& r = item.rect;
    if (action.isSeparator()) {
        const int y = r.top() + (r.height() - 2) / 2;
        qDrawShadeLine(&painter, r.left() + 1, y, r.right() - 1, y, palette(), true, 1, 0);
        return;
    }
    const bool selected = active_.data() == &action;
    const bool enabled = isEnabled() && action.isEnabled();
    if (selected) {
        painter.fillRect(r, palette().brush(QPalette::Active, QPalette::Highlight));
    }
    QColor ink = palette().color(QPalette::Active,
                                 selected ? QPalette::HighlightedText : QPalette::WindowText);
    if (!enabled) {
        ink = palette().color(QPalette::Disabled, QPalette::WindowText);
    }
    // Greyed items are drawn etched: a light copy one pixel down and right under the grey.
    const bool etched = !enabled && !selected;
    const QColor etch = palette().color(QPalette::Active, QPalette::Light);

    const QRect textRect = r.adjusted(m.checkColumn, 0, -m.rightPadding, 0);
    painter.setFont(ItemFont(action));
    if (etched) {
        painter.setPen(etch);
        painter.drawText(textRect.translated(1, 1), kTextFlags, action.text());
    }
    painter.setPen(ink);
    painter.drawText(textRect, kTextFlags, action.text());

    if (action.isCheckable() && action.isChecked()) {
        // A tick in the check column, its size following the font.
        const qreal side = std::max(7, fontMetrics().height() / 2);
        const QPointF origin(r.left() + (m.checkColumn - side) / 2.0,
                             r.top() + (r.height() - side) / 2.0);
        QPainterPath tick;
        tick.moveTo(origin + QPointF(0, side * 0.5));
        tick.lineTo(origin + QPointF(side * 0.38, side * 0.9));
        tick.lineTo(origin + QPointF(side, side * 0.1));
        painter.save();
        painter.setRenderHint(QPainter::Antialiasing);
        painter.setBrush(Qt::NoBrush);
        const qreal width = std::max(1.5, side / 5.0);
        if (etched) {
            painter.setPen(QPen(etch, width));
            painter.drawPath(tick.translated(1, 1));
        }
        painter.setPen(QPen(ink, width));
        painter.drawPath(tick);
        painter.restore();
    }
}

void TwoColumnMenu::PaintColumnBars(QPainter& painter) const {
    const Metrics m(fontMetrics());
    for (size_t c = 1; c < columns_.size(); ++c) {
        const int x = columns_[c].left() - (m.barWidth + 2) / 2;
        qDrawShadeLine(&painter, x, m.frame, x, height() - m.frame - 1, palette(), true, 1, 0);
    }
}

} // namespace tessaly
