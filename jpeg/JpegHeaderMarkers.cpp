#include "jpeg/JpegHeaderMarkers.h"

#include <algorithm>
#include <cstring>
#include <span>

namespace tessaly::jpeg_detail {

namespace {

constexpr int kIccMarker = JPEG_APP0 + 2;
constexpr JOCTET kIccId[12] = {'I', 'C', 'C', '_', 'P', 'R', 'O', 'F', 'I', 'L', 'E', 0};
// The identifier, the segment's number and the number of segments.
constexpr std::size_t kIccOverhead = sizeof kIccId + 2;

// Copies the next `count` bytes of the stream to `out`. The header read's source hands out
// bytes until the data end and an end-of-image marker after that, so it never suspends.
boolean Take(j_decompress_ptr cinfo, JOCTET* out, std::size_t count) {
    jpeg_source_mgr* src = cinfo->src;
    while (count > 0) {
        if (src->bytes_in_buffer == 0 && !(*src->fill_input_buffer)(cinfo))
            return FALSE;
        const std::size_t n = std::min(count, src->bytes_in_buffer);
        std::memcpy(out, src->next_input_byte, n);
        src->next_input_byte += n;
        src->bytes_in_buffer -= n;
        out += n;
        count -= n;
    }
    return TRUE;
}

// Whether the segment whose payload starts with `head` (`headLength` bytes of `length`) is
// kept; counts the profile's segments and refuses the profile beyond the bounds.
bool Keep(const JOCTET* head, std::size_t headLength, std::size_t length, HeaderMarkers* markers) {
    if (headLength < kIccOverhead || std::memcmp(head, kIccId, sizeof kIccId) != 0 ||
        markers->iccRefusal != IccRefusal::None)
        return false;
    if (markers->iccSegments >= kMaxIccSegments)
        markers->iccRefusal = IccRefusal::TooManySegments;
    else if (length > kMaxIccBytes - markers->iccBytes)
        markers->iccRefusal = IccRefusal::TooLarge;
    return markers->iccRefusal == IccRefusal::None;
}

// Reads an APP2 segment: keeps it in cinfo's marker list (where libjpeg's own ICC
// reader looks for it) or skips it.
extern "C" boolean OnAppSegment(j_decompress_ptr cinfo) {
    auto* markers = static_cast<HeaderMarkers*>(cinfo->client_data);
    JOCTET lengthBytes[2];
    if (!Take(cinfo, lengthBytes, 2))
        return FALSE;
    // The length counts its own two bytes; a smaller one is an empty segment, as for libjpeg.
    const std::size_t declared = std::size_t{lengthBytes[0]} << 8 | lengthBytes[1];
    const std::size_t length = declared >= 2 ? declared - 2 : 0;
    JOCTET head[kIccOverhead];
    const std::size_t headLength = std::min(length, kIccOverhead);
    if (!Take(cinfo, head, headLength))
        return FALSE;
    const int marker = cinfo->unread_marker;
    if (!Keep(head, headLength, length, markers)) {
        if (length > headLength)
            (*cinfo->src->skip_input_data)(cinfo, static_cast<long>(length - headLength));
        return TRUE;
    }
    // In libjpeg's own pool (freed with the decompressor), as jpeg_save_markers keeps them.
    auto* saved = static_cast<jpeg_saved_marker_ptr>((*cinfo->mem->alloc_large)(
        reinterpret_cast<j_common_ptr>(cinfo), JPOOL_IMAGE, sizeof(jpeg_marker_struct) + length));
    saved->next = nullptr;
    saved->marker = static_cast<UINT8>(marker);
    saved->original_length = static_cast<unsigned int>(length);
    saved->data_length = static_cast<unsigned int>(length);
    saved->data = reinterpret_cast<JOCTET*>(saved + 1);
    std::memcpy(saved->data, head, headLength);
    if (!Take(cinfo, saved->data + headLength, length - headLength))
        return FALSE;
    jpeg_saved_marker_ptr* tail = &cinfo->marker_list;
    while (*tail != nullptr)
        tail = &(*tail)->next;
    *tail = saved;
    ++markers->iccSegments;
    markers->iccBytes += length;
    return TRUE;
}

} // namespace

void WatchHeaderMarkers(j_decompress_ptr cinfo, HeaderMarkers* markers) {
    cinfo->client_data = markers;
    jpeg_set_marker_processor(cinfo, kIccMarker, OnAppSegment);
}

void ReadHeaderMarkers(j_decompress_ptr cinfo, HeaderMarkers* markers) {
    if (markers->iccSegments > 0 && markers->iccRefusal == IccRefusal::None &&
        !jpeg_read_icc_profile(cinfo, &markers->icc, &markers->iccLength))
        markers->iccRefusal = IccRefusal::Unjoinable;
}

const char* IccRefusalText(IccRefusal refusal) {
    switch (refusal) {
    case IccRefusal::None:
        return "";
    case IccRefusal::TooManySegments:
        return "the colour profile is split into more than 255 segments";
    case IccRefusal::TooLarge:
        return "the colour profile is larger than 4 MiB";
    case IccRefusal::Unjoinable:
        return "the colour profile's segments do not fit together (a number missing, repeated "
               "or out of range)";
    }
    return "";
}

} // namespace tessaly::jpeg_detail
