// tessaly-cli: the viewer's command-line companion. It needs no display.
#include "cli/Commands.h"

#include <iostream>
#include <string_view>
#include <vector>

namespace {

constexpr std::string_view kUsage =
    R"(Usage: tessaly-cli COMMAND [ARGS]...

Commands:
  exif [--all] FILE...       print the EXIF overlay block of each file, as the viewer
                             shows it (--all: all 27 items instead of the 13 shown)
  exif --json FILE...        print every EXIF property of each file as a JSON array
  extract IN [--area X,Y,W,H] [--size WxH] [--sepia|--mono] [--level N]
          [--as-stored] -o OUT
                             cut an area of a JPEG or PPM picture, resample it, apply
                             an effect and write it as JPEG (.jpg) or PPM (.ppm); a
                             JPEG picture is upright by its EXIF orientation (the area
                             in upright coordinates) unless --as-stored, and a JPEG
                             output keeps the input's colour profile
  turn FILE [--right|--left|--half] [--pixels [--trim|--reencode]]
                             turn a JPEG photo by its EXIF orientation tag alone, or
                             with --pixels in its DCT blocks without loss (upright with
                             orientation 1; no direction: as it shows now); a picture
                             whose size needs a trim for that is refused unless --trim,
                             or --reencode (decoded, turned and encoded again at the
                             quality the file has)
  crop FILE --area X,Y,W,H -o OUT
                             save an area (upright coordinates) of a JPEG photo as a new
                             file cut from its DCT blocks without loss; prints the area
                             saved (left and top edges moved out to the block grid)
  thumbnail FILE... [--size normal|large|x-large|xx-large]
                             make or validate the files' thumbnails in the shared
                             thumbnail cache and print their paths
  --help                     show this text
  --version                  show the version

Exit codes: 0 done, 1 a file could not be read or written, 2 a usage error.
)";

} // namespace

int main(int argc, char** argv) {
    std::vector<std::string_view> args(argv + 1, argv + argc);
    if (args.empty()) {
        std::cerr << kUsage;
        return 2;
    }
    const std::string_view command = args.front();
    const tessaly::cli::Args rest(args.data() + 1, args.size() - 1);
    if (command == "--help" || command == "-h" || command == "help") {
        std::cout << kUsage;
        return 0;
    }
    if (command == "--version") {
        std::cout << "tessaly-cli " TESSALY_VERSION "\n";
        return 0;
    }
    if (command == "exif")
        return tessaly::cli::RunExif(rest, std::cout, std::cerr);
    if (command == "extract")
        return tessaly::cli::RunExtract(rest, std::cout, std::cerr);
    if (command == "turn")
        return tessaly::cli::RunTurn(rest, std::cout, std::cerr);
    if (command == "crop")
        return tessaly::cli::RunCrop(rest, std::cout, std::cerr);
    if (command == "thumbnail") {
#ifdef TESSALY_CLI_THUMBNAILS
        return tessaly::cli::RunThumbnail(rest, std::cout, std::cerr);
#else
        std::cerr << "tessaly-cli: built without Qt Gui, so without the thumbnail command\n";
        return 2;
#endif
    }
    std::cerr << "tessaly-cli: unknown command '" << command << "'\n\n" << kUsage;
    return 2;
}
