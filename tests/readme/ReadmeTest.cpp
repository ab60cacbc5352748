#include "readme/ReadmeWindow.h"
#include "readme/RtfDocument.h"
#include "tests/support/JpegFixtures.h"
#include "ui/WindowPlacement.h"

#include <QApplication>
#include <QFile>
#include <QFrame>
#include <QPushButton>
#include <QScrollBar>
#include <QTest>
#include <QTextBlock>
#include <QTextCursor>
#include <QTextDocument>
#include <QTextEdit>
#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <sys/stat.h>

namespace tessaly {
namespace {

using fixtures::TempDir;

void WriteFile(const std::filesystem::path& path, std::string_view bytes) {
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

QString PathOf(const std::filesystem::path& path) {
    return QString::fromStdString(path.string());
}

// The character format at a character position of the box (the character after it).
QTextCharFormat FormatAt(QTextEdit& edit, int position) {
    QTextCursor cursor(edit.document());
    cursor.setPosition(position + 1);
    return cursor.charFormat();
}

int PositionOf(QTextEdit& edit, const QString& text) {
    return static_cast<int>(edit.toPlainText().indexOf(text));
}

constexpr std::string_view kRichReadme =
    "{\\rtf1\\ansi\\ansicpg932{\\fonttbl{\\f0\\fnil\\fcharset128 Gothic;}}"
    "{\\colortbl ;\\red0\\green0\\blue255;}"
    "\\pard\\qc{\\b\\fs28 Title}\\par"
    "\\pard plain {\\b bold} {\\i italic} {\\ul under} {\\cf1 blue} \\'82\\'a0\\line next\\par}";

TEST(ReadmeWindowTest, LayoutAndStartState) {
    ReadmeWindow form;
    EXPECT_TRUE(form.isHidden());
    EXPECT_EQ(form.windowTitle(), "Form3");
    EXPECT_EQ(form.size(), QSize(429, 238));
    EXPECT_EQ(form.minimumSize(), form.maximumSize()); // cannot be resized
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::Tool));
    EXPECT_TRUE(form.windowFlags().testFlag(Qt::WindowStaysOnTopHint));
    EXPECT_FALSE(form.testAttribute(Qt::WA_QuitOnClose));
    EXPECT_EQ(form.font().family(), "IPAPGothic");
    EXPECT_EQ(form.font().pixelSize(), 12);
    EXPECT_EQ(form.palette().color(QPalette::Window), form.palette().color(QPalette::Button));

