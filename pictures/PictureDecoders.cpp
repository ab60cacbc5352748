#include "pictures/PictureDecoders.h"

#include "imaging/JpegDecoder.h"

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace tessaly {

void CancelFlag::ThrowIfCancelled() const {
    if (Cancelled())
        throw DecodeCancelled();
}

namespace {

// Closes a POSIX file descriptor when it goes out of scope.
class FileDescriptor {
public:
    explicit FileDescriptor(int fd) : fd_(fd) {}
    ~FileDescriptor() {
        if (fd_ >= 0)
            ::close(fd_);
    }
    FileDescriptor(const FileDescriptor&) = delete;
    FileDescriptor& operator=(const FileDescriptor&) = delete;
    int get() const { return fd_; }

private:
    int fd_;
};

// The whole regular file, read in blocks so that a cancelled read stops early. Throws
// std::runtime_error when it cannot be opened or read or is not a regular file (a folder or
// a pipe named like a picture).
std::vector<std::uint8_t> ReadPictureFile(const std::string& path, const CancelFlag& cancel) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        throw std::runtime_error("cannot open");
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw std::runtime_error("not a regular file");
    constexpr std::size_t kBlock = std::size_t{1} << 20;
    // One byte more than the size, so that a file that grew meanwhile is noticed and read on.
    std::vector<std::uint8_t> data(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t filled = 0;
    for (;;) {
        cancel.ThrowIfCancelled();
        if (filled == data.size())
            data.resize(data.size() * 2);
        const std::size_t want = std::min(kBlock, data.size() - filled);
        const ssize_t n = ::read(fd.get(), data.data() + filled, want);
        if (n == 0)
            break;
        if (n < 0) {
            if (errno == EINTR || errno == EAGAIN)
                continue;
            throw std::runtime_error("read error");
        }
        filled += static_cast<std::size_t>(n);
    }
    data.resize(filled);
    return data;
}

} // namespace

PictureDecoders DefaultPictureDecoders() {
    PictureDecoders decoders;
    decoders.decodeScaled = [](const std::string& path, int, int, const CancelFlag& cancel,
                               int& fullWidth, int& fullHeight) {
        const std::vector<std::uint8_t> data = ReadPictureFile(path, cancel);
        const JpegInfo info = ReadJpegHeader(data);
        fullWidth = info.width;
        fullHeight = info.height;
        CheckDecodable(info);
        cancel.ThrowIfCancelled();
        return DecodeJpeg(data);
    };
    decoders.decodeFull = [](const std::string& path, const CancelFlag& cancel) {
        const std::vector<std::uint8_t> data = ReadPictureFile(path, cancel);
        cancel.ThrowIfCancelled();
        return DecodeJpeg(data);
    };
    return decoders;
}

} // namespace tessaly
