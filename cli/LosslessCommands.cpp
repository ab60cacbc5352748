// tessaly-cli turn FILE [--right | --left | --half] [--pixels [--trim | --reencode]]
// tessaly-cli crop FILE --area X,Y,W,H -o OUT
//
// Lossless turns and crops of a JPEG file. A turn without --pixels changes the EXIF
// orientation tag alone; with --pixels the picture's DCT blocks are turned so that it shows
// upright with orientation 1 (without a direction: as its orientation shows it now); where
// that needs a trim, --trim trims and --reencode encodes the turned picture again at the
// quality the file has. A crop
// saves an area (upright coordinates) as a new file cut from the DCT blocks and prints the
// area it saved, whose left and top edges the block grid may have moved out.
#include "base/FileReplace.h"
#include "base/RegularFile.h"
#include "cli/Commands.h"
#include "jpeg/LosslessEdit.h"

#include <charconv>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tessaly::cli {
namespace {

constexpr std::string_view kTurnUsage =
    "usage: tessaly-cli turn FILE [--right | --left | --half] [--pixels [--trim | --reencode]]\n";
constexpr std::string_view kCropUsage = "usage: tessaly-cli crop FILE --area X,Y,W,H -o OUT\n";

const char* EdgeName(EdgeTrim::Edge edge) {
    switch (edge) {
    case EdgeTrim::Edge::Left:
        return "left";
    case EdgeTrim::Edge::Right:
        return "right";
    case EdgeTrim::Edge::Top:
        return "top";
    case EdgeTrim::Edge::Bottom:
        return "bottom";
    }
    return "";
}

std::string TrimText(const std::vector<EdgeTrim>& trims) {
    std::string text;
    for (const EdgeTrim& trim : trims) {
        if (!text.empty())
            text += " and ";
        text += std::to_string(trim.pixels) + " pixels on the " + EdgeName(trim.edge) + " edge";
    }
    return text;
}

// Runs `work`, turning the failures of reading, transforming and writing into exit code 1.
template <typename Work> int Guarded(std::ostream& err, const Work& work) {
    try {
        return work();
    } catch (const LosslessError& e) {
        err << "tessaly-cli: " << e.what() << '\n';
    } catch (const FileReadError& e) {
        err << "tessaly-cli: " << e.what() << '\n';
    } catch (const FileCreateError& e) {
        err << "tessaly-cli: " << e.what() << '\n';
    }
    return 1;
}

std::optional<Rect> ParseArea(std::string_view text) {
    int values[4] = {};
    const char* at = text.data();
    const char* end = text.data() + text.size();
    for (int i = 0; i < 4; ++i) {
        const auto [next, ec] = std::from_chars(at, end, values[i]);
        if (ec != std::errc() || next == at)
            return std::nullopt;
        at = next;
        if (i < 3) {
            if (at == end || *at != ',')
                return std::nullopt;
            ++at;
        }
    }
    if (at != end || values[2] <= 0 || values[3] <= 0)
        return std::nullopt;
    return Rect{values[0], values[1], values[2], values[3]};
}

} // namespace

int RunTurn(Args args, std::ostream& out, std::ostream& err) {
    std::optional<std::string> file;
    Turn turn = Turn::None;
    bool pixels = false;
    bool trim = false;
    bool reencode = false;
    for (const std::string_view arg : args) {
        if (arg == "--right" || arg == "--left" || arg == "--half") {
            if (turn != Turn::None) {
                err << "tessaly-cli: give one direction\n" << kTurnUsage;
                return 2;
            }
            turn = arg == "--right" ? Turn::Right : arg == "--left" ? Turn::Left : Turn::Half;
        } else if (arg == "--pixels") {
            pixels = true;
        } else if (arg == "--trim") {
            trim = true;
        } else if (arg == "--reencode") {
            reencode = true;
        } else if (!arg.starts_with("-") && !file) {
            file = std::string(arg);
        } else {
            err << "tessaly-cli: unexpected argument '" << arg << "'\n" << kTurnUsage;
            return 2;
        }
    }
    if (!file || (turn == Turn::None && !pixels) || ((trim || reencode) && !pixels) ||
        (trim && reencode)) {
        err << kTurnUsage;
        return 2;
    }
    return Guarded(err, [&] {
        if (!pixels) {
            const Orientation now = TurnByTag(*file, turn);
            out << "orientation " << static_cast<int>(now) << '\n';
            return 0;
        }
        const TrimPolicy policy = trim       ? TrimPolicy::Trim
                                  : reencode ? TrimPolicy::Reencode
                                             : TrimPolicy::Refuse;
        const BakeResult result = Bake(*file, turn, policy);
        if (!result.written && !result.trims.empty()) {
            err << "tessaly-cli: " << *file << ": a lossless turn needs a trim of "
                << TrimText(result.trims)
                << " (give --trim to trim them, or --reencode to encode the picture again)\n";
            return 1;
        }
        out << result.size.width << 'x' << result.size.height;
        if (!result.written)
            out << " (already upright)";
        else if (!result.trims.empty())
            out << " (trimmed " << TrimText(result.trims) << ')';
        else if (result.quality != 0)
            out << " (encoded again at quality " << result.quality << ')';
        out << '\n';
        return 0;
    });
}

int RunCrop(Args args, std::ostream& out, std::ostream& err) {
    std::optional<std::string> file, output;
    std::optional<Rect> area;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if ((arg == "--area" || arg == "-o") && i + 1 < args.size()) {
            const std::string_view value = args[++i];
            if (arg == "-o") {
                output = std::string(value);
            } else if (!(area = ParseArea(value))) {
                err << "tessaly-cli: bad area '" << value << "'\n" << kCropUsage;
                return 2;
            }
        } else if (!arg.starts_with("-") && !file) {
            file = std::string(arg);
        } else {
            err << "tessaly-cli: unexpected argument '" << arg << "'\n" << kCropUsage;
            return 2;
        }
    }
    if (!file || !output || !area) {
        err << kCropUsage;
        return 2;
    }
    return Guarded(err, [&] {
        const Rect saved = CropToFile(*file, *area, *output);
        out << saved.left << ',' << saved.top << ',' << saved.width << ',' << saved.height << '\n';
        return 0;
    });
}

} // namespace tessaly::cli