    EXPECT_EQ(form.textBox->geometry(), QRect(0, 0, 429, 214));
    EXPECT_EQ(form.textBox->verticalScrollBarPolicy(), Qt::ScrollBarAlwaysOn);
    EXPECT_FALSE(form.textBox->isReadOnly());
    EXPECT_EQ(form.buttonPanel->geometry(), QRect(0, 214, 429, 24));
    EXPECT_EQ(form.closeButton->parentWidget(), form.buttonPanel);
    EXPECT_EQ(form.closeButton->geometry(), QRect(176, 3, 75, 19));
    EXPECT_EQ(form.closeButton->text(), "とじる");
}

TEST(ReadmeWindowTest, StartsWithTheComplaintLine) {
    ReadmeWindow form;
    const QString text = form.textBox->toPlainText();
    EXPECT_EQ(text, QStringLiteral(
                        "『readme.txt』はどこに行ってしまったんでしょう？困りましたね/(\\\\);"));
    EXPECT_TRUE(
        text.endsWith(QStringLiteral("/(") + QChar('\\') + QChar('\\') + QStringLiteral(");")));
    EXPECT_EQ(form.textBox->document()->blockCount(), 1);
}

TEST(ReadmeWindowTest, CaptionCarriesTheCredits) {
    EXPECT_EQ(ReadmeCaption(),
              "Lumivex v0.1 '060717 By Pellorihttps://pellori.example/contact/contact_me.html");
}

TEST(ReadmeWindowTest, ReadmeIsFoundBesideTheProgramFirstThenInTheDataFolder) {
    TempDir dir;
    const QString bin = PathOf(dir / "bin");
    std::filesystem::create_directories(dir / "bin");
    std::filesystem::create_directories(dir / "share" / "tessaly");
    const QString beside = bin + "/TESSreadme.txt";
    const QString installed = PathOf(dir / "share" / "tessaly" / "TESSreadme.txt");

    // Neither: the path beside the program, which the window shows as missing.
    EXPECT_EQ(ReadmePathFor(bin), beside);
    // An installed system: bin/../share/tessaly, named without the "..".
    WriteFile(dir / "share" / "tessaly" / "TESSreadme.txt", "installed");
    EXPECT_EQ(ReadmePathFor(bin), installed);
    // A build tree or a portable copy: the one beside the program wins.
    WriteFile(dir / "bin" / "TESSreadme.txt", "beside");
    EXPECT_EQ(ReadmePathFor(bin), beside);
}

TEST(ReadmeWindowTest, MissingReadmeKeepsTheText) {
    TempDir dir;
    ReadmeWindow form;
    form.LoadReadme(PathOf(dir / "TESSreadme.txt"));
    EXPECT_EQ(form.textBox->toPlainText(), MissingReadmeText());
    // A folder of that name cannot be read either.
    std::filesystem::create_directory(dir / "folder");
    form.LoadReadme(PathOf(dir / "folder"));
    EXPECT_EQ(form.textBox->toPlainText(), MissingReadmeText());
    form.LoadReadme(QString());
    EXPECT_EQ(form.textBox->toPlainText(), MissingReadmeText());
}

TEST(ReadmeWindowTest, RichTextIsShownWithItsFormatting) {
    TempDir dir;
    WriteFile(dir / "TESSreadme.txt", kRichReadme);
    ReadmeWindow form;
    form.LoadReadme(PathOf(dir / "TESSreadme.txt"));
    QTextEdit& edit = *form.textBox;

    EXPECT_EQ(edit.toPlainText(), QStringLiteral("Title\nplain bold italic under blue あ\nnext"));
    EXPECT_EQ(edit.document()->toRawText(),
              QStringLiteral("Title\u2029plain bold italic under blue あ\u2028next"));
    EXPECT_EQ(edit.document()->blockCount(), 2);

    const QTextCharFormat title = FormatAt(edit, PositionOf(edit, "Title"));
    EXPECT_EQ(title.fontWeight(), QFont::Bold);
    EXPECT_EQ(title.fontPointSize(), 14.0);
    EXPECT_EQ(edit.document()->firstBlock().blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignHCenter);

    EXPECT_EQ(FormatAt(edit, PositionOf(edit, "bold")).fontWeight(), QFont::Bold);
    EXPECT_NE(FormatAt(edit, PositionOf(edit, "plain")).fontWeight(), QFont::Bold);
    EXPECT_TRUE(FormatAt(edit, PositionOf(edit, "italic")).fontItalic());
    EXPECT_FALSE(FormatAt(edit, PositionOf(edit, "bold")).fontItalic());
    EXPECT_TRUE(FormatAt(edit, PositionOf(edit, "under")).fontUnderline());
    EXPECT_EQ(FormatAt(edit, PositionOf(edit, "blue")).foreground().color(), QColor(0, 0, 255));
    EXPECT_FALSE(
        FormatAt(edit, PositionOf(edit, "plain")).hasProperty(QTextFormat::ForegroundBrush));
    // Runs without a size keep the box's own font.
    EXPECT_FALSE(FormatAt(edit, PositionOf(edit, "plain")).hasProperty(QTextFormat::FontPointSize));
}

TEST(ReadmeWindowTest, PlainTextIsShownAsText) {
    TempDir dir;
    const auto path = dir / "TESSreadme.txt";
    ReadmeWindow form;

    // Shift-JIS, with CR LF line ends; RTF markup in a non-RTF file is just text.
    WriteFile(path, "\x83\x65\x83\x58\x83\x67\r\n{\\b x}\r\n");
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText(), QStringLiteral("テスト\n{\\b x}\n"));

