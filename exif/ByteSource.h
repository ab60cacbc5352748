// Where the EXIF reader gets its bytes from: a file read through a buffer, or bytes in
// memory (tests, the fuzzer). Every read is bounded by the size of the source. The reader
// walks the file's marker segments through it (jpegfile/JpegSegments.h) and reads the EXIF
// block, a single segment, once.
#pragma once

#include "base/RegularFile.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <span>
#include <string>
#include <utility>
#include <vector>

namespace tessaly {

class ByteSource {
public:
    virtual ~ByteSource() = default;

    // Total number of bytes the source holds.
    virtual std::uint64_t Size() const = 0;

    // Copies up to dst.size() bytes starting at `position` into dst and returns how many
    // were copied: fewer near the end, 0 at or past it (or when the medium fails).
    virtual std::size_t ReadAt(std::uint64_t position, std::span<std::uint8_t> dst) = 0;
};

// A view of bytes owned by someone else, who keeps them alive while the source is used.
class MemorySource final : public ByteSource {
public:
    explicit MemorySource(std::span<const std::uint8_t> bytes) : bytes_(bytes) {}
    std::uint64_t Size() const override { return bytes_.size(); }
    std::size_t ReadAt(std::uint64_t position, std::span<std::uint8_t> dst) override;

private:
    std::span<const std::uint8_t> bytes_;
};

// A regular file opened for reading. Reads go through one block buffer, so the small
// reads of a directory walk cost a system call only when they leave the buffered block.
// The file is closed with the object.
class FileSource final : public ByteSource {
public:
    // Opens the file; nullptr when the name is empty, nothing of that name exists, it is
    // not a regular file (a folder, a pipe) or it cannot be opened for reading.
    static std::unique_ptr<FileSource> Open(const std::string& path);

    std::uint64_t Size() const override { return file_.Size(); }
    std::size_t ReadAt(std::uint64_t position, std::span<std::uint8_t> dst) override;

private:
    static constexpr std::size_t kBlockSize = 64 * 1024;

    explicit FileSource(RegularFile file) : file_(std::move(file)) {}
    bool FillBlock(std::uint64_t blockStart);

    RegularFile file_;
    std::vector<std::uint8_t> block_;
    std::uint64_t blockStart_ = 0;
    std::size_t blockLength_ = 0; // valid bytes in block_; 0 when nothing is buffered
};

} // namespace tessaly
