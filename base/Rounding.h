// Conversions from extended floats to integers, as the program's arithmetic uses them.
// Round goes to the nearest integer with halves to the even neighbour; Trunc cuts toward
// zero. Both take long double (80-bit extended on x86-64), the precision every scale
// factor and geometry formula of the viewer is evaluated in.
#pragma once

#include <cmath>
#include <cstdint>

namespace tessaly {

using Extended = long double;

// Nearest integer, halves to even (llrintl in the default rounding mode).
inline std::int64_t Round(Extended value) {
    return std::llrintl(value);
}

// Toward zero.
inline std::int64_t Trunc(Extended value) {
    return static_cast<std::int64_t>(value);
}

// The fractional part, with the sign of the value.
inline Extended Frac(Extended value) {
    return value - std::truncl(value);
}

// Round to a 32-bit int; callers keep values in range.
inline int RoundInt(Extended value) {
    return static_cast<int>(Round(value));
}

} // namespace tessaly
