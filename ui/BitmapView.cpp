#include "ui/BitmapView.h"

#include <QByteArray>
#include <QClipboard>
#include <QColorSpace>
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

void PutOnClipboard(const Bitmap& bitmap, const std::vector<std::uint8_t>& profile) {
    QClipboard* clipboard = QGuiApplication::clipboard();
    if (!clipboard)
        throw std::runtime_error("クリップボードを開くことができません");
    QImage image = BitmapCopy(bitmap);
    if (!profile.empty()) {
        const QColorSpace space = QColorSpace::fromIccProfile(QByteArray(
            reinterpret_cast<const char*>(profile.data()), static_cast<qsizetype>(profile.size())));
        if (space.isValid())
            image.setColorSpace(space);
    }
    clipboard->setImage(image);
}

} // namespace tessaly
