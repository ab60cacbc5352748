#include "viewer/ScrollingClient.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

namespace tessaly {

ScrollingClient::ScrollingClient(QWidget* parent)
    : QWidget(parent), viewport_(new QWidget(this)), hbar_(new QScrollBar(Qt::Horizontal, this)),
      vbar_(new QScrollBar(Qt::Vertical, this)) {
    hbar_->hide();
    vbar_->hide();
    hbar_->setFocusPolicy(Qt::NoFocus);
    vbar_->setFocusPolicy(Qt::NoFocus);
    connect(hbar_, &QScrollBar::valueChanged, this,
            [this](int v) { OnBarMoved(Qt::Horizontal, v); });
    connect(vbar_, &QScrollBar::valueChanged, this, [this](int v) { OnBarMoved(Qt::Vertical, v); });
}

void ScrollingClient::SetContent(QWidget* content) {
    content_ = content;
    content->setParent(viewport_);
    Realign();
}

void ScrollingClient::SetFilling(bool filling) {
    filling_ = filling;
    Realign();
}

int ScrollingClient::ClientWidth() const {
    return viewport_->width();
}
int ScrollingClient::ClientHeight() const {
    return viewport_->height();
}

int ScrollingClient::HorzRange() const {
    return content_ && !filling_ ? content_->x() + hpos_ + content_->width() : 0;
}

int ScrollingClient::VertRange() const {
    return content_ && !filling_ ? content_->y() + vpos_ + content_->height() : 0;
}

bool ScrollingClient::HorzBarVisible() const {
    return !hbar_->isHidden();
}
bool ScrollingClient::VertBarVisible() const {
    return !vbar_->isHidden();
}

void ScrollingClient::SetHorzPosition(int position) {
    const int limit = std::max(0, HorzRange() - ClientWidth());
    position = std::clamp(position, 0, limit);
    if (position != hpos_ && content_)
        content_->move(content_->x() + (hpos_ - position), content_->y());
    hpos_ = position;
    Realign();
}

void ScrollingClient::SetVertPosition(int position) {
    const int limit = std::max(0, VertRange() - ClientHeight());
    position = std::clamp(position, 0, limit);
    if (position != vpos_ && content_)
        content_->move(content_->x(), content_->y() + (vpos_ - position));
    vpos_ = position;
    Realign();
}

void ScrollingClient::SetContentGeometry(const QRect& bounds) {
    if (content_)
        content_->setGeometry(bounds);
    Realign();
}

void ScrollingClient::MoveContent(int left, int top) {
    if (content_)
        content_->move(left, top);
    Realign();
}

void ScrollingClient::ResizeContent(int width, int height) {
    if (content_)
        content_->resize(width, height);
    Realign();
}

void ScrollingClient::Realign() {
    if (realigning_)
        return;
    realigning_ = true;
    const int fullW = width();
    const int fullH = height();
    if (filling_ || !content_) {
        // A filling content covers the client area: scroll positions go back to 0.
        hpos_ = vpos_ = 0;
        hbar_->hide();
        vbar_->hide();
        viewport_->setGeometry(0, 0, fullW, fullH);
        if (content_)
            content_->setGeometry(0, 0, fullW, fullH);
        realigning_ = false;
        return;
    }
    const int extent = style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
    const int rangeW = HorzRange();
    const int rangeH = VertRange();
    bool needH = rangeW > fullW;
    bool needV = rangeH > fullH;
    if (needH && !needV)
        needV = rangeH > fullH - extent;
    if (needV && !needH)
        needH = rangeW > fullW - extent;
    const int clientW = std::max(0, fullW - (needV ? extent : 0));
    const int clientH = std::max(0, fullH - (needH ? extent : 0));
    viewport_->setGeometry(0, 0, clientW, clientH);

    // A position beyond the new limit scrolls back, moving the content with it.
    const int maxH = std::max(0, rangeW - clientW);
    const int maxV = std::max(0, rangeH - clientH);
    if (hpos_ > maxH) {
        content_->move(content_->x() + (hpos_ - maxH), content_->y());
        hpos_ = maxH;
    }
    if (vpos_ > maxV) {
        content_->move(content_->x(), content_->y() + (vpos_ - maxV));
        vpos_ = maxV;
    }
    {
        const QSignalBlocker hb(hbar_);
        const QSignalBlocker vb(vbar_);
        hbar_->setRange(0, maxH);
        hbar_->setPageStep(std::max(1, clientW));
        hbar_->setSingleStep(8);
        hbar_->setValue(hpos_);
        vbar_->setRange(0, maxV);
        vbar_->setPageStep(std::max(1, clientH));
        vbar_->setSingleStep(8);
        vbar_->setValue(vpos_);
    }
    hbar_->setGeometry(0, clientH, clientW, extent);
    vbar_->setGeometry(clientW, 0, extent, clientH);
    hbar_->setVisible(needH);
    vbar_->setVisible(needV);
    realigning_ = false;
}

void ScrollingClient::OnBarMoved(Qt::Orientation orientation, int value) {
    if (orientation == Qt::Horizontal)
        SetHorzPosition(value);
    else
        SetVertPosition(value);
}

void ScrollingClient::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    Realign();
    emit Resized();
}

void ScrollingClient::wheelEvent(QWheelEvent* event) {
    const QPoint steps = event->angleDelta() / 120 * 3 * 8;
    if (event->modifiers() & Qt::ShiftModifier || steps.y() == 0)
        SetHorzPosition(hpos_ - (steps.y() != 0 ? steps.y() : steps.x()));
    else
        SetVertPosition(vpos_ - steps.y());
    event->accept();
}

} // namespace tessaly
