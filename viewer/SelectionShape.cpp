#include "viewer/SelectionShape.h"

#include <QPainter>

namespace tessaly {

SelectionShape::SelectionShape(Fill fill, QWidget* parent) : QWidget(parent), fill_(fill) {
    setAttribute(Qt::WA_NoSystemBackground);
    setAutoFillBackground(false);
}

void SelectionShape::paintEvent(QPaintEvent*) {
    QPainter painter(this);
    const int w = width();
    const int h = height();
    if (fill_ == Fill::Black) {
        // The handle is solid black: an inverting outline over black would turn its border
        // white and make it read as a "#" on a light picture.
        painter.fillRect(rect(), Qt::black);
        return;
    }
    // Invert every other pixel of the outermost rows and columns, walking the border once
    // so that no pixel is inverted twice.
    painter.setCompositionMode(QPainter::RasterOp_NotDestination);
    auto dot = [&painter](int x, int y) { painter.fillRect(x, y, 1, 1, Qt::white); };
    int step = 0;
    auto visit = [&](int x, int y) {
        if (step++ % 2 == 0)
            dot(x, y);
    };
    for (int x = 0; x < w; ++x)
        visit(x, 0);
    for (int y = 1; y < h; ++y)
        visit(w - 1, y);
    if (h > 1)
        for (int x = w - 2; x >= 0; --x)
            visit(x, h - 1);
    if (w > 1)
        for (int y = h - 2; y >= 1; --y)
            visit(0, y);
}

} // namespace tessaly
