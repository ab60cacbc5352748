#include "pick/PickImage.h"

#include <QPaintEvent>
#include <QPainter>

namespace tessaly {

PickImage::PickImage(QWidget* parent) : QWidget(parent) {}

void PickImage::SetPicture(Bitmap picture, std::shared_ptr<const ColourTransform> colours) {
    drawer_.SetLook({Orientation::AsStored, std::move(colours)});
    picture_ = std::move(picture);
    update();
}

void PickImage::SetColours(std::shared_ptr<const ColourTransform> colours) {
    drawer_.SetLook({Orientation::AsStored, std::move(colours)});
    update();
}

void PickImage::paintEvent(QPaintEvent* event) {
    if (picture_.Empty() || width() < 1 || height() < 1)
        return;
    QPainter painter(this);
    drawer_.Draw(painter, picture_, size(), event->rect());
}

} // namespace tessaly
