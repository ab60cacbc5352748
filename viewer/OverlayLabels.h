// The EXIF overlay's two labels over the picture: the text in red at (2, 2) and a copy of it
// one pixel right and below in the highlighted-text colour, both in the overlay's font and
// passing the mouse through to what lies under them.
#pragma once

#include <QString>

class QLabel;
class QWidget;

namespace tessaly {

struct OverlayLabels {
    QLabel* text = nullptr;
    QLabel* copy = nullptr;

    // Creates both labels, hidden, on `panel`.
    static OverlayLabels Create(QWidget& panel);
    // Shows `shown` ("\r\n" line breaks read as "\n") on both, above the picture.
    void Show(const QString& shown) const;
    // Hides and empties both.
    void Hide() const;
};

} // namespace tessaly
