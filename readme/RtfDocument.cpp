#include "readme/RtfDocument.h"

#include "base/ShiftJis.h"

#include <QColor>
#include <QFont>
#include <QStringDecoder>
#include <QTextBlockFormat>
#include <QTextBoundaryFinder>
#include <QTextCharFormat>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <algorithm>
#include <optional>

namespace tessaly {

namespace {

Qt::Alignment QtAlignment(rtf::Alignment alignment) {
    switch (alignment) {
    case rtf::Alignment::Center:
        return Qt::AlignHCenter;
    case rtf::Alignment::Right:
        return Qt::AlignRight;
    case rtf::Alignment::Justify:
        return Qt::AlignJustify;
    case rtf::Alignment::Left:
        break;
    }
    return Qt::AlignLeft;
}

QTextCharFormat CharFormat(const rtf::CharStyle& style) {
    QTextCharFormat format;
    format.setFontWeight(style.bold ? QFont::Bold : QFont::Normal);
    format.setFontItalic(style.italic);
    format.setFontUnderline(style.underline);
    if (const std::optional<double> points = style.PointSize())
        format.setFontPointSize(*points);
    if (style.color)
        format.setForeground(QColor(style.color->red, style.color->green, style.color->blue));
    return format;
}

QString RunText(const std::string& utf8) {
    QString text = QString::fromStdString(utf8);
    text.replace(QLatin1Char('\n'), QChar(QChar::LineSeparator));
    return text;
}

// Paragraphs and line breaks: the lines the box lays out at least.
std::size_t LineCount(const QString& text) {
    return 1 + static_cast<std::size_t>(std::count_if(text.begin(), text.end(), [](QChar c) {
               return c == QLatin1Char('\n') || c == QChar(QChar::LineSeparator) ||
                      c == QChar(QChar::ParagraphSeparator);
           }));
}

bool HasNonAscii(std::string_view bytes) {
    return std::any_of(bytes.begin(), bytes.end(),
                       [](char c) { return static_cast<unsigned char>(c) >= 0x80; });
}

} // namespace

void FillDocument(QTextDocument& document, const rtf::Document& text) {
    document.clear();
    QTextCursor cursor(&document);
    bool first = true;
    for (const rtf::Paragraph& paragraph : text.paragraphs) {
        QTextBlockFormat blockFormat;
        blockFormat.setAlignment(QtAlignment(paragraph.alignment));
        const QTextCharFormat firstFormat = paragraph.runs.empty()
                                                ? CharFormat(rtf::CharStyle{})
                                                : CharFormat(paragraph.runs.front().style);
        if (first) {
            cursor.setBlockFormat(blockFormat);
            cursor.setBlockCharFormat(firstFormat);
            first = false;
        } else {
            cursor.insertBlock(blockFormat, firstFormat);
        }
        for (const rtf::Run& run : paragraph.runs)
            cursor.insertText(RunText(run.text), CharFormat(run.style));
    }
}

QString DecodePlainText(std::string_view bytes) {
    std::string_view body = bytes;
    const bool bom = body.starts_with("\xEF\xBB\xBF");
    if (bom)
        body.remove_prefix(3);
    QString text;
    bool decoded = false;
    if (bom || HasNonAscii(body)) {
        QStringDecoder utf8(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
        QString candidate =
            utf8.decode(QByteArrayView(body.data(), static_cast<qsizetype>(body.size())));
        if (!utf8.hasError()) {
            text = std::move(candidate);
            decoded = true;
        }
    }
    if (!decoded)
        text = QString::fromStdString(SjisToUtf8(bytes));
    text.replace(QStringLiteral("\r\n"), QStringLiteral("\n"));
    text.replace(QLatin1Char('\r'), QLatin1Char('\n'));
    text.remove(QChar(u'\0'));
    return text;
}

qsizetype LongestUnbrokenText(const QString& text) {
    QTextBoundaryFinder finder(QTextBoundaryFinder::Line, text);
    qsizetype longest = 0;
    qsizetype last = 0;
    for (qsizetype at = finder.toNextBoundary(); at >= 0; at = finder.toNextBoundary()) {
        longest = std::max(longest, at - last);
        last = at;
    }
    return longest;
}

void ShowReadmeBytes(QTextEdit& edit, std::string_view bytes) {
    if (bytes.size() > kReadmeMaxBytes)
        throw ReadmeTooLarge();
    std::optional<rtf::Document> rich;
    QString text;
    try {
        rich = rtf::ParseRtf(bytes);
        text = QString::fromStdString(rich->Text());
    } catch (const rtf::RtfError&) {
        text = DecodePlainText(bytes);
    }
    if (LineCount(text) > kReadmeMaxLines)
        throw ReadmeTooLarge();
    edit.setWordWrapMode(LongestUnbrokenText(text) > kLongestUnbrokenText
                             ? QTextOption::WrapAnywhere
                             : QTextOption::WrapAtWordBoundaryOrAnywhere);
    QTextDocument& document = *edit.document();
    if (rich) {
        FillDocument(document, *rich);
    } else {
        // Not QTextEdit::setPlainText: that would give the whole text the format at the
        // cursor, which may be a bold title of the previous rich text.
        document.clear();
        QTextCursor(&document).insertText(text, QTextCharFormat());
    }
    edit.moveCursor(QTextCursor::Start);
    document.clearUndoRedoStacks();
    document.setModified(false);
}

} // namespace tessaly
