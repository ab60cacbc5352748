#include "viewer/ScrollingClient.h"

#include <QResizeEvent>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStyle>
#include <QWheelEvent>
#include <algorithm>

namespace tessaly {

ViewPanel::ViewPanel(QWidget* parent) : QFrame(parent) {
    setFrameStyle(QFrame::Panel | QFrame::Raised);
    setLineWidth(1);
    setAutoFillBackground(true);
}

ScrollingClient::ScrollingClient(QWidget* parent)
    : QWidget(parent), viewport_(new QWidget(this)), hbar_(new QScrollBar(Qt::Horizontal, this)),
      vbar_(new QScrollBar(Qt::Vertical, this)) {
    hbar_->hide();
    vbar_->hide();
    hbar_->setFocusPolicy(Qt::NoFocus);
    vbar_->setFocusPolicy(Qt::NoFocus);
    connect(hbar_, &QScrollBar::valueChanged, this,
            [this](int v) { emit ScrollRequested(v, shown_.VertPosition()); });
    connect(vbar_, &QScrollBar::valueChanged, this,
            [this](int v) { emit ScrollRequested(shown_.HorzPosition(), v); });
}

void ScrollingClient::SetContent(QWidget* content) {
    content_ = content;
    content->setParent(viewport_);
}

int ScrollingClient::BarExtent() const {
    return style()->pixelMetric(QStyle::PM_ScrollBarExtent, nullptr, this);
}

void ScrollingClient::Show(const ScrollArea& area) {
    shown_ = area;
    const int clientW = area.ClientWidth();
    const int clientH = area.ClientHeight();
    viewport_->setGeometry(0, 0, clientW, clientH);
    if (content_) {
        const Rect& c = area.Content();
        content_->setGeometry(c.left, c.top, c.width, c.height);
    }
    {
        const QSignalBlocker hb(hbar_);
        const QSignalBlocker vb(vbar_);
        hbar_->setRange(0, area.HorzMax());
        hbar_->setPageStep(std::max(1, clientW));
        hbar_->setSingleStep(8);
        hbar_->setValue(area.HorzPosition());
        vbar_->setRange(0, area.VertMax());
        vbar_->setPageStep(std::max(1, clientH));
        vbar_->setSingleStep(8);
        vbar_->setValue(area.VertPosition());
    }
    const int extent = area.BarExtent();
    hbar_->setGeometry(0, clientH, clientW, extent);
    vbar_->setGeometry(clientW, 0, extent, clientH);
    hbar_->setVisible(area.HorzBarVisible());
    vbar_->setVisible(area.VertBarVisible());
}

void ScrollingClient::resizeEvent(QResizeEvent* event) {
    QWidget::resizeEvent(event);
    emit Resized(width(), height());
}

void ScrollingClient::wheelEvent(QWheelEvent* event) {
    const QPoint steps = event->angleDelta() / 120 * 3 * 8;
    int h = shown_.HorzPosition();
    int v = shown_.VertPosition();
    if (event->modifiers() & Qt::ShiftModifier || steps.y() == 0)
        h -= steps.y() != 0 ? steps.y() : steps.x();
    else
        v -= steps.y();
    emit ScrollRequested(h, v);
    event->accept();
}

} // namespace tessaly
