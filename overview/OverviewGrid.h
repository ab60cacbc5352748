// The overview: a grid of the list's thumbnails over a scroll area, drawn cell by cell for
// the visible cells only (no widget per entry), so that a list of 100,000 entries scrolls as
// smoothly as one of ten.
//
// A cell is a box of 128 x 128 logical pixels with the thumbnail fitted inside (upright and
// in sRGB from the thumbnail service, converted to the display's colours when the display
// has a profile), and the file name below it, elided in the middle. A cell whose thumbnail is
// not there yet shows a placeholder, and one that failed a broken picture: the grid never
// waits for a thumbnail. The current cell is marked and kept in view.
//
// The thumbnail service is asked for the visible cells whenever they change, with the
// direction of scrolling; when the grid is hidden for longer than a moment its work is
// cancelled, and asked again when the grid shows. Keys are left to the parent (the main
// window's command table moves the current cell); clicks, double-clicks and the menu's
// right-click are reported as signals. A broken picture's tooltip tells why it failed.
#pragma once

#include "colour/ColourTransform.h"
#include "overview/GridGeometry.h"
#include "thumbnails/ThumbnailCache.h"

#include <QAbstractScrollArea>
#include <QImage>
#include <QTimer>
#include <cstddef>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessaly {

class DisplayColours;
class ThumbnailService;

class OverviewGrid : public QAbstractScrollArea {
    Q_OBJECT
public:
    static constexpr int kBox = 128;   // the thumbnail's box, logical pixels
    static constexpr int kMargin = 6;  // around the box and the name, inside the cell
    static constexpr int kNameGap = 4; // between the box and the name

    // Thumbnails from `cache`; drawn in the colours of `colours` (null: as the service gives
    // them, sRGB).
    OverviewGrid(ThumbnailCache cache, DisplayColours* colours, QWidget* parent = nullptr);
    ~OverviewGrid() override;

    // The list the cells show; the same list again changes nothing. A changed list keeps
    // what the grid has of the files still listed (their thumbnails, their failures) and the
    // scroll position, so that a file added or removed redraws only what moved.
    void SetList(const std::vector<std::string>& paths);
    // The file at `path` changed (a turn or bake in the single view, its undo): its cell is
    // made again from the file.
    void FileChanged(const std::string& path);
    // Marks cell `index` (0-based) and scrolls so that it is in view.
    void SetCurrent(std::size_t index);
    std::size_t Current() const { return current_; }

    // The arithmetic of the grid as it is laid out now.
    GridGeometry Geometry() const;
    // The cells the viewport shows now.
    GridGeometry::Range VisibleCells() const;
    // The viewport rectangle of cell `index`'s thumbnail box.
    QRect BoxRect(std::size_t index) const;

    ThumbnailService& Service() { return *service_; }

signals:
    void Clicked(std::size_t index);
    void Activated(std::size_t index); // double-clicked
    void MenuRequested(QPoint globalPos);
    // Every thumbnail the viewport shows is drawn (none is waiting); for tests and benchmarks.
    void ScreenComplete();

protected:
    void paintEvent(QPaintEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    void scrollContentsBy(int dx, int dy) override;
    void mousePressEvent(QMouseEvent* event) override;
    void mouseDoubleClickEvent(QMouseEvent* event) override;
    void mouseReleaseEvent(QMouseEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void showEvent(QShowEvent* event) override;
    void hideEvent(QHideEvent* event) override;
    // A failed cell's tooltip says why it failed.
    bool viewportEvent(QEvent* event) override;

private:
    int CellWidth() const;
    int CellHeight() const;
    std::int64_t ScrollY() const;
    void UpdateBars();
    // Tells the service which cells are visible, when they changed.
    void RequestVisible(int direction);
    void TakeResults();
    // The thumbnail of a ready cell as it is drawn: converted to the display's colours when
    // the display has a profile (kept for the cells on screen).
    QImage Shown(std::size_t index, const QImage& held);
    void DrawCell(QPainter& painter, std::size_t index, bool& waiting);

    std::unique_ptr<ThumbnailService> service_;
    DisplayColours* colours_;
    std::vector<std::string> paths_;
    std::size_t current_ = 0;
    GridGeometry::Range requested_{0, 0};
    bool requestedOnce_ = false;
    QTimer cancelLater_;
    struct Converted {
        qint64 source = 0;                                // the held image's cacheKey
        std::shared_ptr<const ColourTransform> transform; // the conversion it was made with
        QImage image;
    };
    std::unordered_map<std::size_t, Converted> converted_;
    std::unordered_map<std::string, std::string> errors_; // why a file failed, by its path
};

} // namespace tessaly
