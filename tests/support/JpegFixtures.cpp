#include "tests/support/JpegFixtures.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <jpeglib.h>
#include <memory>
#include <random>
#include <stdexcept>

namespace tessaly::fixtures {

namespace {

// Row y of GradientBitmap(width, height, seed), into `bgr`.
void GradientRow(int width, int height, unsigned seed, int y, std::uint8_t* bgr) {
    for (int x = 0; x < width; ++x, bgr += 3) {
        bgr[0] = static_cast<std::uint8_t>((x * 255) / (width > 1 ? width - 1 : 1));
        bgr[1] = static_cast<std::uint8_t>((y * 255) / (height > 1 ? height - 1 : 1));
        bgr[2] = static_cast<std::uint8_t>(((x / 16 + y / 16 + seed) % 2) ? 200 : 60);
    }
}

} // namespace

PhotoLikeRows::PhotoLikeRows(int width, int height) : width_(width), height_(height) {}

void PhotoLikeRows::operator()(int y, std::uint8_t* bgr) {
    GradientRow(width_, height_, 0, y, bgr);
    for (int i = 0; i < width_ * 3; ++i) {
        seed_ = seed_ * 1664525u + 1013904223u;
        const int noise = static_cast<int>(seed_ >> 27) - 16;
        bgr[i] = static_cast<std::uint8_t>(std::clamp(bgr[i] + noise, 0, 255));
    }
}

Bitmap PhotoLikeBitmap(int width, int height) {
    Bitmap bmp = Bitmap::Uninitialized(width, height);
    PhotoLikeRows rows(width, height);
    for (int y = 0; y < height; ++y)
        rows(y, bmp.Row(y));
    return bmp;
}

Bitmap GradientBitmap(int width, int height, unsigned seed) {
    Bitmap bmp = Bitmap::Uninitialized(width, height);
    for (int y = 0; y < height; ++y)
        GradientRow(width, height, seed, y, bmp.Row(y));
    return bmp;
}

Bitmap SolidBitmap(int width, int height, std::uint8_t blue, std::uint8_t green, std::uint8_t red) {
    Bitmap bmp = Bitmap::Uninitialized(width, height);
    bmp.Fill(blue, green, red);
    return bmp;
}

namespace {

[[noreturn]] void ThrowOnError(j_common_ptr cinfo) {
    char message[JMSG_LENGTH_MAX];
    (*cinfo->err->format_message)(cinfo, message);
    throw std::runtime_error(std::string("fixture encoder: ") + message);
}

// The fixture encoder runs only in tests on well-formed input, so it throws straight
// through libjpeg (compiled with unwind tables on Debian) instead of using setjmp.
struct Compressor {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    unsigned char* buffer = nullptr; // of a compressor writing to memory
    unsigned long size = 0;
    Compressor() {
        cinfo.err = jpeg_std_error(&jerr);
        jerr.error_exit = [](j_common_ptr c) { ThrowOnError(c); };
        jpeg_create_compress(&cinfo);
    }
    ~Compressor() {
        jpeg_destroy_compress(&cinfo);
        std::free(buffer);
    }
    Compressor(const Compressor&) = delete;
    Compressor& operator=(const Compressor&) = delete;
};

// Encodes the rows `rows` gives, top to bottom, to the compressor's destination.
void Compress(jpeg_compress_struct& cinfo, int width, int height, const RowMaker& rows,
              const JpegOptions& options) {
    cinfo.image_width = static_cast<JDIMENSION>(width);
    cinfo.image_height = static_cast<JDIMENSION>(height);
    if (options.grayscale) {
        cinfo.input_components = 1;
        cinfo.in_color_space = JCS_GRAYSCALE;
    } else if (options.cmyk) {
        cinfo.input_components = 4;
        cinfo.in_color_space = JCS_CMYK;
    } else {
        cinfo.input_components = 3;
        cinfo.in_color_space = JCS_EXT_BGR;
    }
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, options.quality, TRUE);
    cinfo.write_JFIF_header = options.jfif ? TRUE : FALSE;
    if (options.cmyk)
        cinfo.write_Adobe_marker = TRUE;
    if (options.rgbComponents)
        jpeg_set_colorspace(&cinfo, JCS_RGB);
    if (options.lumaH > 0) {
        cinfo.comp_info[0].h_samp_factor = options.lumaH;
        cinfo.comp_info[0].v_samp_factor = options.lumaV;
        for (int i = 1; i < cinfo.num_components; ++i)
            cinfo.comp_info[i].h_samp_factor = cinfo.comp_info[i].v_samp_factor = 1;
    }
    cinfo.restart_in_rows = options.restartRows;
    cinfo.restart_interval = static_cast<unsigned int>(options.restartMcus);
    if (options.progressive)
        jpeg_simple_progression(&cinfo);
    if (options.arithmetic)
        cinfo.arith_code = TRUE;
    jpeg_start_compress(&cinfo, TRUE);
    for (const Bytes& seg : options.segments) {
        if (seg.size() < 4 || seg[0] != 0xFF)
            throw std::invalid_argument("fixture segment must start with 0xFF and a marker");
        jpeg_write_marker(&cinfo, seg[1], seg.data() + 4, static_cast<unsigned>(seg.size() - 4));
    }
    std::vector<std::uint8_t> bgr(static_cast<std::size_t>(width) * 3);
    std::vector<std::uint8_t> row(static_cast<std::size_t>(width) * 4);
    while (cinfo.next_scanline < cinfo.image_height) {
        const std::uint8_t* src = bgr.data();
        rows(static_cast<int>(cinfo.next_scanline), bgr.data());
        JSAMPROW rowPtr = bgr.data();
        if (options.grayscale) {
            for (int x = 0; x < width; ++x)
                row[static_cast<std::size_t>(x)] =
                    static_cast<std::uint8_t>((src[3 * x] + src[3 * x + 1] + src[3 * x + 2]) / 3);
            rowPtr = row.data();
        } else if (options.cmyk) {
            // Adobe inverted inks: 255 means no ink; K carries nothing here.
            for (int x = 0; x < width; ++x) {
                row[4 * static_cast<std::size_t>(x) + 0] = src[3 * x + 2];
                row[4 * static_cast<std::size_t>(x) + 1] = src[3 * x + 1];
                row[4 * static_cast<std::size_t>(x) + 2] = src[3 * x + 0];
                row[4 * static_cast<std::size_t>(x) + 3] = 255;
            }
            rowPtr = row.data();
        }
        jpeg_write_scanlines(&cinfo, &rowPtr, 1);
    }
    jpeg_finish_compress(&cinfo);
}

} // namespace

