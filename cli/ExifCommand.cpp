// tessaly-cli exif: the EXIF overlay block of each file as the viewer shows it, or every
// property the reader read as JSON.
#include "base/ShiftJis.h"
#include "cli/Commands.h"
#include "cli/ExifJson.h"
#include "exif/ExifOverlay.h"

#include <ostream>
#include <string>
#include <vector>

namespace tessaly::cli {
namespace {

constexpr std::string_view kExifUsage =
    R"(Usage: tessaly-cli exif [--all] FILE...
       tessaly-cli exif --json FILE...

Without --json, prints the EXIF overlay block of each file as the viewer shows it (the 13
items it shows, or all 27 with --all, and the file size), with a blank line between files.
With --json, prints a JSON array with one object per file: "ImageFileName", "found" (false
when the file has no EXIF block) and every property the reader fills.

Exit codes: 0 every file was handled, 1 a file could not be opened or its EXIF block could
not be read (the message goes to standard error, the other files are still printed),
2 a usage error.
)";

struct Options {
    bool json = false;
    bool all = false;
    std::vector<std::string> files;
};

int UsageError(std::ostream& err, const std::string& message) {
    err << "tessaly-cli exif: " << message << "\n\n" << kExifUsage;
    return 2;
}

// Appends `text` (UTF-8) so that a terminal prints it and nothing else: control characters
// other than a tab become visible escapes (C0 and DEL as "\x1B", C1 as "\u009B"), so a
// value or a file name cannot retitle, clear or move the terminal. With `lineEnds`, a CR LF
// pair (the overlay's own line end) becomes a line feed; any other CR or LF is escaped too.
void AppendShown(std::string& out, std::string_view text, bool lineEnds) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    for (std::size_t i = 0; i < text.size(); ++i) {
        const auto byte = static_cast<unsigned char>(text[i]);
        if (lineEnds && byte == '\r' && i + 1 < text.size() && text[i + 1] == '\n') {
            out += '\n';
            ++i;
        } else if ((byte < 0x20 && byte != '\t') || byte == 0x7F) {
            out += "\\x";
            out += kHex[byte >> 4];
            out += kHex[byte & 0xF];
        } else if (byte == 0xC2 && i + 1 < text.size() &&
                   static_cast<unsigned char>(text[i + 1]) >= 0x80 &&
                   static_cast<unsigned char>(text[i + 1]) <= 0x9F) {
            const auto code = static_cast<unsigned char>(text[i + 1]);
            out += "\\u00";
            out += kHex[code >> 4];
            out += kHex[code & 0xF];
            ++i;
        } else {
            out += text[i];
        }
    }
}

// The overlay text as a terminal shows it: UTF-8 with line feeds, control characters
// escaped.
std::string TerminalText(const std::string& sjis) {
    std::string out;
    AppendShown(out, SjisToUtf8(sjis), true);
    return out;
}

// A file name or message for standard error, control characters escaped.
std::string Shown(std::string_view text) {
    std::string out;
    AppendShown(out, text, false);
    return out;
}

} // namespace

int RunExif(Args args, std::ostream& out, std::ostream& err) {
    Options options;
    bool optionsEnded = false;
    for (const std::string_view arg : args) {
        if (!optionsEnded && arg == "--") {
            optionsEnded = true;
        } else if (!optionsEnded && arg == "--json") {
            options.json = true;
        } else if (!optionsEnded && arg == "--all") {
            options.all = true;
        } else if (!optionsEnded && (arg == "--help" || arg == "-h")) {
            out << kExifUsage;
            return 0;
        } else if (!optionsEnded && arg.size() > 1 && arg[0] == '-') {
            return UsageError(err, "unknown option '" + Shown(arg) + "'");
        } else {
            options.files.emplace_back(arg);
        }
    }
    if (options.files.empty())
        return UsageError(err, "no file given");
    if (options.json && options.all)
        return UsageError(err, "--all chooses overlay items and has no meaning with --json");

    int exitCode = 0;
    bool first = true;
    TExifInfo reader;
    bool found = true;
    reader.SetOnReadError([&found](TExifInfo&) { found = false; });
    if (options.json)
        out << "[";
    for (const std::string& file : options.files) {
        if (!FileSource::Open(file)) {
            err << "tessaly-cli exif: cannot open '" << Shown(file) << "'\n";
            exitCode = 1;
            continue;
        }
        found = true;
        std::string text;
        try {
            if (options.json)
                reader.SetImageFileName(file);
            else
                text =
                    MakeDspExifInfo(reader, file, options.all ? ExifItems::All : ExifItems::Masked);
        } catch (const std::exception& e) {
            err << "tessaly-cli exif: " << Shown(e.what()) << "\n";
            exitCode = 1;
            continue;
        }
        if (options.json) {
            out << (first ? "\n" : ",\n");
            WriteExifJson(out, reader, found, 2);
        } else {
            out << (first ? "" : "\n") << TerminalText(text) << "\n";
        }
        first = false;
    }
    if (options.json)
        out << (first ? "]\n" : "\n]\n");
    out.flush();
    return exitCode;
}

} // namespace tessaly::cli
