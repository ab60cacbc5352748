#include "rtf/RtfReader.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <iconv.h>
#include <map>
#include <unordered_map>

namespace tessaly::rtf {

std::string Paragraph::Text() const {
    std::string text;
    for (const Run& run : runs)
        text += run.text;
    return text;
}

std::string Document::Text() const {
    std::string text;
    for (std::size_t i = 0; i < paragraphs.size(); ++i) {
        if (i > 0)
            text += '\n';
        text += paragraphs[i].Text();
    }
    return text;
}

namespace {

constexpr int kDefaultCodePage = 932;
constexpr char32_t kReplacement = 0xFFFD;

void AppendUtf8(std::string& out, char32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

// The code pages whose bytes the reader decodes; any other number is read as 932.
bool IsDecodedCodePage(long cp) {
    return cp == 874 || cp == 932 || cp == 936 || cp == 949 || cp == 950 ||
           (cp >= 1250 && cp <= 1258);
}

int SupportedCodePage(long cp) {
    return IsDecodedCodePage(cp) ? static_cast<int>(cp) : kDefaultCodePage;
}

// The code page of a font's \fcharset; 0 when the charset names none (the document's
// code page applies then).
int CodePageOfCharset(long charset) {
    switch (charset) {
    case 0: // ANSI
    case 2: // symbol fonts: read their bytes as Western, so that \'b7 is a middle dot
        return 1252;
    case 128:
        return 932; // Shift-JIS
    case 129:
        return 949; // Hangul
    case 134:
        return 936; // GB2312
    case 136:
        return 950; // Big5
    case 161:
        return 1253; // Greek
    case 162:
        return 1254; // Turkish
    case 163:
        return 1258; // Vietnamese
    case 177:
        return 1255; // Hebrew
    case 178:
        return 1256; // Arabic
    case 186:
        return 1257; // Baltic
    case 204:
        return 1251; // Cyrillic
    case 222:
        return 874; // Thai
    case 238:
        return 1250; // Eastern European
    default:
        return 0;
    }
}

// True when `byte` starts a two-byte character in the code page.
bool IsLeadByte(int cp, unsigned char byte) {
    switch (cp) {
    case 932:
        return (byte >= 0x81 && byte <= 0x9F) || (byte >= 0xE0 && byte <= 0xFC);
    case 936:
    case 949:
    case 950:
        return byte >= 0x81 && byte <= 0xFE;
    default:
        return false;
    }
}

// Decodes byte strings of the supported code pages to UTF-8 through iconv, keeping one
// descriptor per code page for the reader's lifetime.
class CodePageDecoder {
public:
    CodePageDecoder() = default;
    CodePageDecoder(const CodePageDecoder&) = delete;
    CodePageDecoder& operator=(const CodePageDecoder&) = delete;
    ~CodePageDecoder() {
        for (auto& [cp, cd] : descriptors_)
            iconv_close(cd);
    }

    // Appends the UTF-8 text of `bytes`; a byte that does not start a valid character
    // becomes U+FFFD and decoding goes on with the next byte.
    void Decode(int cp, std::string_view bytes, std::string& out) {
        if (std::all_of(bytes.begin(), bytes.end(),
                        [](char c) { return static_cast<unsigned char>(c) < 0x80; })) {
            out += bytes; // ASCII reads the same in every supported code page
            return;
        }
        iconv_t cd = Descriptor(cp);
        if (cd == reinterpret_cast<iconv_t>(-1)) {
            for (char c : bytes) // no converter: Latin-1
                AppendUtf8(out, static_cast<unsigned char>(c));
            return;
        }
        iconv(cd, nullptr, nullptr, nullptr, nullptr);
        char* src = const_cast<char*>(bytes.data());
        std::size_t srcLeft = bytes.size();
        std::array<char, 512> buf;
        while (srcLeft > 0) {
            char* dst = buf.data();
            std::size_t dstLeft = buf.size();
            const std::size_t r = iconv(cd, &src, &srcLeft, &dst, &dstLeft);
            out.append(buf.data(), static_cast<std::size_t>(dst - buf.data()));
            if (r != static_cast<std::size_t>(-1))
                break;
            if (errno == E2BIG)
                continue;
            // EILSEQ, or EINVAL for a character cut off at the end: skip one byte.
            AppendUtf8(out, kReplacement);
            ++src;
            --srcLeft;
            iconv(cd, nullptr, nullptr, nullptr, nullptr);
        }
        char* dst = buf.data();
        std::size_t dstLeft = buf.size();
        iconv(cd, nullptr, nullptr, &dst, &dstLeft);
        out.append(buf.data(), static_cast<std::size_t>(dst - buf.data()));
    }

private:
    iconv_t Descriptor(int cp) {
        auto it = descriptors_.find(cp);
        if (it != descriptors_.end())
            return it->second;
        const std::string name = "CP" + std::to_string(cp);
        iconv_t cd = iconv_open("UTF-8", name.c_str());
        if (cd != reinterpret_cast<iconv_t>(-1))
            descriptors_.emplace(cp, cd);
        return cd;
    }

    std::map<int, iconv_t> descriptors_;
};

enum class Destination { Text, Skip, FontTable, ColorTable };

enum class Word {
    Unknown,
    // destinations
    FontTable,
    ColorTable,
    SkippedDestination,
    // document and font settings
    AnsiCodePage,
    DefaultFont,
    Font,
    FontCharset,
    FontCodePage,
    Red,
    Green,
    Blue,
    // character formatting
    Bold,
    Italic,
    Underline,
    UnderlineNone,
    Plain,
    FontSize,
    ColorIndex,
    // paragraph formatting
    ParagraphDefault,
    AlignLeft,
    AlignCenter,
    AlignRight,
    AlignJustify,
    // text
    Par,
    Line,
    Tab,
    Unicode,
    UnicodeSkip,
    Binary,
    Character,
};

struct WordInfo {
    Word word;
    char32_t character = 0; // for Word::Character
};

const std::unordered_map<std::string_view, WordInfo>& Words() {
    static const std::unordered_map<std::string_view, WordInfo> words = [] {
        std::unordered_map<std::string_view, WordInfo> w;
        w["fonttbl"] = {Word::FontTable};
        w["colortbl"] = {Word::ColorTable};
        // Destinations whose text is not part of the document.
        for (std::string_view name : {"stylesheet",
                                      "info",
                                      "pict",
                                      "object",
                                      "objdata",
                                      "header",
                                      "headerl",
                                      "headerr",
                                      "headerf",
                                      "footer",
                                      "footerl",
                                      "footerr",
                                      "footerf",
                                      "footnote",
                                      "annotation",
                                      "atnid",
                                      "atnauthor",
                                      "atnref",
                                      "atndate",
                                      "fldinst",
                                      "xe",
                                      "tc",
                                      "txe",
                                      "themedata",
                                      "colorschememapping",
                                      "latentstyles",
                                      "datastore",
                                      "listtable",
                                      "listoverridetable",
                                      "rsidtbl",
                                      "generator",
                                      "filetbl",
                                      "revtbl",
                                      "pgdsctbl",
                                      "private",
                                      "nonshppict",
                                      "bkmkstart",
                                      "bkmkend",
                                      "template",
                                      "falt",
                                      "panose",
                                      "title",
                                      "subject",
                                      "author",
                                      "operator",
                                      "keywords",
                                      "comment",
                                      "doccomm",
                                      "company",
                                      "manager",
                                      "category",
                                      "hlinkbase",
                                      "creatim",
                                      "revtim",
                                      "printim",
                                      "buptim",
                                      "userprops",
                                      "docvar",
                                      "xmlnstbl",
                                      "fchars",
                                      "lchars",
                                      "mmathPr",
                                      "wgrffmtfilter",
                                      "passwordhash"})
            w[name] = {Word::SkippedDestination};
        w["ansicpg"] = {Word::AnsiCodePage};
        w["deff"] = {Word::DefaultFont};
        w["f"] = {Word::Font};
        w["fcharset"] = {Word::FontCharset};
        w["cpg"] = {Word::FontCodePage};
        w["red"] = {Word::Red};
        w["green"] = {Word::Green};
        w["blue"] = {Word::Blue};
        w["b"] = {Word::Bold};
        w["i"] = {Word::Italic};
        for (std::string_view name :
             {"ul", "uld", "uldash", "uldashd", "uldashdd", "uldb", "ulhwave", "ulldash", "ulth",
              "ulthd", "ulthdash", "ulthdashd", "ulthdashdd", "ulthldash", "ululdbwave", "ulw",
              "ulwave"})
            w[name] = {Word::Underline};
        w["ulnone"] = {Word::UnderlineNone};
        w["plain"] = {Word::Plain};
        w["fs"] = {Word::FontSize};
        w["cf"] = {Word::ColorIndex};
        w["pard"] = {Word::ParagraphDefault};
        w["ql"] = {Word::AlignLeft};
        w["qc"] = {Word::AlignCenter};
        w["qr"] = {Word::AlignRight};
        w["qj"] = {Word::AlignJustify};
        for (std::string_view name : {"par", "sect", "page", "row"})
            w[name] = {Word::Par};
        w["line"] = {Word::Line};
        w["tab"] = {Word::Tab};
        w["cell"] = {Word::Tab};
        w["u"] = {Word::Unicode};
        w["uc"] = {Word::UnicodeSkip};
        w["bin"] = {Word::Binary};
        w["emdash"] = {Word::Character, 0x2014};
        w["endash"] = {Word::Character, 0x2013};
        w["bullet"] = {Word::Character, 0x2022};
        w["lquote"] = {Word::Character, 0x2018};
        w["rquote"] = {Word::Character, 0x2019};
        w["ldblquote"] = {Word::Character, 0x201C};
        w["rdblquote"] = {Word::Character, 0x201D};
        w["enspace"] = {Word::Character, 0x2002};
        w["emspace"] = {Word::Character, 0x2003};
        w["qmspace"] = {Word::Character, 0x2005};
        return w;
    }();
    return words;
}

// Parameters are kept within this range so that arithmetic on them cannot overflow.
constexpr long kParamLimit = 1L << 30;

struct GroupState {
    Destination destination = Destination::Text;
    CharStyle style;
    Alignment alignment = Alignment::Left;
    int unicodeSkip = 1;      // \uc
    std::optional<long> font; // \f; empty: the document's default font
};

struct ColorEntry {
    Rgb rgb;
    bool hasComponent = false;
};

class Reader {
public:
    explicit Reader(std::string_view data) : data_(data) {}

    Document Read() {
        if (!data_.starts_with("{\\rtf"))
            throw RtfError("not RTF: the data do not start with {\\rtf");
        while (pos_ < data_.size() && !finished_) {
            const char c = data_[pos_];
            if (c == '{') {
                ++pos_;
                OpenGroup();
            } else if (c == '}') {
                ++pos_;
                CloseGroup();
            } else if (c == '\\') {
                ++pos_;
                ReadControl();
            } else {
                ++pos_;
                LiteralByte(static_cast<unsigned char>(c));
            }
        }
        if (!finished_) {
            // The data end inside a group: keep what was read.
            FlushBytes();
            ResolveHighSurrogate();
            FinishParagraph(/*explicitEnd=*/false);
        }
        return std::move(document_);
    }

private:
    // ---- groups ----

    void OpenGroup() {
        skipRemaining_ = 0;
        if (stack_.size() >= static_cast<std::size_t>(kMaxRtfDepth))
            throw RtfError("RTF groups nest too deeply");
        stack_.push_back(stack_.empty() ? GroupState{} : stack_.back());
    }

    void CloseGroup() {
        skipRemaining_ = 0;
        if (stack_.empty()) {
            finished_ = true; // cannot happen after "{\rtf", kept for safety
            return;
        }
        if (stack_.back().destination == Destination::ColorTable && colorEntry_.hasComponent) {
            // a colour table whose last entry lacks its ";"
            colorTable_.push_back(colorEntry_);
            colorEntry_ = {};
        }
        if (stack_.size() == 1) {
            // The outermost group ends; what follows it is ignored. The last paragraph
            // keeps the alignment in force at this point.
            FlushBytes();
            ResolveHighSurrogate();
            FinishParagraph(/*explicitEnd=*/false);
            finished_ = true;
        }
        stack_.pop_back();
    }

    GroupState& State() { return stack_.back(); }

    // ---- control words and symbols ----

    void ReadControl() {
        if (pos_ >= data_.size())
            return; // a lone backslash at the very end
        const char c = data_[pos_];
        if (IsAsciiLetter(c)) {
            ReadControlWord();
            return;
        }
        ++pos_;
        if (c == '\'') {
            const std::optional<unsigned char> byte = ReadHexByte();
            if (ConsumeSkipped())
                return;
            if (byte)
                EscapedByte(*byte);
            return;
        }
        if (ConsumeSkipped())
            return;
        switch (c) {
        case '\\':
        case '{':
        case '}':
            EscapedByte(static_cast<unsigned char>(c));
            break;
        case '~':
            Character(0x00A0);
            break;
        case '_':
            Character(0x2011);
            break;
        case '\t':
            Character('\t');
            break;
        case '\r':
        case '\n':
            EndParagraph();
            break;
        case '*':
            State().destination = Destination::Skip;
            break;
        default:
            break; // \- (optional hyphen), \| \: and unknown symbols show nothing
        }
    }

    void ReadControlWord() {
        const std::size_t start = pos_;
        while (pos_ < data_.size() && IsAsciiLetter(data_[pos_]))
            ++pos_;
        const std::string_view name = data_.substr(start, pos_ - start);
        std::optional<long> param;
        if (pos_ < data_.size() &&
            (IsDigit(data_[pos_]) ||
             (data_[pos_] == '-' && pos_ + 1 < data_.size() && IsDigit(data_[pos_ + 1])))) {
            const bool negative = data_[pos_] == '-';
            if (negative)
                ++pos_;
            long value = 0;
            while (pos_ < data_.size() && IsDigit(data_[pos_])) {
                value = std::min(kParamLimit, value * 10 + (data_[pos_] - '0'));
                ++pos_;
            }
            param = negative ? -value : value;
        }
        if (pos_ < data_.size() && data_[pos_] == ' ')
            ++pos_; // the space that ends a control word belongs to it

        const auto& words = Words();
        const auto it = words.find(name);
        const WordInfo info = it == words.end() ? WordInfo{Word::Unknown} : it->second;

        if (info.word == Word::Binary) {
            // The raw bytes are data of a picture or object, never text.
            const std::size_t count = param && *param > 0 ? static_cast<std::size_t>(*param) : 0;
            pos_ += std::min(count, data_.size() - pos_);
            ConsumeSkipped();
            return;
        }
        if (ConsumeSkipped())
            return;
        ApplyWord(info, param);
    }

    void ApplyWord(const WordInfo& info, std::optional<long> param) {
        GroupState& state = State();
        const bool on = !param || *param != 0; // \b and \b1 switch on, \b0 off

        // Words that act in any destination.
        switch (info.word) {
        case Word::FontTable:
            state.destination = Destination::FontTable;
            return;
        case Word::ColorTable:
            state.destination = Destination::ColorTable;
            colorEntry_ = {};
            return;
        case Word::SkippedDestination:
            state.destination = Destination::Skip;
            return;
        default:
            break;
        }

        if (state.destination == Destination::Skip)
            return;
        if (state.destination == Destination::FontTable) {
            if (info.word == Word::Font && param)
                fontBeingDefined_ = *param;
            else if (info.word == Word::FontCharset && param && fontBeingDefined_) {
                if (const int cp = CodePageOfCharset(*param))
                    fontCodePages_[*fontBeingDefined_] = cp;
            } else if (info.word == Word::FontCodePage && param && fontBeingDefined_ &&
                       IsDecodedCodePage(*param)) {
                fontCodePages_[*fontBeingDefined_] = static_cast<int>(*param);
            }
            return;
        }
        if (state.destination == Destination::ColorTable) {
            const auto component =
                static_cast<std::uint8_t>(std::clamp(param.value_or(0), 0L, 255L));
            if (info.word == Word::Red)
                colorEntry_.rgb.red = component;
            else if (info.word == Word::Green)
                colorEntry_.rgb.green = component;
            else if (info.word == Word::Blue)
                colorEntry_.rgb.blue = component;
            else
                return;
            colorEntry_.hasComponent = true;
            return;
        }

        switch (info.word) {
        case Word::AnsiCodePage:
            if (param)
                documentCodePage_ = SupportedCodePage(*param);
            break;
        case Word::DefaultFont:
            if (param)
                defaultFont_ = *param;
            break;
        case Word::Font:
            if (param)
                state.font = *param;
            break;
        case Word::Bold:
            state.style.bold = on;
            break;
        case Word::Italic:
            state.style.italic = on;
            break;
        case Word::Underline:
            state.style.underline = on;
            break;
        case Word::UnderlineNone:
            state.style.underline = false;
            break;
        case Word::Plain:
            state.style = CharStyle{};
            state.font.reset();
            break;
        case Word::FontSize:
            if (param && *param > 0)
                state.style.halfPoints = static_cast<int>(std::min<long>(*param, kMaxHalfPoints));
            else
                state.style.halfPoints.reset();
            break;
        case Word::ColorIndex:
            state.style.color = ColorAt(param.value_or(0));
            break;
        case Word::ParagraphDefault:
            state.alignment = Alignment::Left;
            break;
        case Word::AlignLeft:
            state.alignment = Alignment::Left;
            break;
        case Word::AlignCenter:
            state.alignment = Alignment::Center;
            break;
        case Word::AlignRight:
            state.alignment = Alignment::Right;
            break;
        case Word::AlignJustify:
            state.alignment = Alignment::Justify;
            break;
        case Word::Par:
            EndParagraph();
            break;
        case Word::Line:
            Character('\n');
            break;
        case Word::Tab:
            Character('\t');
            break;
        case Word::Character:
            Character(info.character);
            break;
        case Word::Unicode:
            if (param) {
                UnicodeUnit(*param);
                skipRemaining_ = state.unicodeSkip;
            }
            break;
        case Word::UnicodeSkip:
            if (param)
                state.unicodeSkip = static_cast<int>(std::clamp(*param, 0L, 1000L));
            break;
        default:
            break; // unknown words, and table words outside their tables
        }
    }

    std::optional<Rgb> ColorAt(long index) const {
        if (index < 0 || static_cast<std::size_t>(index) >= colorTable_.size())
            return std::nullopt;
        const ColorEntry& entry = colorTable_[static_cast<std::size_t>(index)];
        if (!entry.hasComponent)
            return std::nullopt;
        return entry.rgb;
    }

    // Counts one character of a \uN fallback; true when the token is to be dropped.
    bool ConsumeSkipped() {
        if (skipRemaining_ <= 0)
            return false;
        --skipRemaining_;
        return true;
    }

    std::optional<unsigned char> ReadHexByte() {
        int value = 0;
        int digits = 0;
        while (digits < 2 && pos_ < data_.size()) {
            const int d = HexValue(data_[pos_]);
            if (d < 0)
                break;
            value = value * 16 + d;
            ++digits;
            ++pos_;
        }
        if (digits == 0)
            return std::nullopt;
        return static_cast<unsigned char>(value);
    }

    // ---- text ----

    void LiteralByte(unsigned char byte) {
        if (byte == '\r' || byte == '\n')
            return; // line ends in the file are not text
        const Destination destination = State().destination;
        if (destination == Destination::ColorTable) {
            if (byte == ';') {
                colorTable_.push_back(colorEntry_);
                colorEntry_ = {};
            }
            return;
        }
        if (destination == Destination::FontTable && byte == ';') {
            fontBeingDefined_.reset();
            return;
        }
        // A raw two-byte character keeps its second byte, even where that byte is a
        // backslash or a brace.
        const int cp = CurrentCodePage();
        const bool pair = IsLeadByte(cp, byte) && pos_ < data_.size();
        if (skipRemaining_ > 0) {
            skipRemaining_ -= pair ? 2 : 1;
            if (pair)
                ++pos_;
            skipRemaining_ = std::max(skipRemaining_, 0);
            return;
        }
        if (destination != Destination::Text) {
            if (pair)
                ++pos_;
            return;
        }
        TextByte(byte);
        if (pair)
            TextByte(static_cast<unsigned char>(data_[pos_++]));
    }

    void EscapedByte(unsigned char byte) {
        if (State().destination != Destination::Text)
            return;
        TextByte(byte);
    }

    // A byte of text in the current code page; control bytes other than tab are dropped.
    void TextByte(unsigned char byte) {
        if (byte < 0x20 && byte != '\t')
            return;
        if (byte == 0x7F)
            return;
        ResolveHighSurrogate();
        const int cp = CurrentCodePage();
        if (!pendingBytes_.empty() && (cp != pendingCodePage_ || State().style != pendingStyle_))
            FlushBytes();
        if (pendingBytes_.empty()) {
            pendingCodePage_ = cp;
            pendingStyle_ = State().style;
        }
        pendingBytes_ += static_cast<char>(byte);
    }

    void Character(char32_t cp) {
        if (State().destination != Destination::Text)
            return;
        FlushBytes();
        ResolveHighSurrogate();
        std::string utf8;
        AppendUtf8(utf8, cp);
        AppendText(utf8, State().style);
    }

    // Only called in the text destination.
    void UnicodeUnit(long value) {
        if (value < 0)
            value += 65536;
        FlushBytes();
        if (value >= 0xDC00 && value <= 0xDFFF && highSurrogate_) {
            const char32_t cp = 0x10000 + ((*highSurrogate_ - 0xD800) << 10) +
                                (static_cast<char32_t>(value) - 0xDC00);
            highSurrogate_.reset();
            std::string utf8;
            AppendUtf8(utf8, cp);
            AppendText(utf8, State().style);
            return;
        }
        ResolveHighSurrogate();
        if (value >= 0xD800 && value <= 0xDBFF) {
            highSurrogate_ = static_cast<char32_t>(value);
            highSurrogateStyle_ = State().style;
            return;
        }
        char32_t cp = kReplacement;
        if (value >= 0 && value <= 0x10FFFF && !(value >= 0xDC00 && value <= 0xDFFF))
            cp = static_cast<char32_t>(value);
        if (cp < 0x20 && cp != '\t')
            return;
        if (cp == 0x7F)
            return;
        std::string utf8;
        AppendUtf8(utf8, cp);
        AppendText(utf8, State().style);
    }

    // A high surrogate not followed by its low half shows as U+FFFD.
    void ResolveHighSurrogate() {
        if (!highSurrogate_)
            return;
        highSurrogate_.reset();
        std::string utf8;
        AppendUtf8(utf8, kReplacement);
        AppendText(utf8, highSurrogateStyle_);
    }

    int CurrentCodePage() const {
        std::optional<long> font = defaultFont_;
        if (!stack_.empty() && stack_.back().font)
            font = stack_.back().font;
        if (font) {
            const auto it = fontCodePages_.find(*font);
            if (it != fontCodePages_.end())
                return it->second;
        }
        return documentCodePage_;
    }

    void FlushBytes() {
        if (pendingBytes_.empty())
            return;
        std::string utf8;
        decoder_.Decode(pendingCodePage_, pendingBytes_, utf8);
        pendingBytes_.clear();
        AppendText(utf8, pendingStyle_);
    }

    void AppendText(std::string_view utf8, const CharStyle& style) {
        if (utf8.empty())
            return;
        std::vector<Run>& runs = paragraph_.runs;
        if (!runs.empty() && runs.back().style == style)
            runs.back().text += utf8;
        else
            runs.push_back(Run{std::string(utf8), style});
    }

    void EndParagraph() {
        if (State().destination != Destination::Text)
            return;
        FlushBytes();
        ResolveHighSurrogate();
        FinishParagraph(/*explicitEnd=*/true);
    }

    void FinishParagraph(bool explicitEnd) {
        paragraph_.alignment = State().alignment;
        // The empty paragraph after a final \par is not part of the text.
        if (explicitEnd || paragraph_.runs.size() > 0 || document_.paragraphs.empty())
            document_.paragraphs.push_back(std::move(paragraph_));
        paragraph_ = Paragraph{};
    }

    static bool IsAsciiLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }
    static bool IsDigit(char c) { return c >= '0' && c <= '9'; }
    static int HexValue(char c) {
        if (c >= '0' && c <= '9')
            return c - '0';
        if (c >= 'a' && c <= 'f')
            return c - 'a' + 10;
        if (c >= 'A' && c <= 'F')
            return c - 'A' + 10;
        return -1;
    }

    std::string_view data_;
    std::size_t pos_ = 0;
    bool finished_ = false;
    std::vector<GroupState> stack_;

    int documentCodePage_ = kDefaultCodePage;
    std::optional<long> defaultFont_;
    std::unordered_map<long, int> fontCodePages_;
    std::optional<long> fontBeingDefined_;

    std::vector<ColorEntry> colorTable_;
    ColorEntry colorEntry_;

    int skipRemaining_ = 0; // fallback characters of the last \uN still to drop
    std::optional<char32_t> highSurrogate_;
    CharStyle highSurrogateStyle_;

    std::string pendingBytes_; // text bytes not yet decoded, all in one code page and style
    int pendingCodePage_ = kDefaultCodePage;
    CharStyle pendingStyle_;
    CodePageDecoder decoder_;

    Document document_;
    Paragraph paragraph_;
};

} // namespace

Document ParseRtf(std::string_view bytes) {
    return Reader(bytes).Read();
}

} // namespace tessaly::rtf
