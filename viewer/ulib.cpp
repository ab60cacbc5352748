#include "viewer/ulib.h"

#include <QApplication>
#include <QCursor>

namespace tessaly {

void SetWaitCursor(bool on) {
    while (QApplication::overrideCursor())
        QApplication::restoreOverrideCursor();
    if (on)
        QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
}

} // namespace tessaly
