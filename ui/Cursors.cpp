#include "ui/Cursors.h"

#include <QApplication>
#include <QCursor>

namespace tessaly {

void SetScreenCursor(std::optional<Qt::CursorShape> shape) {
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (shape)
        QApplication::setOverrideCursor(QCursor(*shape));
}

void SetWaitCursor(bool on) {
    SetScreenCursor(on ? std::optional<Qt::CursorShape>(Qt::WaitCursor) : std::nullopt);
}

} // namespace tessaly
