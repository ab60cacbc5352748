#include "exif/ByteSource.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
    // Look before opening, so that a named pipe is never opened (that would block).
    struct stat st {};
    if (::stat(path.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
        return nullptr;
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY);
    if (fd < 0)
        return nullptr;
    if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
        ::close(fd);
        return nullptr;
    }
    return std::unique_ptr<FileSource>(new FileSource(fd, static_cast<std::uint64_t>(st.st_size)));
}

FileSource::~FileSource() {
    ::close(fd_);
}

bool FileSource::FillBlock(std::uint64_t blockStart) {
    block_.resize(kBlockSize);
    std::size_t filled = 0;
    while (filled < kBlockSize) {
        const ssize_t r = ::pread(fd_, block_.data() + filled, kBlockSize - filled,
                                  static_cast<off_t>(blockStart + filled));
        if (r < 0 && errno == EINTR)
            continue;
        if (r <= 0)
            break; // end of file, or a failing medium: what was read is all there is
        filled += static_cast<std::size_t>(r);
    }
    blockStart_ = blockStart;
    blockLength_ = filled;
    return filled > 0;
}

std::size_t FileSource::ReadAt(std::uint64_t position, std::span<std::uint8_t> dst) {
    std::size_t copied = 0;
    while (copied < dst.size() && position < size_) {
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
