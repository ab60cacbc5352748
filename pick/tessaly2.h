// The pick window: shows one area picked out of a picture.
#pragma once

#include <QWidget>

namespace tessaly {

class TForm2 : public QWidget {
    Q_OBJECT
public:
    explicit TForm2(QWidget* parent = nullptr);
};

} // namespace tessaly
