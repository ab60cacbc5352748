// A small reader for the rich text (RTF) the readme window shows. Plain C++ without Qt,
// so that it can be fuzzed and tested without a display.
//
// It turns RTF bytes into a list of paragraphs made of styled runs. What it understands:
//   - groups, with the character style, \uc count and font scoped to each group;
//   - destinations: \fonttbl is read for the code page of each font (\fcharset, \cpg),
//     \colortbl for its colours; \stylesheet, \info, \pict, every {\* ...} group and the
//     other well-known non-text destinations (headers, footers, fields' instructions, ...)
//     are skipped;
//   - \par (also a backslash before a line end), \sect, \page and \row end a paragraph;
//     \line is a line break inside the paragraph (a '\n' in the run's text);
//   - \b \i \ul (with \b0 \i0 \ul0 \ulnone, and the underline variants \uld \uldb ...),
//     \plain, \pard, \fsN (half-points), \cfN, \ql \qc \qr \qj, \fN;
//   - \'hh bytes and literal 8-bit bytes in the code page of the current font, else the
//     document's \ansicpgN, else 932 (Shift-JIS). Code pages 874, 932, 936, 949, 950 and
//     1250 to 1258 are decoded; any other number is read as 932. Bytes that do not form a
//     character of the code page become U+FFFD;
//   - \uN (N < 0 means N + 65536; surrogate pairs are joined, lone halves become U+FFFD)
//     followed by \ucN fallback characters that are skipped (1 by default);
//   - \tab and \cell (a '\t'), \{ \} \\, \~ (no-break space), \_ (no-break hyphen), \-
//     (optional hyphen, dropped), \emdash \endash \bullet \lquote \rquote \ldblquote
//     \rdblquote \enspace \emspace, \binN (N raw bytes skipped);
//   - unknown control words are ignored.
//
// Input is rejected (RtfError) unless it starts with "{\rtf", and when groups nest deeper
// than kMaxRtfDepth: such a file is not shown as rich text at all, the plain-text reading
// takes over. A file that ends before its groups are closed is read up to its end; text
// after the closing brace of the outermost group is ignored.
//
// Every byte is looked at a bounded number of times, so the time is linear in the input;
// the reader never reads outside the bytes it is given.
#pragma once

#include <cstdint>
#include <optional>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::rtf {

inline constexpr int kMaxRtfDepth = 256;

// The largest \fs the reader keeps, in half-points; larger values are clamped.
inline constexpr int kMaxHalfPoints = 3276;

struct Rgb {
    std::uint8_t red = 0;
    std::uint8_t green = 0;
    std::uint8_t blue = 0;
    friend bool operator==(const Rgb&, const Rgb&) = default;
};

struct CharStyle {
    bool bold = false;
    bool italic = false;
    bool underline = false;
    // Font size in half-points (\fsN); empty: the box's own font size.
    std::optional<int> halfPoints;
    // Text colour; empty: the box's default text colour (\cf0, or an entry of the colour
    // table without components, or an index the table does not have).
    std::optional<Rgb> color;

    std::optional<double> PointSize() const {
        if (!halfPoints)
            return std::nullopt;
        return *halfPoints / 2.0;
    }
    friend bool operator==(const CharStyle&, const CharStyle&) = default;
};

// A stretch of text in one style, UTF-8. '\n' is a line break inside the paragraph and
// '\t' a tab; no other control characters occur.
struct Run {
    std::string text;
    CharStyle style;
    friend bool operator==(const Run&, const Run&) = default;
};

enum class Alignment { Left, Center, Right, Justify };

struct Paragraph {
    std::vector<Run> runs; // adjacent runs always differ in style; no run is empty
    Alignment alignment = Alignment::Left;

    std::string Text() const; // the runs' texts joined
    friend bool operator==(const Paragraph&, const Paragraph&) = default;
};

struct Document {
    // At least one paragraph. The empty paragraph after a final \par is not kept.
    std::vector<Paragraph> paragraphs;

    std::string Text() const; // paragraphs joined by '\n'
};

class RtfError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// Reads an RTF file's bytes; throws RtfError when they are not RTF the reader accepts.
Document ParseRtf(std::string_view bytes);

} // namespace tessaly::rtf
