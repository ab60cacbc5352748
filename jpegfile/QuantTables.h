// The quantisation tables of a JPEG file (DQT segments) and the compression quality they
// show: the quality, on the 1 to 100 scale of the common JPEG encoders, whose scaled standard
// luminance table comes nearest the file's, so that a picture encoded again at it loses about
// as much as it did the first time.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <span>

namespace tessaly {

// A table's 64 steps, row by row through the 8 x 8 block (not in the zigzag order of a file).
using QuantTable = std::array<std::uint16_t, 64>;

// The table a DQT segment's data (after the length field) define in slot `slot` (0 to 3);
// none when they do not define it, or end inside a table before it.
std::optional<QuantTable> QuantTableIn(std::span<const std::uint8_t> dqt, int slot);

// The standard luminance table scaled to `quality` (1 to 100) as the common encoders scale
// it, steps limited to 1 to 255.
QuantTable ScaledLuminanceTable(int quality);

// The quality (1 to 100) whose ScaledLuminanceTable is nearest `luminance` (the least sum of
// differences; the lowest quality of those equally near).
int EstimateQuality(const QuantTable& luminance);

} // namespace tessaly
