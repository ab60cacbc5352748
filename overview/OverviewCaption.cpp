#include "overview/OverviewCaption.h"

#include "base/Format.h"

namespace tessaly {

std::string OverviewCaption(std::string_view name, int k, int count) {
    return Format("%s %s (%d/%d files)", {"Tess", name, k, count});
}

} // namespace tessaly