Bytes EncodeJpeg(const Bitmap& bitmap, const JpegOptions& options) {
    return EncodeJpegRows(
        bitmap.Width(), bitmap.Height(),
        [&](int y, std::uint8_t* bgr) {
            std::copy_n(bitmap.Row(y), static_cast<std::size_t>(bitmap.Width()) * 3, bgr);
        },
        options);
}

Bytes EncodeJpegRows(int width, int height, const RowMaker& rows, const JpegOptions& options) {
    Compressor c;
    jpeg_mem_dest(&c.cinfo, &c.buffer, &c.size);
    Compress(c.cinfo, width, height, rows, options);
    return Bytes(c.buffer, c.buffer + c.size);
}

void WriteJpegFile(const std::filesystem::path& path, int width, int height, const RowMaker& rows,
                   const JpegOptions& options) {
    const std::unique_ptr<std::FILE, decltype(&std::fclose)> file(std::fopen(path.c_str(), "wb"),
                                                                  &std::fclose);
    if (!file)
        throw std::runtime_error("cannot write fixture " + path.string());
    Compressor c;
    jpeg_stdio_dest(&c.cinfo, file.get());
    Compress(c.cinfo, width, height, rows, options);
    if (std::fflush(file.get()) != 0)
        throw std::runtime_error("cannot write fixture " + path.string());
}

