// The shapes of the selection: the rectangle (a hollow, dotted outline) and its corner
// handle (a solid black square). The outline is drawn by inverting the pixels beneath it,
// every other pixel along the border, so it stays visible on light and dark pictures. The
// whole bounds receive the mouse, the hollow interior included.
#pragma once

#include <QWidget>

namespace tessaly {

class SelectionShape : public QWidget {
    Q_OBJECT
public:
    enum class Fill { None, Black };
    explicit SelectionShape(Fill fill, QWidget* parent = nullptr);

protected:
    void paintEvent(QPaintEvent* event) override;

private:
    Fill fill_;
};

} // namespace tessaly
