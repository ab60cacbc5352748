// Puts the readme file's text into a rich-text box: as rich text through the RTF reader,
// or, when the reader rejects the bytes, as plain text.
#pragma once

#include "rtf/RtfReader.h"

#include <QString>
#include <cstddef>
#include <stdexcept>
#include <string_view>

class QTextDocument;
class QTextEdit;

namespace tessaly {

// Replaces the whole content of `document` with the paragraphs and styled runs of `text`.
// Runs without a size or colour keep the document's default font and text colour; a line
// break inside a paragraph becomes a soft line break (U+2028).
void FillDocument(QTextDocument& document, const rtf::Document& text);

// The text of a plain-text readme. The bytes are read as UTF-8 when they are well-formed
// UTF-8 and hold at least one non-ASCII character (a leading byte-order mark is dropped);
// otherwise as code page 932 (Shift-JIS), where bytes that form no character become U+FFFD.
// Pure ASCII reads the same either way. CR LF and lone CR line ends become LF, and NUL
// characters are dropped.
QString DecodePlainText(std::string_view bytes);

// The most a readme may hold: a larger file, or one of more lines (paragraphs and line
// breaks), is not shown. No readme comes near either, and the box's layout time and memory
// grow with both: a megabyte of text takes it most of a second.
inline constexpr std::size_t kReadmeMaxBytes = 1024 * 1024;
inline constexpr std::size_t kReadmeMaxLines = 50'000;

// A stretch of text without a place to break a line that is longer than this makes the box
// wrap anywhere, not at word boundaries: wrapping at word boundaries looks ahead to the end
// of the stretch for every line it makes, so its time grows with the square of its length.
inline constexpr qsizetype kLongestUnbrokenText = 1'000;

// A readme beyond kReadmeMaxBytes or kReadmeMaxLines.
class ReadmeTooLarge : public std::length_error {
public:
    ReadmeTooLarge() : std::length_error("the readme is too large to be shown") {}
};

// The longest stretch of `text` between two places where a line may break.
qsizetype LongestUnbrokenText(const QString& text);

// Fills the box from a readme file's bytes, replacing its whole content: as RTF, and from
// the start as plain text when the RTF reader rejects them. The undo history starts anew.
// The box wraps anywhere when the text has a stretch longer than kLongestUnbrokenText
// without a place to break, at word boundaries otherwise. Throws ReadmeTooLarge, with the
// box as it was, for bytes or text beyond the limits above.
void ShowReadmeBytes(QTextEdit& edit, std::string_view bytes);

} // namespace tessaly
