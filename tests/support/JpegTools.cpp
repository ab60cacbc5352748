#include "tests/support/JpegTools.h"

#include <cstdlib>
#include <stdexcept>

namespace tessaly::fixtures {
namespace {

std::string Quoted(const std::filesystem::path& path) {
    std::string quoted = "'";
    for (const char c : path.string())
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    return quoted + "'";
}

void Run(const std::string& command) {
    if (std::system(command.c_str()) != 0)
        throw std::runtime_error("failed: " + command);
}

} // namespace

void Jpegtran(const std::string& options, const std::filesystem::path& in,
              const std::filesystem::path& out) {
    Run("jpegtran " + options + " -outfile " + Quoted(out) + " " + Quoted(in));
}

Bytes Djpeg(const std::filesystem::path& jpeg) {
    const std::filesystem::path out = jpeg.string() + ".pnm";
    Run("djpeg -pnm -outfile " + Quoted(out) + " " + Quoted(jpeg));
    Bytes bytes = ReadFile(out);
    std::filesystem::remove(out);
    return bytes;
}

} // namespace tessaly::fixtures
