// What a command of tessaly-cli did when the tests call it in-process: its exit code and what
// it wrote to standard output and standard error.
#pragma once

#include "cli/Commands.h"

#include <sstream>
#include <string>
#include <string_view>
#include <vector>

namespace tessaly::testing {

struct Outcome {
    int code = 0;
    std::string out;
    std::string err;
};

template <typename Command>
Outcome Invoke(Command command, const std::vector<std::string>& args) {
    const std::vector<std::string_view> views(args.begin(), args.end());
    std::ostringstream out, err;
    const int code = command(cli::Args(views.data(), views.size()), out, err);
    return {code, out.str(), err.str()};
}

} // namespace tessaly::testing
