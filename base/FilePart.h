// A run of bytes of a file: where it starts and how many it holds.
#pragma once

#include <cstdint>

namespace tessaly {

struct FilePart {
    std::uint64_t offset = 0;
    std::uint64_t size = 0;
    bool operator==(const FilePart&) const = default;
};

} // namespace tessaly
