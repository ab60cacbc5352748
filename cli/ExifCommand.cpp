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

// The overlay text as a terminal shows it: UTF-8 with line feeds.
std::string TerminalText(const std::string& sjis) {
    std::string utf8 = SjisToUtf8(sjis);
    std::string out;
    out.reserve(utf8.size());
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if (utf8[i] == '\r' && i + 1 < utf8.size() && utf8[i + 1] == '\n')
            continue;
        out += utf8[i];
    }
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
            return UsageError(err, "unknown option '" + std::string(arg) + "'");
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
            err << "tessaly-cli exif: cannot open '" << file << "'\n";
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
            err << "tessaly-cli exif: " << e.what() << "\n";
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