    // A rich readme first, then a plain one: the plain text takes none of the old formats.
    WriteFile(path, kRichReadme);
    form.LoadReadme(PathOf(path));
    WriteFile(path, "\xE3\x81\x82 utf-8");
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText(), QStringLiteral("あ utf-8"));
    EXPECT_NE(FormatAt(*form.textBox, 0).fontWeight(), QFont::Bold);
    EXPECT_FALSE(FormatAt(*form.textBox, 0).hasProperty(QTextFormat::FontPointSize));

    // An empty file loads as an empty text.
    WriteFile(path, "");
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText(), QString());
}

TEST(ReadmeWindowTest, UserEditsStayUntilAFileLoads) {
    TempDir dir;
    const auto path = dir / "TESSreadme.txt";
    WriteFile(path, "{\\rtf1 first}");
    ReadmeWindow form;
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText(), "first");

    // The user types into the box.
    form.textBox->moveCursor(QTextCursor::End);
    QTest::keyClicks(form.textBox, " typed");
    EXPECT_EQ(form.textBox->toPlainText(), "first typed");

    // The readme is removed: the old text stays, edits included.
    std::filesystem::remove(path);
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText(), "first typed");

    // It comes back: the file replaces the edits, and undo cannot bring them back.
    WriteFile(path, "{\\rtf1 second}");
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText(), "second");
    EXPECT_FALSE(form.textBox->document()->isUndoAvailable());
}

TEST(ReadmeWindowTest, HostileRtfFallsBackToPlainText) {
    TempDir dir;
    const auto path = dir / "TESSreadme.txt";
    const std::string deep = "{\\rtf1" + std::string(1000, '{') + "x";
    WriteFile(path, deep);
    ReadmeWindow form;
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText(), QString::fromStdString(deep));
}

// Regression: a readme was read whole whatever its size or kind (a pipe was waited on for
// ever), and one long word made the box's layout take minutes.
TEST(ReadmeWindowTest, HostileReadmesAreBoundedAndLongWordsWrapAnywhere) {
    TempDir dir;
    const auto path = dir / "TESSreadme.txt";
    ReadmeWindow form;
    const QString before = form.textBox->toPlainText();
    ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0);
    form.LoadReadme(PathOf(path));
    std::filesystem::remove(path);
    WriteFile(path, std::string(kReadmeMaxBytes + 1, 'a'));
    form.LoadReadme(PathOf(path));
    WriteFile(path, std::string(kReadmeMaxLines, '\n'));
    form.LoadReadme(PathOf(path));
    std::string paragraphs = "{\\rtf1 ";
    for (std::size_t i = 0; i < kReadmeMaxLines; ++i)
        paragraphs += "\\par ";
    WriteFile(path, paragraphs + "x}");
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText(), before) << "none of them is shown";

    const std::string word(kLongestUnbrokenText + 1, 'w');
    WriteFile(path, "short words\n" + word);
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText(), QString::fromStdString("short words\n" + word));
    EXPECT_EQ(form.textBox->wordWrapMode(), QTextOption::WrapAnywhere);
    // Japanese text may break between any two characters, however long it runs.
    std::string japanese;
    for (qsizetype i = 0; i < kLongestUnbrokenText; ++i)
        japanese += "あい";
    WriteFile(path, japanese);
    form.LoadReadme(PathOf(path));
    EXPECT_EQ(form.textBox->toPlainText().size(), 2 * kLongestUnbrokenText);
    EXPECT_EQ(form.textBox->wordWrapMode(), QTextOption::WrapAtWordBoundaryOrAnywhere);
}

