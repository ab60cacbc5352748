// The program's one formatter for displayed numbers and texts.
//
// Format strings follow the printf-like notation the viewer's captions and overlay are
// written in: "%s", "%d", "%u", "%4d", "%-23s", "%.1f", "%2.2f", "%g", "%.0n" and "%%".
// The rules are those of the program, not of the C library:
//   - fixed forms ("f", "n") first take the value to 18 significant digits, then round
//     to the requested decimals with ties away from zero (6.25 -> "6.3");
//   - "g" gives at most 15 significant digits, drops trailing zeros and uses scientific
//     notation ("1E-6", "1.5E20") only below 1E-5 or from 1E15 on;
//   - "n" is fixed notation with thousands separators;
//   - widths and precisions of "s" count bytes, so Shift-JIS texts pad by their byte length.
// The decimal separator is "." and the thousands separator "," (the Japanese setting).
#pragma once

#include <cstdint>
#include <initializer_list>
#include <stdexcept>
#include <string>
#include <string_view>
#include <variant>

namespace tessaly {

class FormatArg {
public:
    // Integers of any width, extended floats and byte strings.
    template <typename T>
    requires std::is_integral_v<T> FormatArg(T v) { // NOLINT(google-explicit-constructor)
        if constexpr (std::is_signed_v<T>)
            value_ = static_cast<std::int64_t>(v);
        else
            value_ = static_cast<std::uint64_t>(v);
    }
    FormatArg(long double v) : value_(v) {}                          // NOLINT
    FormatArg(double v) : value_(static_cast<long double>(v)) {}     // NOLINT
    FormatArg(float v) : value_(static_cast<long double>(v)) {}      // NOLINT
    FormatArg(std::string_view v) : value_(v) {}                     // NOLINT
    FormatArg(const std::string& v) : value_(std::string_view(v)) {} // NOLINT
    FormatArg(const char* v) : value_(std::string_view(v)) {}        // NOLINT

    using Value = std::variant<std::int64_t, std::uint64_t, long double, std::string_view>;
    const Value& value() const { return value_; }

private:
    Value value_;
};

class FormatError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Formats args by fmt; throws FormatError on a malformed format or a mismatched argument.
std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args);

// The single conversions, for callers that build texts piece by piece.
std::string FormatFixed(long double value, int decimals);         // "%.<decimals>f"
std::string FormatGeneral(long double value, int precision = 15); // "%g"
std::string FormatNumber(long double value, int decimals);        // "%.<decimals>n"

} // namespace tessaly
