// Reading files that the user names: only regular files are read, and opening never waits
// on a FIFO or a device named like a picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <stdexcept>
#include <string>
#include <vector>

namespace tessaly {

// A file that cannot be opened or read, or is not a regular file. The message names the
// path and the reason.
class FileReadError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

// An open regular file, read by offset. Opening uses O_NONBLOCK so that a FIFO without a
// writer or a device does not block; anything but a regular file is refused.
class RegularFile {
public:
    // Throws FileReadError when the path cannot be opened or is not a regular file.
    explicit RegularFile(const std::string& path);
    ~RegularFile();
    RegularFile(const RegularFile&) = delete;
    RegularFile& operator=(const RegularFile&) = delete;
    RegularFile(RegularFile&& other) noexcept;
    RegularFile& operator=(RegularFile&& other) noexcept;

    const std::string& Path() const { return path_; }
    int Descriptor() const { return fd_; }
    // The size when the file was opened.
    std::uint64_t Size() const { return size_; }

    // Reads up to `count` bytes at `offset` into `buffer`; fewer only at the end of the
    // file, 0 at or beyond it. Throws FileReadError on a read error.
    std::size_t ReadAt(std::uint64_t offset, void* buffer, std::size_t count) const;

    // The whole file (to its end, also when it grew since it was opened). Throws
    // FileReadError when it holds more than `maxBytes`.
    std::vector<std::uint8_t> ReadAll(std::uint64_t maxBytes) const;

private:
    std::string path_;
    int fd_ = -1;
    std::uint64_t size_ = 0;
};

// The whole regular file at `path`, at most `maxBytes` of it (FileReadError beyond).
std::vector<std::uint8_t> ReadRegularFile(const std::string& path, std::uint64_t maxBytes);

} // namespace tessaly
