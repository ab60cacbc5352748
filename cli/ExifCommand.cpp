#include "cli/Commands.h"

#include <ostream>

namespace tessaly::cli {

int RunExif(Args, std::ostream&, std::ostream& err) {
    err << "tessaly-cli exif: not available yet\n";
    return 2;
}

} // namespace tessaly::cli