std::size_t FirstScanData(const Bytes& jpeg) {
    for (std::size_t i = 2; i + 3 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == 0xDA)
            return i + 2 + (std::size_t{jpeg[i + 2]} << 8 | jpeg[i + 3]);
    return 0;
}

std::vector<std::size_t> RestartMarkers(const Bytes& jpeg) {
    std::vector<std::size_t> out;
    for (std::size_t i = FirstScanData(jpeg); i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] >= 0xD0 && jpeg[i + 1] <= 0xD7)
            out.push_back(i);
    return out;
}

Bytes HeaderOnly(Bytes jpeg, int width, int height) {
    for (std::size_t i = 2; i + 9 < jpeg.size();) {
        const std::uint8_t code = jpeg[i + 1];
        const std::size_t length = std::size_t{jpeg[i + 2]} << 8 | jpeg[i + 3];
        if (code >= 0xC0 && code <= 0xC2) {
            jpeg[i + 5] = static_cast<std::uint8_t>(height >> 8);
            jpeg[i + 6] = static_cast<std::uint8_t>(height);
            jpeg[i + 7] = static_cast<std::uint8_t>(width >> 8);
            jpeg[i + 8] = static_cast<std::uint8_t>(width);
        }
        if (code == 0xDA) {
            jpeg.resize(i + 2 + length);
            return jpeg;
        }
        i += 2 + length;
    }
    throw std::invalid_argument("no scan in the fixture");
}

Bytes AppSegment(std::uint8_t marker, std::string_view id, const Bytes& payload) {
    const std::size_t length = 2 + id.size() + payload.size();
    if (length > 0xFFFF)
        throw std::invalid_argument("payload too large for one segment");
    Bytes seg(2 + length);
    seg[0] = 0xFF;
    seg[1] = marker;
    seg[2] = static_cast<std::uint8_t>(length >> 8);
    seg[3] = static_cast<std::uint8_t>(length & 0xFF);
    std::copy(id.begin(), id.end(), seg.begin() + 4);
    std::copy(payload.begin(), payload.end(),
              seg.begin() + 4 + static_cast<std::ptrdiff_t>(id.size()));
    return seg;
}

Bytes ExifSegment(const Bytes& tiff) {
    return AppSegment(0xE1, std::string_view("Exif\0\0", 6), tiff);
}

std::vector<Bytes> IccSegments(const Bytes& profile, std::size_t piece) {
    static constexpr std::string_view kId("ICC_PROFILE\0", 12); // with its terminating zero
    if (piece < 1 || piece > 0xFFFF - 2 - kId.size() - 2)
        throw std::invalid_argument("an ICC segment holds 1 to 65,519 bytes of profile");
    const std::size_t count = (profile.size() + piece - 1) / piece;
    std::vector<Bytes> segments;
    for (std::size_t i = 0; i < count; ++i) {
        const std::size_t from = i * piece;
        const std::size_t size = std::min(piece, profile.size() - from);
        Bytes payload{static_cast<std::uint8_t>(i + 1), static_cast<std::uint8_t>(count)};
        payload.insert(payload.end(), profile.begin() + static_cast<std::ptrdiff_t>(from),
                       profile.begin() + static_cast<std::ptrdiff_t>(from + size));
        segments.push_back(AppSegment(0xE2, kId, payload));
    }
    return segments;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    if (path.has_parent_path())
        std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write fixture " + path.string());
}

Bytes ReadFile(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + path.string());
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TempDir::TempDir(const std::string& prefix) {
    std::string pattern = (std::filesystem::temp_directory_path() / (prefix + "-XXXXXX")).string();
    if (!mkdtemp(pattern.data()))
        throw std::runtime_error("cannot create a temporary folder");
    path_ = pattern;
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

} // namespace tessaly::fixtures
