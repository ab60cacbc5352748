#include "base/Format.h"

#include <cmath>
#include <cstdio>
#include <string>

namespace tessaly {
namespace {

constexpr char kDecimalSeparator = '.';
constexpr char kThousandSeparator = ',';

// A finite value as a sign, a string of significant decimal digits (no leading zero
// unless the value is zero) and the decimal exponent of the first digit.
struct Decimal {
    bool negative = false;
    std::string digits; // at least one digit
    int exponent = 0;   // value = 0.d1d2d3... * 10^(exponent + 1)
};

Decimal ToDecimal(long double value, int significant) {
    Decimal d;
    d.negative = std::signbit(value);
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.*Le", significant - 1, std::fabs(value));
    // buf is "d.ddddde[+-]xx"
    const std::string s(buf);
    const auto e = s.find('e');
    for (std::size_t i = 0; i < e; ++i)
        if (s[i] != '.')
            d.digits += s[i];
    d.exponent = std::stoi(s.substr(e + 1));
    if (d.digits.find_first_not_of('0') == std::string::npos) {
        d.digits.assign(1, '0');
        d.exponent = 0;
    }
    return d;
}

// Integer and fraction digits of |value| rounded to `decimals` places, ties away from zero,
// after taking the value to 18 significant digits.
std::pair<std::string, std::string> FixedParts(long double value, int decimals, bool& negative) {
    Decimal d = ToDecimal(value, 18);
    negative = d.negative;
    // Place the digits on a decimal grid: integer part and enough fraction digits.
    std::string intPart;
    std::string fracPart;
    const int pointPos = d.exponent + 1; // digits before the decimal point
    if (d.digits == "0") {
        intPart = "0";
    } else if (pointPos <= 0) {
        intPart = "0";
        fracPart = std::string(static_cast<std::size_t>(-pointPos), '0') + d.digits;
    } else if (pointPos >= static_cast<int>(d.digits.size())) {
        intPart = d.digits + std::string(static_cast<std::size_t>(pointPos) - d.digits.size(), '0');
    } else {
        intPart = d.digits.substr(0, static_cast<std::size_t>(pointPos));
        fracPart = d.digits.substr(static_cast<std::size_t>(pointPos));
    }
    const bool roundUp = static_cast<int>(fracPart.size()) > decimals &&
                         fracPart[static_cast<std::size_t>(decimals)] >= '5';
    fracPart.resize(static_cast<std::size_t>(decimals), '0');
    if (roundUp) {
        std::string all = intPart + fracPart;
        int i = static_cast<int>(all.size()) - 1;
        while (i >= 0 && all[static_cast<std::size_t>(i)] == '9') {
            all[static_cast<std::size_t>(i)] = '0';
            --i;
        }
        if (i < 0)
            all.insert(all.begin(), '1');
        else
            ++all[static_cast<std::size_t>(i)];
        intPart = all.substr(0, all.size() - static_cast<std::size_t>(decimals));
        fracPart = all.substr(all.size() - static_cast<std::size_t>(decimals));
    }
    if (intPart.find_first_not_of('0') == std::string::npos &&
        fracPart.find_first_not_of('0') == std::string::npos)
        negative = false; // no "-0.0"
    return {intPart, fracPart};
}

std::string Grouped(const std::string& intPart) {
    std::string out;
    const std::size_t n = intPart.size();
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0 && (n - i) % 3 == 0)
            out += kThousandSeparator;
        out += intPart[i];
    }
    return out;
}

std::string FixedText(long double value, int decimals, bool grouped) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
    bool negative = false;
    const auto [intPart, fracPart] = FixedParts(value, decimals, negative);
    std::string out = negative ? "-" : "";
    out += grouped ? Grouped(intPart) : intPart;
    if (decimals > 0) {
        out += kDecimalSeparator;
        out += fracPart;
    }
    return out;
}

std::string Pad(std::string text, int width, bool leftJustify) {
    if (width > 0 && text.size() < static_cast<std::size_t>(width)) {
        const std::string fill(static_cast<std::size_t>(width) - text.size(), ' ');
        text = leftJustify ? text + fill : fill + text;
    }
    return text;
}

long double AsFloat(const FormatArg& arg) {
    return std::visit(
        [](const auto& v) -> long double {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::string_view>)
                throw FormatError("Format: a number was expected, a text was given");
            else
                return static_cast<long double>(v);
        },
        arg.value());
}

