#include "ui/Fonts.h"

namespace tessaly {

QFont WindowFont(int pixelSize, bool fixedPitch) {
    QFont font(fixedPitch ? QStringLiteral("IPAGothic") : QStringLiteral("IPAPGothic"));
    font.setPixelSize(pixelSize);
    if (fixedPitch)
        font.setStyleHint(QFont::TypeWriter);
    return font;
}

} // namespace tessaly
