#include "viewer/JpegPicture.h"

#include <cerrno>
#include <fcntl.h>
#include <stdexcept>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

JpegPicture::JpegPicture(std::vector<std::uint8_t> data) : data_(std::move(data)) {
    info_ = ReadJpegHeader(data_);
    CheckDecodable(info_);
}

const Bitmap* JpegPicture::Pixels() {
    if (pixels_ || failed_)
        return pixels_.get();
    try {
        pixels_ = std::make_shared<const Bitmap>(DecodeJpeg(data_));
    } catch (const std::exception& e) {
        failed_ = true;
        error_ = e.what();
    }
    data_ = {};
    data_.shrink_to_fit();
    screenCopy_.reset();
    return pixels_.get();
}

void JpegPicture::SetFullPixels(std::shared_ptr<const Bitmap> pixels) {
    if (pixels_ || failed_)
        return;
    pixels_ = std::move(pixels);
    screenCopy_.reset();
    data_ = {};
    data_.shrink_to_fit();
}

void JpegPicture::SetScreenCopy(std::shared_ptr<const Bitmap> copy) {
    if (!pixels_ && !failed_)
        screenCopy_ = std::move(copy);
}

void JpegPicture::SetDecodeFailed(std::string error) {
    if (pixels_ || failed_)
        return;
    failed_ = true;
    error_ = std::move(error);
    screenCopy_.reset();
    data_ = {};
    data_.shrink_to_fit();
}

const Bitmap* JpegPicture::Drawable() const {
    return pixels_ ? pixels_.get() : screenCopy_.get();
}

std::shared_ptr<const Bitmap> JpegPicture::TakeFullPixels() {
    screenCopy_.reset();
    return std::move(pixels_);
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

} // namespace

std::vector<std::uint8_t> ReadWholeFile(const std::string& path) {
    // O_NONBLOCK: opening a FIFO must not wait for a writer; it is refused below.
    const FileDescriptor fd(::open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (fd.get() < 0)
        throw std::runtime_error("cannot open");
    struct stat st {};
    if (::fstat(fd.get(), &st) != 0 || !S_ISREG(st.st_mode))
        throw std::runtime_error("not a regular file");
    // Read straight into the buffer; a file that grows meanwhile is read to its end.
    std::vector<std::uint8_t> data(static_cast<std::size_t>(st.st_size) + 1);
    std::size_t filled = 0;
    for (;;) {
        if (filled == data.size())
            data.resize(data.size() * 2);
        const ssize_t n = ::read(fd.get(), data.data() + filled, data.size() - filled);
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

} // namespace tessaly
