// tessaly-cli extract IN [--area X,Y,W,H] [--size WxH] [--sepia|--mono] [--level N]
//                       [--as-stored] -o OUT
//
// Cuts an area out of a JPEG or binary PPM picture as the main window cuts a selection
// (white outside the picture), resamples it and applies an effect as the pick window's
// output does, and writes it as JPEG (.jpg, quality from the level, 8 unless given) or as
// a binary PPM (.ppm), row by row as the resampling makes it. A JPEG picture is upright by
// its orientation (the area in upright coordinates) unless --as-stored is given, and a JPEG
// output carries the input's colour profile (a PPM file has no room for one).
#include "base/AsciiCase.h"
#include "base/FileReplace.h"
#include "base/RegularFile.h"
#include "cli/Commands.h"
#include "cli/Ppm.h"
#include "colour/DisplayColours.h"
#include "jpeg/JpegDecoder.h"
#include "jpeg/JpegWriter.h"
#include "picture/AreaCut.h"
#include "picture/UprightPixels.h"
#include "resample/OutputPicture.h"
#include "resample/Resample.h"

#include <algorithm>
#include <charconv>
#include <cstdio>
#include <jpeglib.h>
#include <optional>
#include <ostream>
#include <span>
#include <string>
#include <vector>

namespace tessaly::cli {
namespace {

constexpr std::string_view kUsage =
    "usage: tessaly-cli extract IN [--area X,Y,W,H] [--size WxH] [--sepia|--mono] "
    "[--level N] [--as-stored] -o OUT\n";
constexpr int kDefaultLevel = 8;
constexpr int kHighestLevel = 12;

enum class OutputKind { Jpeg, Ppm };

struct Area {
    int x, y, w, h;
};

struct Options {
    std::string input;
    std::string output;
    OutputKind kind = OutputKind::Jpeg;
    std::optional<Area> area;
    std::optional<std::pair<int, int>> size;
    bool sepia = false;
    bool mono = false;
    bool asStored = false;
    std::optional<int> level;
};

// A bad command line; the message says what is wrong.
struct UsageError {
    std::string message;
};

// A file that cannot be read or written.
struct FileError {
    std::string message;
};

std::optional<int> ParseInt(std::string_view text) {
    int value = 0;
    const auto [end, ec] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (ec != std::errc() || end != text.data() + text.size() || text.empty())
        return std::nullopt;
    return value;
}

// Splits "a<sep>b<sep>..." into exactly `count` integers.
std::optional<std::vector<int>> ParseInts(std::string_view text, char separator,
                                          std::size_t count) {
    std::vector<int> values;
    while (true) {
        const std::size_t at = text.find(separator);
        const std::optional<int> value = ParseInt(text.substr(0, at));
        if (!value)
            return std::nullopt;
        values.push_back(*value);
        if (at == std::string_view::npos)
            break;
        text.remove_prefix(at + 1);
    }
    if (values.size() != count)
        return std::nullopt;
    return values;
}

bool EndsWith(const std::string& text, std::string_view suffix) {
    return text.size() > suffix.size() && text.compare(text.size() - suffix.size(), suffix.size(),
                                                       suffix.data(), suffix.size()) == 0;
}

void CheckPixelCount(int w, int h, const char* what) {
    if (ExceedsPictureLimit(w, h))
        throw UsageError{std::string(what) + " is too large (at most " +
                         std::to_string(kMaxDecodePixels) + " pixels)"};
}

Options ParseOptions(Args args) {
    Options options;
    std::vector<std::string_view> positional;
    bool onlyPositional = false;
    bool sawArea = false, sawSize = false, sawLevel = false, sawOutput = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string_view arg = args[i];
        if (onlyPositional || arg.size() < 2 || arg[0] != '-') {
            positional.push_back(arg);
            continue;
        }
        if (arg == "--") {
            onlyPositional = true;
            continue;
        }
        if (arg == "--as-stored") {
            options.asStored = true;
            continue;
        }
        if (arg == "--sepia" || arg == "--mono") {
            (arg == "--sepia" ? options.sepia : options.mono) = true;
            continue;
        }
        // Options with a value: "--name value" or "--name=value" ("-o OUT" only the first).
        std::string_view name = arg;
        std::optional<std::string_view> value;
        if (const std::size_t eq = arg.find('='); eq != std::string_view::npos && arg != "-o") {
            name = arg.substr(0, eq);
            value = arg.substr(eq + 1);
        }
        if (name != "--area" && name != "--size" && name != "--level" && name != "-o")
            throw UsageError{"unknown option '" + std::string(arg) + "'"};
        if (!value) {
            if (i + 1 >= args.size())
                throw UsageError{"option " + std::string(name) + " needs a value"};
            value = args[++i];
        }
        const auto once = [&](bool& seen) {
            if (seen)
                throw UsageError{"option " + std::string(name) + " is given twice"};
            seen = true;
        };
        if (name == "--area") {
            once(sawArea);
            const auto v = ParseInts(*value, ',', 4);
            if (!v || (*v)[2] < 1 || (*v)[3] < 1)
                throw UsageError{"--area wants X,Y,W,H with whole numbers and W, H at least 1, "
                                 "not '" +
                                 std::string(*value) + "'"};
            options.area = Area{(*v)[0], (*v)[1], (*v)[2], (*v)[3]};
        } else if (name == "--size") {
            once(sawSize);
            std::string lowered = LowerAscii(*value);
            const auto v = ParseInts(lowered, 'x', 2);
            if (!v || (*v)[0] < 1 || (*v)[1] < 1)
                throw UsageError{"--size wants WxH with whole numbers of at least 1, not '" +
                                 std::string(*value) + "'"};
            options.size = std::pair{(*v)[0], (*v)[1]};
        } else if (name == "--level") {
            once(sawLevel);
            const auto v = ParseInt(*value);
            if (!v || *v < 0 || *v > kHighestLevel)
                throw UsageError{"--level wants a whole number from 0 to " +
                                 std::to_string(kHighestLevel) + ", not '" + std::string(*value) +
                                 "'"};
            options.level = *v;
        } else {
            once(sawOutput);
            options.output = std::string(*value);
        }
    }
    if (positional.size() != 1)
        throw UsageError{positional.empty() ? "no input file given"
                                            : "only one input file is allowed"};
    options.input = std::string(positional.front());
    if (!sawOutput || options.output.empty())
        throw UsageError{"no output file given (-o OUT)"};
    if (options.sepia && options.mono)
        throw UsageError{"--sepia and --mono exclude each other"};
    const std::string lowered = LowerAscii(options.output);
    if (EndsWith(lowered, ".jpg") || EndsWith(lowered, ".jpeg"))
        options.kind = OutputKind::Jpeg;
    else if (EndsWith(lowered, ".ppm"))
        options.kind = OutputKind::Ppm;
    else
        throw UsageError{"the output file must end in .jpg or .ppm: '" + options.output + "'"};
    if (options.level && options.kind != OutputKind::Jpeg)
        throw UsageError{"--level applies to .jpg output only"};
    if (options.area)
        CheckPixelCount(options.area->w, options.area->h, "the area");
    if (options.size)
        CheckPixelCount(options.size->first, options.size->second, "the output size");
    return options;
}

// The input file, opened, with the size of its upright picture, its orientation and its
// colour profile read from the header.
struct Input {
    RegularFile file;
    OutputKind kind; // of the input: a JPEG or a PPM
    int width = 0;
    int height = 0;
    std::uint64_t ppmBytes = 0;
    Orientation orientation = Orientation::AsStored;
    std::vector<std::uint8_t> profile; // for the output (ProfileOfCopies)
};

// Bytes read first: the start of a JPEG or the whole header of a PPM.
constexpr std::size_t kHeadBytes = 64 * 1024;

Input OpenPicture(const std::string& path, bool asStored) {
    try {
        RegularFile file(path);
        std::vector<std::uint8_t> head(kHeadBytes);
        head.resize(file.ReadAt(0, head.data(), head.size()));
        if (LooksLikePpm(head)) {
            const PpmHeader header = ReadPpmHeader(head);
            return {std::move(file), OutputKind::Ppm, static_cast<int>(header.width),
                    static_cast<int>(header.height), header.FileBytes()};
        }
        if (head.size() >= 2 && head[0] == 0xFF && head[1] == 0xD8) {
            const JpegInfo info = ReadJpegHeader(file);
            CheckDecodable(info);
            const Orientation orientation = ShownOrientation(info.orientation, asStored);
            const Size upright = UprightMapping(orientation, {info.width, info.height}).Upright();
            return {std::move(file),
                    OutputKind::Jpeg,
                    upright.width,
                    upright.height,
                    0,
                    orientation,
                    ProfileOfCopies(info)};
        }
    } catch (const FileReadError& e) {
        throw FileError{e.what()};
    } catch (const std::exception& e) {
        throw FileError{path + ": " + e.what()};
    }
    throw FileError{path + ": neither a JPEG nor a binary PPM (P6) file"};
}

Bitmap ReadPicture(const Input& input) {
    try {
        if (input.kind == OutputKind::Jpeg) {
            // A picture whose data a bound cut is incomplete: no output is made from it.
            DecodeNotes notes;
            Bitmap picture = DecodeJpeg(input.file, nullptr, &notes);
            if (!notes.streamCut.empty())
                throw FileError{input.file.Path() + ": " + notes.streamCut};
            return picture;
        }
        // Only the bytes the header asks for, as far as the file holds them.
        std::vector<std::uint8_t> bytes(
            static_cast<std::size_t>(std::min(input.ppmBytes, input.file.Size())));
        bytes.resize(input.file.ReadAt(0, bytes.data(), bytes.size()));
        return ReadPpm(bytes);
    } catch (const FileReadError& e) {
        throw FileError{e.what()};
    } catch (const std::exception& e) {
        throw FileError{input.file.Path() + ": " + e.what()};
    }
}

// Every picture the command makes, checked before any is made: the intermediate of the
// width pass (the output's width at the area's height, as the passes run in that order) and,
// for a JPEG file, the encoder's largest dimension. The area and the output size themselves
// are checked with the command line.
void CheckSizes(const Options& options, const Area& area, int width, int height) {
    if (!WidthPassFits(area.w, area.h, width))
        throw FileError{"the output width " + std::to_string(width) + " at the area's height " +
                        std::to_string(area.h) + " is too large to resample (at most " +
                        std::to_string(kMaxDecodePixels) + " pixels)"};
    if (options.kind == OutputKind::Jpeg &&
        (width > JPEG_MAX_DIMENSION || height > JPEG_MAX_DIMENSION))
        throw FileError{options.output + ": a JPEG file is at most " +
                        std::to_string(JPEG_MAX_DIMENSION) + " pixels wide and high, not " +
                        std::to_string(width) + " x " + std::to_string(height)};
}

PictureEffect EffectOf(const Options& options) {
    return options.sepia  ? PictureEffect::Sepia
           : options.mono ? PictureEffect::Mono
                          : PictureEffect::None;
}

// The output resampled and tinted as asked, written as JPEG: compressed whole first, so that a
// failure leaves the file as it was.
void WriteJpeg(Bitmap picture, int width, int height, const Options& options,
               std::vector<std::uint8_t> profile) {
    Bitmap out;
    MakeOutputPicture(std::move(picture), out, width, height, EffectOf(options));
    try {
        JpegWriter jpeg(std::move(out));
        jpeg.SetIccProfile(std::move(profile));
        SaveJpegFile(jpeg, options.output, options.level.value_or(kDefaultLevel));
    } catch (const FileCreateError& e) {
        throw FileError{e.what()};
    } catch (const JpegError& e) {
        throw FileError{options.output + ": " + e.what()};
    }
}

// The output written as PPM row by row as the resampling makes it, never held whole.
void WritePpmRows(const Bitmap& picture, int width, int height, const Options& options) {
    try {
        WriteFileReplacing(options.output, PpmFileBytes(width, height),
                           [&](const ContentSink& sink) {
                               const std::string header = PpmHeaderText(width, height);
                               sink(std::span(reinterpret_cast<const std::uint8_t*>(header.data()),
                                              header.size()));
                               MakeOutputRows(picture, width, height, EffectOf(options),
                                              [&](std::span<std::uint8_t> rows) {
                                                  ToPpmOrder(rows);
                                                  sink(rows);
                                              });
                           });
    } catch (const FileCreateError& e) {
        throw FileError{e.what()};
    }
}

} // namespace

