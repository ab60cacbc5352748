// libjpeg on its own, the reference the viewer's decodes are measured against.
#pragma once

#include <string>

namespace tessaly::bench {

// libjpeg on one core, as a program using it plainly would: the file through stdio, 24-bit
// rows at scale eighths/8; `keep` holds the whole output, else one row is reused.
void LibjpegDecode(const std::string& path, int eighths, bool keep);

} // namespace tessaly::bench
