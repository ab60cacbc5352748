#include "overview/OverviewGrid.h"

#include "colour/DisplayColours.h"
#include "thumbnails/ThumbnailService.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QScrollBar>
#include <QToolTip>
#include <algorithm>
#include <filesystem>
#include <string_view>
#include <unordered_set>

namespace tessaly {

namespace {

// The work for the cells on screen is cancelled once the grid has been hidden this long:
// stepping into a picture and straight back keeps it running.
constexpr int kCancelAfterMs = 1500;

QString FileName(const std::string& path) {
    return QString::fromUtf8(std::filesystem::path(path).filename().string());
}

// A frame of the box's size, for a cell whose thumbnail is not there yet.
void DrawPlaceholder(QPainter& painter, const QRect& box) {
    painter.setPen(QPen(QColor(0, 0, 0, 40), 1));
    painter.setBrush(QColor(0, 0, 0, 16));
    painter.drawRect(box.adjusted(8, 8, -9, -9));
}

// A sheet torn in two, for a file that cannot be made into a thumbnail.
void DrawBroken(QPainter& painter, const QRect& box) {
    const QRect sheet = box.adjusted(28, 20, -28, -20);
    const int mid = sheet.center().y();
    QPainterPath tear;
    tear.moveTo(sheet.left(), mid);
    for (int x = sheet.left(), k = 0; x <= sheet.right(); x += 9, ++k)
        tear.lineTo(x, mid + (k % 2 == 0 ? -5 : 5));
    painter.setRenderHint(QPainter::Antialiasing, true);
    painter.setBrush(QColor(250, 250, 250));
    painter.setPen(QPen(QColor(120, 120, 120), 1.5));
    painter.drawRect(sheet.adjusted(0, 0, 0, -sheet.height() / 2 - 4));
    painter.drawRect(sheet.adjusted(0, sheet.height() / 2 + 4, 0, 0));
    painter.setPen(QPen(QColor(190, 40, 40), 2));
    painter.drawPath(tear);
    painter.setRenderHint(QPainter::Antialiasing, false);
}

} // namespace

OverviewGrid::OverviewGrid(ThumbnailCache cache, DisplayColours* colours, QWidget* parent)
    : QAbstractScrollArea(parent), colours_(colours) {
    // The worker only asks the GUI thread to take the results; the service's destructor
    // waits for its workers, and queued calls to a destroyed grid are dropped.
    service_ = std::make_unique<ThumbnailService>(std::move(cache), [this] {
        QMetaObject::invokeMethod(
            this, [this] { TakeResults(); }, Qt::QueuedConnection);
    });
    setFocusPolicy(Qt::NoFocus);
    viewport()->setFocusPolicy(Qt::NoFocus);
    verticalScrollBar()->setFocusPolicy(Qt::NoFocus);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    setFrameShape(QFrame::NoFrame);
    viewport()->setBackgroundRole(QPalette::Base);
    cancelLater_.setSingleShot(true);
    cancelLater_.setInterval(kCancelAfterMs);
    connect(&cancelLater_, &QTimer::timeout, this, [this] {
        service_->Cancel();
        requestedOnce_ = false; // asked again when the grid shows
    });
}

OverviewGrid::~OverviewGrid() {
    service_.reset(); // no worker calls back after this
}

int OverviewGrid::CellWidth() const {
    return kBox + 2 * kMargin;
}

int OverviewGrid::CellHeight() const {
    return kMargin + kBox + kNameGap + fontMetrics().height() + kMargin;
}

std::int64_t OverviewGrid::ScrollY() const {
    return verticalScrollBar()->value();
}

GridGeometry OverviewGrid::Geometry() const {
    return {CellWidth(), CellHeight(), viewport()->width(), viewport()->height(), paths_.size()};
}

GridGeometry::Range OverviewGrid::VisibleCells() const {
    return Geometry().Visible(ScrollY());
}

QRect OverviewGrid::BoxRect(std::size_t index) const {
    const GridCell cell = Geometry().Cell(index);
    return {static_cast<int>(cell.left) + kMargin, static_cast<int>(cell.top - ScrollY()) + kMargin,
            kBox, kBox};
}

void OverviewGrid::SetList(const std::vector<std::string>& paths) {
    if (paths == paths_)
        return;
    paths_ = paths;
    converted_.clear(); // by cell: converted again from the moved thumbnails
    if (!errors_.empty()) {
        const std::unordered_set<std::string_view> listed(paths_.begin(), paths_.end());
        std::erase_if(errors_, [&](const auto& error) { return !listed.contains(error.first); });
    }
    current_ = std::min(current_, paths_.empty() ? 0 : paths_.size() - 1);
    service_->SetList(paths_, SizeForCell(kBox, devicePixelRatioF()));
    requestedOnce_ = false;
    UpdateBars(); // keeps the scroll position, within the new range
    RequestVisible(0);
    viewport()->update();
}

void OverviewGrid::FileChanged(const std::string& path) {
    service_->Changed(path);
    errors_.erase(path);
    for (std::size_t i = 0; i < paths_.size(); ++i)
        if (paths_[i] == path)
            converted_.erase(i);
    requestedOnce_ = false;
    RequestVisible(0);
    viewport()->update();
}

void OverviewGrid::SetCurrent(std::size_t index) {
    if (paths_.empty())
        return;
    index = std::min(index, paths_.size() - 1);
    const GridGeometry grid = Geometry();
    const std::int64_t scroll = grid.ScrollToShow(index, ScrollY());
    if (index != current_) {
        viewport()->update(BoxRect(current_).adjusted(-kMargin, -kMargin, kMargin, CellHeight()));
        current_ = index;
        viewport()->update(BoxRect(current_).adjusted(-kMargin, -kMargin, kMargin, CellHeight()));
    }
    verticalScrollBar()->setValue(static_cast<int>(scroll));
}

void OverviewGrid::UpdateBars() {
    const GridGeometry grid = Geometry();
    QScrollBar& bar = *verticalScrollBar();
    bar.setRange(0, static_cast<int>(std::min<std::int64_t>(grid.MaxScroll(), INT_MAX)));
    bar.setPageStep(std::max(1, viewport()->height()));
    bar.setSingleStep(std::max(1, CellHeight() / 3));
}

void OverviewGrid::RequestVisible(int direction) {
    if (!isVisible() || paths_.empty())
        return;
    const GridGeometry::Range range = VisibleCells();
    if (requestedOnce_ && range.first == requested_.first && range.count == requested_.count)
        return;
    requested_ = range;
    requestedOnce_ = true;
    service_->Show(range.first, range.count, direction);
}

void OverviewGrid::TakeResults() {
    const GridGeometry::Range range = VisibleCells();
    bool onScreen = false;
    for (ThumbnailNote& note : service_->TakeResults()) {
        onScreen =
            onScreen || (note.index >= range.first && note.index < range.first + range.count);
        if (note.failed && note.index < paths_.size())
            errors_[paths_[note.index]] = std::move(note.error);
    }
    if (onScreen)
        viewport()->update();
}

QImage OverviewGrid::Shown(std::size_t index, const QImage& held) {
    if (colours_ == nullptr)
        return held;
    const ColourConversion conversion = colours_->ForPicture({}, PixelKind::Rgb);
    if (!conversion.Needed())
        return held;
    Converted& kept = converted_[index];
    // Made again when the thumbnail or the display's profile changed.
    if (kept.image.isNull() || kept.source != held.cacheKey() ||
        kept.transform != conversion.transform) {
        QImage bgr = held.convertToFormat(QImage::Format_BGR888);
        conversion.transform->ApplyRows(bgr.bits(), static_cast<std::size_t>(bgr.bytesPerLine()),
                                        bgr.width(), bgr.height());
        kept = {held.cacheKey(), conversion.transform, std::move(bgr)};
    }
    return kept.image;
}

void OverviewGrid::DrawCell(QPainter& painter, std::size_t index, bool& waiting) {
    const QRect box = BoxRect(index);
    const QRect cell = box.adjusted(-kMargin, -kMargin, kMargin, CellHeight() - kMargin - kBox);
    const bool current = index == current_;
    if (current) {
        QColor mark = palette().color(QPalette::Highlight);
        mark.setAlpha(70);
        painter.fillRect(cell.adjusted(1, 1, -1, -1), mark);
        painter.setPen(QPen(palette().color(QPalette::Highlight), 2));
        painter.setBrush(Qt::NoBrush);
        painter.drawRect(cell.adjusted(2, 2, -2, -2));
    }
    switch (service_->StateOf(index)) {
    case ThumbnailService::State::Ready:
        if (const QImage held = service_->Held(index); !held.isNull()) {
            const QImage image = Shown(index, held);
            const FittedSize size =
                FitInBox(image.width(), image.height(), kBox, devicePixelRatioF());
            const QRectF target(box.x() + (kBox - size.width) / 2,
                                box.y() + (kBox - size.height) / 2, size.width, size.height);
            painter.drawImage(target, image);
            break;
        }
        [[fallthrough]]; // dropped for memory since: read back from the cache
    case ThumbnailService::State::Waiting:
        waiting = true;
        DrawPlaceholder(painter, box);
        break;
    case ThumbnailService::State::Failed:
        DrawBroken(painter, box);
        break;
    }
    const QRect name(cell.left() + kMargin, box.bottom() + 1 + kNameGap, cell.width() - 2 * kMargin,
                     fontMetrics().height());
    painter.setPen(palette().color(current ? QPalette::HighlightedText : QPalette::Text));
    if (current)
        painter.fillRect(name, palette().color(QPalette::Highlight));
    painter.drawText(
        name, Qt::AlignHCenter | Qt::AlignVCenter,
        fontMetrics().elidedText(FileName(paths_[index]), Qt::ElideMiddle, name.width()));
}

void OverviewGrid::paintEvent(QPaintEvent*) {
    QPainter painter(viewport());
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    const GridGeometry::Range range = VisibleCells();
    bool waiting = false;
    for (std::size_t i = range.first; i < range.first + range.count; ++i)
        DrawCell(painter, i, waiting);
    // The converted copies are kept for the cells on screen only.
    std::erase_if(converted_, [&](const auto& kept) {
        return kept.first < range.first || kept.first >= range.first + range.count;
    });
    if (!waiting && range.count > 0)
        emit ScreenComplete();
}

void OverviewGrid::resizeEvent(QResizeEvent* event) {
    QAbstractScrollArea::resizeEvent(event);
    UpdateBars();
    if (!paths_.empty())
        verticalScrollBar()->setValue(
            static_cast<int>(Geometry().ScrollToShow(current_, ScrollY())));
    RequestVisible(0);
}

void OverviewGrid::scrollContentsBy(int, int dy) {
    viewport()->update();
    // The content moving up: scrolling towards the end of the list.
    RequestVisible(dy < 0 ? 1 : dy > 0 ? -1 : 0);
}

void OverviewGrid::mousePressEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        if (const auto index = Geometry().CellAt(p.x(), p.y(), ScrollY()))
            emit Clicked(*index);
}

