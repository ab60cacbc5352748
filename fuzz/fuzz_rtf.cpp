// Runs the readme window's RTF reader on arbitrary bytes. Besides memory errors and
// undefined behaviour it checks the promises of the document model: valid UTF-8 without
// stray control characters, no empty runs, no two neighbouring runs of one style, sizes
// within their limits, at least one paragraph.
#include "rtf/RtfReader.h"

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

void Check(bool condition) {
    if (!condition)
        __builtin_trap();
}

// True when `text` is well-formed UTF-8 (shortest forms, no surrogates, at most U+10FFFF)
// and holds no control characters other than tab and line feed.
bool IsCleanUtf8(std::string_view text) {
    std::size_t i = 0;
    while (i < text.size()) {
        const auto lead = static_cast<unsigned char>(text[i]);
        std::size_t length = 0;
        char32_t cp = 0;
        if (lead < 0x80) {
            if ((lead < 0x20 && lead != '\t' && lead != '\n') || lead == 0x7F)
                return false;
            ++i;
            continue;
        }
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
        } else {
            return false;
        }
        if (text.size() - i < length)
            return false;
        for (std::size_t k = 1; k < length; ++k) {
            const auto cont = static_cast<unsigned char>(text[i + k]);
            if ((cont & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cont & 0x3F);
        }
        if ((length == 3 && cp < 0x800) || (length == 4 && (cp < 0x10000 || cp > 0x10FFFF)) ||
            (cp >= 0xD800 && cp <= 0xDFFF))
            return false;
        i += length;
    }
    return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    try {
        const tessaly::rtf::Document doc = tessaly::rtf::ParseRtf(bytes);
        Check(!doc.paragraphs.empty());
        for (const auto& paragraph : doc.paragraphs) {
            for (std::size_t k = 0; k < paragraph.runs.size(); ++k) {
                const auto& run = paragraph.runs[k];
                Check(!run.text.empty());
                Check(IsCleanUtf8(run.text));
                if (k > 0)
                    Check(!(paragraph.runs[k - 1].style == run.style));
                if (run.style.halfPoints)
                    Check(*run.style.halfPoints > 0 &&
                          *run.style.halfPoints <= tessaly::rtf::kMaxHalfPoints);
            }
        }
    } catch (const tessaly::rtf::RtfError&) {
        Check(!bytes.starts_with("{\\rtf") ||
              size >= static_cast<std::size_t>(tessaly::rtf::kMaxRtfDepth));
    }
    return 0;
}
