// The fonts of the windows.
#pragma once

#include <QFont>

namespace tessaly {

// The windows' font: IPA P Gothic at a pixel size, or the fixed-pitch IPA Gothic, in
// which a double-byte character is two columns wide.
QFont WindowFont(int pixelSize, bool fixedPitch = false);

} // namespace tessaly