void OverviewGrid::mouseDoubleClickEvent(QMouseEvent* event) {
    const QPoint p = event->position().toPoint();
    if (event->button() == Qt::LeftButton)
        if (const auto index = Geometry().CellAt(p.x(), p.y(), ScrollY()))
            emit Activated(*index);
}

void OverviewGrid::mouseReleaseEvent(QMouseEvent* event) {
    if (event->button() == Qt::RightButton)
        emit MenuRequested(event->globalPosition().toPoint());
}

void OverviewGrid::keyPressEvent(QKeyEvent* event) {
    event->ignore(); // the parent's command table handles keys
}

bool OverviewGrid::viewportEvent(QEvent* event) {
    if (event->type() != QEvent::ToolTip)
        return QAbstractScrollArea::viewportEvent(event);
    const auto& help = static_cast<const QHelpEvent&>(*event);
    const auto index = Geometry().CellAt(help.pos().x(), help.pos().y(), ScrollY());
    const auto error =
        index && *index < paths_.size() ? errors_.find(paths_[*index]) : errors_.end();
    if (error != errors_.end())
        QToolTip::showText(help.globalPos(), QString::fromStdString(error->second), viewport());
    else
        QToolTip::hideText();
    return true;
}

void OverviewGrid::showEvent(QShowEvent* event) {
    QAbstractScrollArea::showEvent(event);
    cancelLater_.stop();
    UpdateBars();
    RequestVisible(0);
}

void OverviewGrid::hideEvent(QHideEvent* event) {
    QAbstractScrollArea::hideEvent(event);
    cancelLater_.start();
}

} // namespace tessaly
