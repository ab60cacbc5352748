#include "exif/ByteSource.h"

#include <algorithm>
#include <cstring>

namespace tessaly {

std::size_t MemorySource::ReadAt(std::uint64_t position, std::span<std::uint8_t> dst) {
    if (position >= bytes_.size())
        return 0;
    const std::size_t start = static_cast<std::size_t>(position);
    const std::size_t n = std::min(dst.size(), bytes_.size() - start);
    std::copy_n(bytes_.begin() + static_cast<std::ptrdiff_t>(start), n, dst.begin());
    return n;
}

std::unique_ptr<FileSource> FileSource::Open(const std::string& path) {
    if (path.empty())
        return nullptr;
    try {
        return std::unique_ptr<FileSource>(new FileSource(RegularFile(path)));
    } catch (const FileReadError&) {
        return nullptr; // missing, unreadable, or not a regular file (never waited on)
    }
}

bool FileSource::FillBlock(std::uint64_t blockStart) {
    block_.resize(kBlockSize);
    std::size_t filled = 0;
    try {
        filled = file_.ReadAt(blockStart, block_.data(), kBlockSize);
    } catch (const FileReadError&) {
        filled = 0; // a failing medium: the data ends here
    }
    blockStart_ = blockStart;
    blockLength_ = filled;
    return filled > 0;
}

std::size_t FileSource::ReadAt(std::uint64_t position, std::span<std::uint8_t> dst) {
    std::size_t copied = 0;
    while (copied < dst.size() && position < file_.Size()) {
        const bool inBlock =
            blockLength_ > 0 && position >= blockStart_ && position - blockStart_ < blockLength_;
        if (!inBlock && !FillBlock(position - position % kBlockSize))
            break;
        if (position - blockStart_ >= blockLength_)
            break; // the file is shorter than its size said
        const std::size_t offset = static_cast<std::size_t>(position - blockStart_);
        const std::size_t n = std::min(dst.size() - copied, blockLength_ - offset);
        std::memcpy(dst.data() + copied, block_.data() + offset, n);
        copied += n;
        position += n;
    }
    return copied;
}

} // namespace tessaly