TEST(ReadmeWindowTest, CloseButtonAndCloseBoxOnlyHide) {
    ReadmeWindow form;
    form.show();
    ASSERT_TRUE(form.isVisible());
    QTest::mouseClick(form.closeButton, Qt::LeftButton);
    EXPECT_TRUE(form.isHidden());

    form.show();
    EXPECT_TRUE(form.close());
    EXPECT_TRUE(form.isHidden());
    // Shown again with what it had.
    form.show();
    EXPECT_TRUE(form.isVisible());
    EXPECT_EQ(form.textBox->toPlainText(), MissingReadmeText());
}

TEST(ReadmeWindowTest, CentredOverTheMainWindowByOuterSizes) {
    // Main window at left 100, top 50 with an outer size of 593 x 428; the readme window's
    // outer size is its client area plus the assumed frame: 437 x 272.
    QWidget main;
    main.resize(593 - kAssumedFrameWidth, 428 - kAssumedFrameHeight);
    main.move(100, 50);
    ReadmeWindow form;
    ASSERT_EQ(OuterSize(form), QSize(437, 272));
    CenterForm(form, main);
    EXPECT_EQ(OuterPos(form), QPoint(100 + (593 - 437) / 2, 50 + (428 - 272) / 2));
    EXPECT_EQ(OuterPos(form), QPoint(178, 128));

    // Shown (the platform may now report a frame of its own) and moved away, it comes
    // back over the centre, by its outer size at that moment.
    form.show();
    form.move(0, 0);
    CenterForm(form, main);
    const QSize outer = OuterSize(form);
    EXPECT_EQ(OuterPos(form),
              QPoint(100 + (593 - outer.width()) / 2, 50 + (428 - outer.height()) / 2));
}

TEST(PlainTextReadmeTest, DecodingRule) {
    // Well-formed UTF-8 with non-ASCII characters, with or without a byte-order mark.
    EXPECT_EQ(DecodePlainText("\xE6\x97\xA5\xE6\x9C\xAC"), QStringLiteral("日本"));
    EXPECT_EQ(DecodePlainText("\xEF\xBB\xBF"
                              "abc"),
              QStringLiteral("abc"));
    // Shift-JIS, including bytes that would be UTF-8 lead bytes.
    EXPECT_EQ(DecodePlainText("\x93\xfa\x96\x7b"), QStringLiteral("日本"));
    EXPECT_EQ(DecodePlainText("\xE3\x81"), QStringLiteral("縺")); // cut UTF-8 is not UTF-8
    EXPECT_EQ(DecodePlainText("\x82\xa0\xE3"), QStringLiteral("あ\uFFFD"));
    // Overlong and surrogate forms are not UTF-8 either.
    EXPECT_FALSE(DecodePlainText("\xC0\x80").contains(QChar(0)));
    EXPECT_NE(DecodePlainText("\xED\xA0\x80"), QString(QChar(0xD800)));
    // Line ends and NUL.
    EXPECT_EQ(DecodePlainText("a\r\nb\rc\nd"), QStringLiteral("a\nb\nc\nd"));
    EXPECT_EQ(DecodePlainText(std::string_view("a\0b", 3)), QStringLiteral("ab"));
    EXPECT_EQ(DecodePlainText("\x5c"), QStringLiteral("\\"));
}

TEST(RtfDocumentTest, ParagraphsBreaksAndAlignment) {
    QTextDocument document;
    document.setPlainText("old text");
    FillDocument(document,
                 rtf::ParseRtf("{\\rtf1\\qr right\\par\\pard a\\line b\\tab c\\par\\par\\qj j}"));
    EXPECT_EQ(document.blockCount(), 4);
    EXPECT_EQ(document.toRawText(), QStringLiteral("right\u2029a\u2028b\tc\u2029\u2029j"));
    EXPECT_EQ(document.findBlockByNumber(0).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignRight);
    EXPECT_EQ(document.findBlockByNumber(1).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignLeft);
    EXPECT_EQ(document.findBlockByNumber(3).blockFormat().alignment() & Qt::AlignHorizontal_Mask,
              Qt::AlignJustify);
}

} // namespace
} // namespace tessaly
