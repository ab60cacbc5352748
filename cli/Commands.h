// The commands of tessaly-cli. Each takes the arguments after its own name and returns
// the process exit code: 0 done, 1 a file could not be read or written, 2 a usage error.
#pragma once

#include <iosfwd>
#include <span>
#include <string_view>

namespace tessaly::cli {

using Args = std::span<const std::string_view>;

int RunExif(Args args, std::ostream& out, std::ostream& err);
int RunExtract(Args args, std::ostream& out, std::ostream& err);
int RunTurn(Args args, std::ostream& out, std::ostream& err);
int RunCrop(Args args, std::ostream& out, std::ostream& err);
// Built when Qt Gui is found (TESSALY_CLI_THUMBNAILS).
int RunThumbnail(Args args, std::ostream& out, std::ostream& err);

} // namespace tessaly::cli
