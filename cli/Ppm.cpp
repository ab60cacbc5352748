#include "cli/Ppm.h"

#include "picture/PictureLimit.h"

#include <string>
#include <utility>

namespace tessaly {
namespace {

bool IsSpace(std::uint8_t c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r' || c == '\v' || c == '\f';
}

// Walks the header; every read is bounded by the data's size.
class HeaderReader {
public:
    explicit HeaderReader(std::span<const std::uint8_t> data) : data_(data) {}

    void SkipSpaceAndComments() {
        while (pos_ < data_.size()) {
            if (IsSpace(data_[pos_])) {
                ++pos_;
            } else if (data_[pos_] == '#') {
                while (pos_ < data_.size() && data_[pos_] != '\n' && data_[pos_] != '\r')
                    ++pos_;
            } else {
                return;
            }
        }
    }

    // A decimal number from 1 to `max`.
    std::uint32_t Number(const char* what, std::uint32_t max) {
        SkipSpaceAndComments();
        std::uint64_t value = 0;
        std::size_t digits = 0;
        while (pos_ < data_.size() && data_[pos_] >= '0' && data_[pos_] <= '9') {
            value = value * 10 + (data_[pos_] - '0');
            if (value > max)
                throw PpmError(std::string("PPM ") + what + " is too large");
            ++pos_;
            ++digits;
        }
        if (digits == 0)
            throw PpmError(std::string("PPM header: ") + what + " missing");
        if (value == 0)
            throw PpmError(std::string("PPM ") + what + " is 0");
        return static_cast<std::uint32_t>(value);
    }

    // The single white-space byte between the header and the samples.
    void EndOfHeader() {
        if (pos_ >= data_.size() || !IsSpace(data_[pos_]))
            throw PpmError("PPM header: no white space before the samples");
        ++pos_;
    }

    std::size_t Position() const { return pos_; }

private:
    std::span<const std::uint8_t> data_;
    std::size_t pos_ = 2; // after "P6"
};

} // namespace

bool LooksLikePpm(std::span<const std::uint8_t> data) {
    return data.size() >= 2 && data[0] == 'P' && data[1] == '6';
}

PpmHeader ReadPpmHeader(std::span<const std::uint8_t> data) {
    if (!LooksLikePpm(data))
        throw PpmError("not a binary PPM (P6) file");
    HeaderReader header(data);
    const std::uint32_t width = header.Number("width", 0x7FFFFFFF);
    const std::uint32_t height = header.Number("height", 0x7FFFFFFF);
    const std::uint32_t maxValue = header.Number("maximum value", 65535);
    header.EndOfHeader();
    if (ExceedsPictureLimit(width, height))
        throw PpmError("PPM picture too large (" + std::to_string(width) + " x " +
                       std::to_string(height) + " pixels)");
    return {width, height, maxValue, header.Position()};
}

Bitmap ReadPpm(std::span<const std::uint8_t> data) {
    const auto [width, height, maxValue, headerSize] = ReadPpmHeader(data);
    const std::size_t sampleBytes = maxValue > 255 ? 2 : 1;
    const std::uint64_t rowBytes = std::uint64_t{width} * 3 * sampleBytes;
    const std::size_t available = data.size() - headerSize;
    if (rowBytes * height > available)
        throw PpmError("PPM file is truncated");

    Bitmap bitmap = Bitmap::Uninitialized(static_cast<int>(width), static_cast<int>(height));
    const std::uint8_t* in = data.data() + headerSize;
    for (int y = 0; y < bitmap.Height(); ++y) {
        std::uint8_t* out = bitmap.Row(y);
        for (int x = 0; x < bitmap.Width(); ++x, out += 3) {
            std::uint32_t rgb[3];
            for (std::uint32_t& sample : rgb) {
                sample = sampleBytes == 2 ? (std::uint32_t{in[0]} << 8) | in[1] : in[0];
                in += sampleBytes;
                if (maxValue != 255)
                    sample = sample >= maxValue ? 255 : (sample * 255 + maxValue / 2) / maxValue;
            }
            out[0] = static_cast<std::uint8_t>(rgb[2]);
            out[1] = static_cast<std::uint8_t>(rgb[1]);
            out[2] = static_cast<std::uint8_t>(rgb[0]);
        }
    }
    return bitmap;
}

std::string PpmHeaderText(int width, int height) {
    return "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
}

std::uint64_t PpmFileBytes(int width, int height) {
    return PpmHeaderText(width, height).size() + std::uint64_t{static_cast<std::uint32_t>(width)} *
                                                     static_cast<std::uint32_t>(height) * 3;
}

void ToPpmOrder(std::span<std::uint8_t> pixels) {
    for (std::size_t i = 0; i + 2 < pixels.size(); i += 3)
        std::swap(pixels[i], pixels[i + 2]);
}

std::vector<std::uint8_t> WritePpm(const Bitmap& bitmap) {
    const std::string header = PpmHeaderText(bitmap.Width(), bitmap.Height());
    std::vector<std::uint8_t> bytes(header.begin(), header.end());
    const std::size_t rowBytes = static_cast<std::size_t>(bitmap.Width()) * 3;
    bytes.reserve(bytes.size() + rowBytes * static_cast<std::size_t>(bitmap.Height()));
    for (int y = 0; y < bitmap.Height(); ++y) {
        const std::size_t at = bytes.size();
        bytes.insert(bytes.end(), bitmap.Row(y), bitmap.Row(y) + rowBytes);
        ToPpmOrder(std::span(bytes).subspan(at));
    }
    return bytes;
}

} // namespace tessaly
