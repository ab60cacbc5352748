// tessaly-cli thumbnail: makes or validates the shared cache's thumbnails of the files and
// prints their paths, one a line in the order of the files.
#include "cli/Commands.h"
#include "thumbnails/ThumbnailProvider.h"

#include <algorithm>
#include <atomic>
#include <ostream>
#include <string>
#include <thread>
#include <vector>

namespace tessaly::cli {
namespace {

constexpr std::string_view kThumbnailUsage =
    R"(Usage: tessaly-cli thumbnail FILE... [--size normal|large|x-large|xx-large]

Makes the thumbnail of each JPEG file in the shared thumbnail cache
($XDG_CACHE_HOME/thumbnails, else ~/.cache/thumbnails), unless a valid one is there already,
and prints its path. The size is normal (128 pixels) unless --size says otherwise. A file
that cannot be made into a thumbnail gets an entry under fail/ and is not tried again until
it changes.

Exit codes: 0 every file has its thumbnail, 1 a file has none or it could not be written
(the message goes to standard error, the other files are still handled), 2 a usage error.
)";

int UsageError(std::ostream& err, const std::string& message) {
    err << "tessaly-cli thumbnail: " << message << "\n\n" << kThumbnailUsage;
    return 2;
}

} // namespace

int RunThumbnail(Args args, std::ostream& out, std::ostream& err) {
    ThumbnailSize size = ThumbnailSize::Normal;
    std::vector<std::string> files;
    bool optionsEnd = false;
    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string_view arg = args[i];
        if (!optionsEnd && (arg == "--help" || arg == "-h")) {
            out << kThumbnailUsage;
            return 0;
        }
        if (!optionsEnd && (arg == "--size" || arg.starts_with("--size="))) {
            std::string_view value;
            if (arg == "--size") {
                if (i + 1 == args.size())
                    return UsageError(err, "--size needs a value");
                value = args[++i];
            } else {
                value = arg.substr(7);
            }
            if (!SizeFromName(value, size))
                return UsageError(err, "unknown size '" + std::string(value) + "'");
        } else if (!optionsEnd && arg == "--") {
            optionsEnd = true;
        } else if (!optionsEnd && arg.starts_with("-") && arg.size() > 1) {
            return UsageError(err, "unknown option '" + std::string(arg) + "'");
        } else {
            files.emplace_back(arg);
        }
    }
    if (files.empty())
        return UsageError(err, "no file given");

    // The files are independent: made on as many threads as there are cores, printed in order.
    ThumbnailProvider provider(ThumbnailCache::FromEnvironment());
    std::vector<ThumbnailOutcome> outcomes(files.size());
    std::atomic<std::size_t> next{0};
    const auto work = [&] {
        for (std::size_t i = next++; i < files.size(); i = next++)
            outcomes[i] = provider.Provide(files[i], size, false);
    };
    const auto threads = std::min<std::size_t>(
        files.size(), std::clamp(std::thread::hardware_concurrency(), 1u, 8u));
    std::vector<std::thread> workers;
    for (std::size_t t = 1; t < threads; ++t)
        workers.emplace_back(work);
    work();
    for (std::thread& worker : workers)
        worker.join();

    int code = 0;
    for (const ThumbnailOutcome& outcome : outcomes) {
        if (outcome.Ok() && !outcome.file.empty()) {
            out << outcome.file.string() << '\n';
        } else {
            err << "tessaly-cli thumbnail: " << outcome.error << '\n';
            code = 1;
        }
    }
    return code;
}

} // namespace tessaly::cli
