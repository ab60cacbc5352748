#include "cli/Commands.h"

#include <ostream>

namespace tessaly::cli {

int RunExtract(Args, std::ostream&, std::ostream& err) {
    err << "tessaly-cli extract: not available yet\n";
    return 2;
}

} // namespace tessaly::cli