std::string IntegerText(const FormatArg& arg, bool wantUnsigned) {
    return std::visit(
        [wantUnsigned](const auto& v) -> std::string {
            using T = std::decay_t<decltype(v)>;
            if constexpr (std::is_same_v<T, std::int64_t>) {
                if (wantUnsigned)
                    return std::to_string(static_cast<std::uint32_t>(v));
                return std::to_string(v);
            } else if constexpr (std::is_same_v<T, std::uint64_t>) {
                return std::to_string(v);
            } else {
                throw FormatError("Format: an integer was expected");
            }
        },
        arg.value());
}

} // namespace

std::string FormatFixed(long double value, int decimals) {
    return FixedText(value, decimals, false);
}

std::string FormatNumber(long double value, int decimals) {
    return FixedText(value, decimals, true);
}

std::string FormatGeneral(long double value, int precision) {
    if (!std::isfinite(value))
        return std::isnan(value) ? "NAN" : (value < 0 ? "-INF" : "INF");
    Decimal d = ToDecimal(value, precision);
    if (d.digits == "0")
        return "0";
    while (d.digits.size() > 1 && d.digits.back() == '0')
        d.digits.pop_back();
    std::string out = d.negative ? "-" : "";
    if (d.exponent < -5 || d.exponent >= precision) {
        out += d.digits.substr(0, 1);
        if (d.digits.size() > 1) {
            out += kDecimalSeparator;
            out += d.digits.substr(1);
        }
        out += 'E';
        out += std::to_string(d.exponent); // "-6", "20": no plus sign, no leading zeros
        return out;
    }
    if (d.exponent < 0) {
        out += '0';
        out += kDecimalSeparator;
        out += std::string(static_cast<std::size_t>(-d.exponent - 1), '0');
        out += d.digits;
        return out;
    }
    const auto intDigits = static_cast<std::size_t>(d.exponent + 1);
    if (d.digits.size() <= intDigits) {
        out += d.digits + std::string(intDigits - d.digits.size(), '0');
    } else {
        out += d.digits.substr(0, intDigits);
        out += kDecimalSeparator;
        out += d.digits.substr(intDigits);
    }
    return out;
}

std::string Format(std::string_view fmt, std::initializer_list<FormatArg> args) {
    std::string out;
    auto next = args.begin();
    auto take = [&]() -> const FormatArg& {
        if (next == args.end())
            throw FormatError("Format: too few arguments for \"" + std::string(fmt) + "\"");
        return *next++;
    };
    for (std::size_t i = 0; i < fmt.size(); ++i) {
        const char c = fmt[i];
        if (c != '%') {
            out += c;
            continue;
        }
        if (++i >= fmt.size())
            throw FormatError("Format: lone % at the end");
        if (fmt[i] == '%') {
            out += '%';
            continue;
        }
        bool leftJustify = false;
        if (fmt[i] == '-') {
            leftJustify = true;
            ++i;
        }
        int width = -1;
        while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9')
            width = (width < 0 ? 0 : width * 10) + (fmt[i++] - '0');
        int precision = -1;
        if (i < fmt.size() && fmt[i] == '.') {
            precision = 0;
            ++i;
            while (i < fmt.size() && fmt[i] >= '0' && fmt[i] <= '9')
                precision = precision * 10 + (fmt[i++] - '0');
        }
        if (i >= fmt.size())
            throw FormatError("Format: unfinished conversion");
        std::string piece;
        switch (fmt[i]) {
        case 'd':
        case 'u': {
            piece = IntegerText(take(), fmt[i] == 'u');
            if (precision > 0) {
                const bool neg = !piece.empty() && piece[0] == '-';
                std::string digits = neg ? piece.substr(1) : piece;
                if (digits.size() < static_cast<std::size_t>(precision))
                    digits.insert(0, static_cast<std::size_t>(precision) - digits.size(), '0');
                piece = (neg ? "-" : "") + digits;
            }
            break;
        }
        case 's': {
            const auto& arg = take();
            const auto* sv = std::get_if<std::string_view>(&arg.value());
            if (!sv)
                throw FormatError("Format: a text was expected for %s");
            piece = std::string(precision >= 0 ? sv->substr(0, static_cast<std::size_t>(precision))
                                               : *sv);
            break;
        }
        case 'f':
            piece = FormatFixed(AsFloat(take()), precision < 0 ? 2 : precision);
            break;
        case 'n':
            piece = FormatNumber(AsFloat(take()), precision < 0 ? 2 : precision);
            break;
        case 'g':
            piece = FormatGeneral(AsFloat(take()), precision <= 0 ? 15 : precision);
            break;
        default:
            throw FormatError(std::string("Format: unknown conversion %") + fmt[i]);
        }
        out += Pad(std::move(piece), width, leftJustify);
    }
    if (next != args.end())
        throw FormatError("Format: too many arguments for \"" + std::string(fmt) + "\"");
    return out;
}

} // namespace tessaly
