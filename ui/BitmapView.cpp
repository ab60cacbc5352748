#include "ui/BitmapView.h"

#include <QClipboard>
#include <QGuiApplication>
#include <stdexcept>

namespace tessaly {

QImage BitmapView(const Bitmap& bitmap) {
    if (bitmap.Empty())
        return {};
    return QImage(bitmap.Data(), bitmap.Width(), bitmap.Height(),
                  static_cast<qsizetype>(bitmap.Stride()), QImage::Format_BGR888);
}

QImage BitmapCopy(const Bitmap& bitmap) {
    return BitmapView(bitmap).convertToFormat(QImage::Format_RGB888);
}

void PutOnClipboard(const Bitmap& bitmap) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        throw std::runtime_error("クリップボードを開くことができません");
    clipboard->setImage(BitmapCopy(bitmap));
}

} // namespace tessaly
