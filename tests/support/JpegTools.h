// libjpeg-turbo's command-line programs as references for the tests: jpegtran transforms a
// file, djpeg decodes one to PNM bytes.
#pragma once

#include "tests/support/JpegFixtures.h"

#include <filesystem>
#include <string>

namespace tessaly::fixtures {

// Runs jpegtran with `options` (e.g. "-rotate 90 -trim") from `in` to `out`; throws when it
// fails.
void Jpegtran(const std::string& options, const std::filesystem::path& in,
              const std::filesystem::path& out);

// The file decoded by djpeg as PNM (header and samples); throws when it fails.
Bytes Djpeg(const std::filesystem::path& jpeg);

} // namespace tessaly::fixtures
