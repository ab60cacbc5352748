// The names of the coded EXIF values (compression, flash, metering mode, ...), as
// Shift-JIS texts, and the mapping of the orientation codes.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace tessaly {

enum class ExifCodeTable {
    Compression,
    PhotometricInterpretation,
    ResolutionUnit,
    ColorSpace,
    ExposureProgram,
    MeteringMode,
    LightSource,
    Flash,
    SensingMethod,
};

// The Shift-JIS name of `code` in `table`, or nullptr when the table does not name it.
const std::string* ExifCodeName(ExifCodeTable table, std::uint32_t code);

// The name, or an empty text for a code the table does not name.
std::string ExifCodeNameOrEmpty(ExifCodeTable table, std::uint32_t code);

// The orientation code as the reader stores it: codes 3 and 4 exchanged, 0 to 8 otherwise
// unchanged; nothing for a code above 8 (the stored code then stays as it was).
std::optional<std::uint8_t> MapOrientationCode(std::uint32_t code);

} // namespace tessaly
