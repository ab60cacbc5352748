// What libjpeg reads during a decode: a source manager over bytes in memory or over a
// regular file read piece by piece with pread, and the data it is made from.
#pragma once

#include "base/RegularFile.h"
#include "jpeg/JpegStreamBounds.h"

#include <cstdint>
#include <cstdio> // jpeglib.h needs FILE and size_t first
#include <cstring>
#include <jpeglib.h>
#include <memory>
#include <span>
#include <string>

namespace tessaly::jpeg_detail {

// Bytes libjpeg is handed from a file at a time.
constexpr std::size_t kReadBuffer = 64 * 1024;

// What libjpeg reads: bytes in memory or a file read with pread, handed out in pieces of
// kReadBuffer bytes. The stream is the data up to `end`, then, for a decode cut before a
// damaged marker segment, the two bytes of an end-of-image marker; `end` moves to where the
// stream's bounds end it (JpegStreamBounds.h). Plain data only: these fields are used inside
// libjpeg's callbacks, where nothing may throw.
struct StreamSource {
    jpeg_source_mgr pub;         // first member: libjpeg sees only this
    const unsigned char* memory; // the whole data, or nullptr for a file
    int fd;
    std::uint64_t end;      // bytes of the data in the stream
    int cut;                // an end-of-image marker follows `end`
    std::uint64_t next;     // stream offset of the next fill
    std::uint64_t bufferAt; // stream offset of the bytes last handed out
    const JOCTET* bufferStart;
    int readErrno;  // errno of a failed read
    JOCTET* buffer; // kReadBuffer bytes for a file
    StreamBounds bounds;
    StreamBound* cutBy; // where the first bound that ends a stream of the input is noted
};

void InstallSource(j_decompress_ptr cinfo, StreamSource* src);

// The stream offset of the next byte libjpeg would read.
std::uint64_t ReadOffset(const StreamSource& src);

// The data a decode reads: bytes in memory or an open regular file.
class Input {
public:
    explicit Input(std::span<const std::uint8_t> memory) : memory_(memory) {}
    explicit Input(const RegularFile& file) : file_(&file) {}

    // A fresh stream over the data up to `end` (everything when it is the largest value),
    // followed by an end-of-image marker when `cut`.
    StreamSource Source(std::uint64_t end, bool cut) {
        StreamSource src;
        std::memset(&src, 0, sizeof src);
        if (file_ != nullptr) {
            if (!buffer_)
                buffer_ = std::make_unique<JOCTET[]>(kReadBuffer);
            src.fd = file_->Descriptor();
            src.buffer = buffer_.get();
            src.end = end;
        } else {
            src.memory = memory_.data();
            src.end = std::min<std::uint64_t>(end, memory_.size());
        }
        src.cut = cut ? 1 : 0;
        src.cutBy = &cutBy_;
        return src;
    }

    // The first bound that ended one of the input's streams (JpegStreamBounds.h), or None:
    // a picture decoded from it ends early for that reason.
    StreamBound CutBy() const { return cutBy_; }

    // Bytes [offset, offset + count) as far as the data hold them.
    std::size_t Read(std::uint64_t offset, std::uint8_t* out, std::size_t count) const {
        if (file_ != nullptr)
            return file_->ReadAt(offset, out, count);
        if (offset >= memory_.size())
            return 0;
        const std::size_t n =
            static_cast<std::size_t>(std::min<std::uint64_t>(count, memory_.size() - offset));
        std::memcpy(out, memory_.data() + offset, n);
        return n;
    }

    [[noreturn]] void ThrowReadError(int error) const {
        throw FileReadError("cannot read " + (file_ ? file_->Path() : std::string("data")) + ": " +
                            std::strerror(error));
    }

private:
    std::span<const std::uint8_t> memory_;
    const RegularFile* file_ = nullptr;
    std::unique_ptr<JOCTET[]> buffer_;
    StreamBound cutBy_ = StreamBound::None;
};

} // namespace tessaly::jpeg_detail
