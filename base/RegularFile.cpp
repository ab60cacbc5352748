#include "base/RegularFile.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <utility>

namespace tessaly {

namespace {

[[noreturn]] void Fail(const std::string& path, const std::string& reason) {
    throw FileReadError("cannot read " + path + ": " + reason);
}

} // namespace

RegularFile::RegularFile(const std::string& path) : path_(path) {
    fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NOCTTY | O_NONBLOCK);
    if (fd_ < 0)
        Fail(path, std::strerror(errno));
    struct stat st {};
    if (::fstat(fd_, &st) != 0) {
        const int error = errno;
        ::close(fd_);
        Fail(path, std::strerror(error));
    }
    if (!S_ISREG(st.st_mode)) {
        ::close(fd_);
        Fail(path, S_ISDIR(st.st_mode) ? "it is a folder" : "it is not a regular file");
    }
    size_ = static_cast<std::uint64_t>(st.st_size);
}

RegularFile::~RegularFile() {
    if (fd_ >= 0)
        ::close(fd_);
}

RegularFile::RegularFile(RegularFile&& other) noexcept
    : path_(std::move(other.path_)), fd_(std::exchange(other.fd_, -1)), size_(other.size_) {}

RegularFile& RegularFile::operator=(RegularFile&& other) noexcept {
    if (this != &other) {
        if (fd_ >= 0)
            ::close(fd_);
        path_ = std::move(other.path_);
        fd_ = std::exchange(other.fd_, -1);
        size_ = other.size_;
    }
    return *this;
}

std::size_t RegularFile::ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const {
    auto* out = static_cast<unsigned char*>(buffer);
    std::size_t done = 0;
    while (done < count) {
        const ssize_t n = ::pread(fd_, out + done, count - done, static_cast<off_t>(offset + done));
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            Fail(path_, std::strerror(errno));
        }
        done += static_cast<std::size_t>(n);
    }
    return done;
}

std::vector<std::uint8_t> RegularFile::ReadAll(std::uint64_t maxBytes) const {
    if (size_ > maxBytes)
        Fail(path_, "more than " + std::to_string(maxBytes) + " bytes");
    // One byte more than the size, so that a file that grew is noticed and read on.
    std::vector<std::uint8_t> data(static_cast<std::size_t>(size_) + 1);
    std::size_t filled = 0;
    for (;;) {
        filled += ReadAt(filled, data.data() + filled, data.size() - filled);
        if (filled < data.size())
            break;
        if (filled > maxBytes)
            Fail(path_, "more than " + std::to_string(maxBytes) + " bytes");
        data.resize(std::min<std::uint64_t>(data.size() * 2, maxBytes + 1));
    }
    data.resize(filled);
    return data;
}

std::vector<std::uint8_t> ReadRegularFile(const std::string& path, std::uint64_t maxBytes) {
    return RegularFile(path).ReadAll(maxBytes);
}

} // namespace tessaly
