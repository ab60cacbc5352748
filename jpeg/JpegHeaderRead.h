// The header read inside the codec: what the decoders share with it.
#pragma once

#include "jpeg/JpegHeader.h"
#include "jpeg/JpegInput.h"

namespace tessaly::jpeg_detail {

// The fields of JpegInfo that libjpeg's header holds (not the orientation or the profile).
void FillJpegInfo(j_decompress_ptr cinfo, JpegInfo& info);

// The header of the input, as ReadJpegHeader gives it.
JpegInfo ReadHeader(Input& input);

} // namespace tessaly::jpeg_detail
