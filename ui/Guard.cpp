#include "ui/Guard.h"

namespace tessaly {

QString ExceptionMessage(const std::exception& e) {
    return QString::fromUtf8(e.what());
}

} // namespace tessaly
