#include "exif/tessaly_def.h"

namespace tessaly {

std::string SPDlgDir;

} // namespace tessaly
