// Puts the readme file's text into a rich-text box: as rich text through the RTF reader,
// or, when the reader rejects the bytes, as plain text.
#pragma once

#include "rtf/RtfReader.h"

#include <QString>
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

// Fills the box from a readme file's bytes, replacing its whole content: as RTF, and from
// the start as plain text when the RTF reader rejects them. The undo history starts anew.
void ShowReadmeBytes(QTextEdit& edit, std::string_view bytes);

} // namespace tessaly
