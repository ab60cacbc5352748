#include "pick/tessaly2.h"

#include "viewer/ulib.h"

namespace tessaly {

TForm2::TForm2(QWidget* parent) : QWidget(parent, Qt::Window | Qt::WindowStaysOnTopHint) {
    resize(123 - kDesignFrameWidth, 106 - kDesignFrameHeight);
}

} // namespace tessaly