int RunExtract(Args args, std::ostream&, std::ostream& err) {
    try {
        const Options options = ParseOptions(args);
        const Input input = OpenPicture(options.input, options.asStored);
        const Area area = options.area.value_or(Area{0, 0, input.width, input.height});
        const auto [width, height] = options.size.value_or(std::pair{area.w, area.h});
        CheckSizes(options, area, width, height);
        Bitmap picture = ReadPicture(input);
        // The whole picture is used as it is, not copied (only turned when it must be).
        if (area.x != 0 || area.y != 0 || area.w != input.width || area.h != input.height)
            picture = CutArea(picture, input.orientation, area.x, area.y, area.w, area.h);
        else
            picture = TurnUpright(std::move(picture), input.orientation);
        if (options.kind == OutputKind::Ppm)
            WritePpmRows(picture, width, height, options);
        else
            WriteJpeg(std::move(picture), width, height, options, input.profile);
        return 0;
    } catch (const UsageError& e) {
        err << "tessaly-cli extract: " << e.message << "\n" << kUsage;
        return 2;
    } catch (const FileError& e) {
        err << "tessaly-cli extract: " << e.message << "\n";
        return 1;
    } catch (const std::bad_alloc&) {
        err << "tessaly-cli extract: not enough memory\n";
        return 1;
    } catch (const std::exception& e) {
        err << "tessaly-cli extract: " << e.what() << "\n";
        return 1;
    }
}

} // namespace tessaly::cli
