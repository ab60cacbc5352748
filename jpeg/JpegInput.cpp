#include "jpeg/JpegInput.h"

#include <algorithm>
#include <cerrno>
#include <jerror.h>
#include <unistd.h>

namespace tessaly::jpeg_detail {

namespace {

const JOCTET kEndOfImage[2] = {0xFF, JPEG_EOI};

extern "C" void InitSource(j_decompress_ptr) {}

extern "C" void TermSource(j_decompress_ptr) {}

void Hand(StreamSource* src, const JOCTET* bytes, std::size_t count, std::uint64_t at) {
    src->pub.next_input_byte = bytes;
    src->pub.bytes_in_buffer = count;
    src->bufferStart = bytes;
    src->bufferAt = at;
    if (at < src->end)
        NoteHandedBytes(src->bounds, bytes, count, at);
}

extern "C" boolean FillInput(j_decompress_ptr cinfo) {
    auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
    const std::uint64_t at = src->next;
    if (at < src->end && !StreamGoesOn(cinfo, src->bounds, at)) {
        src->end = at; // libjpeg would search on through data without structure
        if (src->cutBy != nullptr && *src->cutBy == StreamBound::None)
            *src->cutBy = src->bounds.hit;
    }
    if (at < src->end) {
        const std::size_t want =
            static_cast<std::size_t>(std::min<std::uint64_t>(kReadBuffer, src->end - at));
        if (src->memory != nullptr) {
            Hand(src, src->memory + at, want, at);
            src->next = at + want;
            return TRUE;
        }
        ssize_t n;
        do
            n = ::pread(src->fd, src->buffer, want, static_cast<off_t>(at));
        while (n < 0 && (errno == EINTR || errno == EAGAIN));
        if (n < 0) {
            src->readErrno = errno;
            ERREXIT(cinfo, JERR_FILE_READ);
        }
        if (n > 0) {
            Hand(src, src->buffer, static_cast<std::size_t>(n), at);
            src->next = at + static_cast<std::uint64_t>(n);
            return TRUE;
        }
        src->end = at; // the file ended early (it shrank): what follows is its end
    }
    if (src->cut && at < src->end + 2) {
        const std::size_t from = static_cast<std::size_t>(at - src->end);
        Hand(src, kEndOfImage + from, 2 - from, at);
        src->next = src->end + 2;
        return TRUE;
    }
    // The data ended inside the picture: a warning, and an end-of-image marker so that
    // libjpeg completes what it has (the rows still missing become grey).
    WARNMS(cinfo, JWRN_JPEG_EOF);
    Hand(src, kEndOfImage, 2, at);
    return TRUE;
}

extern "C" void SkipInput(j_decompress_ptr cinfo, long count) {
    auto* src = reinterpret_cast<StreamSource*>(cinfo->src);
    if (count <= 0)
        return;
    const auto skip = static_cast<std::uint64_t>(count);
    if (skip <= src->pub.bytes_in_buffer) {
        src->pub.next_input_byte += skip;
        src->pub.bytes_in_buffer -= skip;
        return;
    }
    src->next = src->bufferAt +
                static_cast<std::uint64_t>(src->pub.next_input_byte - src->bufferStart) + skip;
    src->pub.bytes_in_buffer = 0;
}

} // namespace

void InstallSource(j_decompress_ptr cinfo, StreamSource* src) {
    src->pub.init_source = InitSource;
    src->pub.fill_input_buffer = FillInput;
    src->pub.skip_input_data = SkipInput;
    src->pub.resync_to_restart = jpeg_resync_to_restart;
    src->pub.term_source = TermSource;
    src->pub.next_input_byte = nullptr;
    src->pub.bytes_in_buffer = 0;
    src->next = 0;
    src->bufferAt = 0;
    src->bufferStart = nullptr;
    cinfo->src = &src->pub;
}

std::uint64_t ReadOffset(const StreamSource& src) {
    if (src.bufferStart == nullptr)
        return src.next;
    return src.bufferAt + static_cast<std::uint64_t>(src.pub.next_input_byte - src.bufferStart);
}

} // namespace tessaly::jpeg_detail
