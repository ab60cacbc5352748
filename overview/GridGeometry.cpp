#include "overview/GridGeometry.h"

#include <algorithm>

namespace tessaly {

GridGeometry::GridGeometry(int cellWidth, int cellHeight, int viewportWidth, int viewportHeight,
                           std::size_t count)
    : cellWidth_(std::max(1, cellWidth)), cellHeight_(std::max(1, cellHeight)),
      viewportWidth_(std::max(0, viewportWidth)), viewportHeight_(std::max(0, viewportHeight)),
      count_(count), columns_(std::max(1, viewportWidth_ / cellWidth_)) {}

std::size_t GridGeometry::Rows() const {
    const auto columns = static_cast<std::size_t>(columns_);
    return (count_ + columns - 1) / columns;
}

std::int64_t GridGeometry::ContentHeight() const {
    return static_cast<std::int64_t>(Rows()) * cellHeight_;
}

std::int64_t GridGeometry::MaxScroll() const {
    return std::max<std::int64_t>(0, ContentHeight() - viewportHeight_);
}

std::int64_t GridGeometry::Clamp(std::int64_t scrollY) const {
    return std::clamp<std::int64_t>(scrollY, 0, MaxScroll());
}

GridCell GridGeometry::Cell(std::size_t index) const {
    const auto columns = static_cast<std::size_t>(columns_);
    const int margin = std::max(0, (viewportWidth_ - columns_ * cellWidth_) / 2);
    return {.left = margin + static_cast<std::int64_t>(index % columns) * cellWidth_,
            .top = static_cast<std::int64_t>(index / columns) * cellHeight_,
            .width = cellWidth_,
            .height = cellHeight_};
}

GridGeometry::Range GridGeometry::Visible(std::int64_t scrollY) const {
    if (count_ == 0 || viewportHeight_ == 0)
        return {};
    scrollY = Clamp(scrollY);
    const auto firstRow = static_cast<std::size_t>(scrollY / cellHeight_);
    const auto endRow = static_cast<std::size_t>((scrollY + viewportHeight_ - 1) / cellHeight_) + 1;
    const auto columns = static_cast<std::size_t>(columns_);
    const std::size_t first = std::min(count_, firstRow * columns);
    const std::size_t end = std::min(count_, endRow * columns);
    return {first, end - first};
}

std::optional<std::size_t> GridGeometry::CellAt(int x, int y, std::int64_t scrollY) const {
    const GridCell origin = Cell(0);
    const std::int64_t cx = x - origin.left;
    const std::int64_t cy = Clamp(scrollY) + y;
    if (cx < 0 || cy < 0 || cx >= static_cast<std::int64_t>(columns_) * cellWidth_)
        return std::nullopt;
    const auto index = static_cast<std::size_t>(cy / cellHeight_) * columns_ +
                       static_cast<std::size_t>(cx / cellWidth_);
    if (index >= count_)
        return std::nullopt;
    return index;
}

std::int64_t GridGeometry::ScrollToShow(std::size_t index, std::int64_t scrollY) const {
    if (count_ == 0)
        return 0;
    const GridCell cell = Cell(std::min(index, count_ - 1));
    if (cell.top < scrollY || cellHeight_ > viewportHeight_)
        scrollY = cell.top;
    else if (cell.top + cellHeight_ > scrollY + viewportHeight_)
        scrollY = cell.top + cellHeight_ - viewportHeight_;
    return Clamp(scrollY);
}

int GridGeometry::PageRows() const {
    return std::max(1, viewportHeight_ / cellHeight_);
}

std::size_t GridGeometry::Move(std::size_t index, GridMove move) const {
    if (count_ == 0)
        return 0;
    const std::size_t last = count_ - 1;
    index = std::min(index, last);
    const auto columns = static_cast<std::size_t>(columns_);
    const std::size_t page = static_cast<std::size_t>(PageRows()) * columns;
    switch (move) {
    case GridMove::Left:
        return index == 0 ? 0 : index - 1;
    case GridMove::Right:
        return std::min(index + 1, last);
    case GridMove::Up:
        return index >= columns ? index - columns : index;
    case GridMove::Down:
        if (index + columns <= last)
            return index + columns;
        return index / columns < last / columns ? last : index;
    case GridMove::Home:
        return 0;
    case GridMove::End:
        return last;
    case GridMove::PageUp:
        return index >= page ? index - page : 0;
    case GridMove::PageDown:
        return std::min(index + page, last);
    }
    return index;
}

FittedSize FitInBox(int width, int height, int box, double devicePixelRatio) {
    if (width <= 0 || height <= 0 || box <= 0)
        return {1, 1};
    const double ratio = devicePixelRatio > 0 ? devicePixelRatio : 1;
    const double w = width / ratio, h = height / ratio;
    const double scale = std::min({1.0, box / w, box / h});
    return {std::max(1.0, w * scale), std::max(1.0, h * scale)};
}

} // namespace tessaly
