#include "colour/ColourProfile.h"

#include "colour/LcmsContext.h"

#include <string>

namespace tessaly {

using colour_detail::LcmsContext;

struct ColourProfile::Opened {
    Opened() = default;
    Opened(const Opened&) = delete;
    Opened& operator=(const Opened&) = delete;
    ~Opened() {
        if (profile != nullptr)
            cmsCloseProfile(profile);
    }

    std::vector<std::uint8_t> bytes;
    LcmsContext context; // outlives the profile: members are destroyed after the body
    cmsHPROFILE profile = nullptr;
};

namespace {

constexpr std::size_t kHeaderBytes = 128;
constexpr std::size_t kTagEntryBytes = 12;

std::uint32_t BigEndian32(std::span<const std::uint8_t> bytes, std::size_t at) {
    return std::uint32_t{bytes[at]} << 24 | std::uint32_t{bytes[at + 1]} << 16 |
           std::uint32_t{bytes[at + 2]} << 8 | bytes[at + 3];
}

// The sizes a profile declares against the bytes it has: its own size in the header, and the
// place of every tag in the tag table. Little CMS would drop a tag that reaches beyond the
// profile without a word; such a profile was cut off or written wrongly.
void CheckSizes(std::span<const std::uint8_t> bytes) {
    if (bytes.size() < kHeaderBytes + 4)
        throw BrokenProfile("the colour profile is cut off (" + std::to_string(bytes.size()) +
                            " bytes, less than its header and tag count)");
    const std::uint32_t declared = BigEndian32(bytes, 0);
    if (declared > bytes.size())
        throw BrokenProfile("the colour profile is cut off (it declares " +
                            std::to_string(declared) + " bytes and has " +
                            std::to_string(bytes.size()) + ")");
    if (declared < kHeaderBytes + 4)
        throw BrokenProfile("the colour profile declares a size of " + std::to_string(declared) +
                            " bytes, less than its header");
    const std::span<const std::uint8_t> profile = bytes.first(declared);
    const std::uint32_t tags = BigEndian32(profile, kHeaderBytes);
    if (tags > (profile.size() - kHeaderBytes - 4) / kTagEntryBytes)
        throw BrokenProfile("the colour profile's tag table (" + std::to_string(tags) +
                            " tags) reaches beyond its end");
    for (std::uint32_t i = 0; i < tags; ++i) {
        const std::size_t entry = kHeaderBytes + 4 + kTagEntryBytes * i;
        const std::uint32_t offset = BigEndian32(profile, entry + 4);
        const std::uint32_t size = BigEndian32(profile, entry + 8);
        if (offset > profile.size() || size > profile.size() - offset)
            throw BrokenProfile("the colour profile's tag " + std::to_string(i + 1) + " of " +
                                std::to_string(tags) + " reaches beyond its end");
    }
}

// The conversion tables of every direction and intent a transform may be linked from.
constexpr cmsTagSignature kTableTags[] = {
    cmsSigAToB0Tag, cmsSigAToB1Tag, cmsSigAToB2Tag, cmsSigBToA0Tag, cmsSigBToA1Tag,
    cmsSigBToA2Tag, cmsSigDToB0Tag, cmsSigDToB1Tag, cmsSigDToB2Tag, cmsSigDToB3Tag,
    cmsSigBToD0Tag, cmsSigBToD1Tag, cmsSigBToD2Tag, cmsSigBToD3Tag,
};
// A table of the multi-process kind: its signature and where its element count is.
constexpr std::uint32_t kMultiProcessType = 0x6D706574; // 'mpet'
constexpr std::size_t kElementCountAt = 12;

// The cost of linking the profile, read from its tables' headers before Little CMS reads a
// table (reading one of many thousand elements already takes seconds): a multi-process table
// chains elements that every colour the link samples goes through, so their number bounds
// the work. The other table kinds have a fixed number of stages.
void CheckLinkCost(cmsHPROFILE profile) {
    for (const cmsTagSignature tag : kTableTags) {
        if (!cmsIsTag(profile, tag))
            continue;
        std::uint8_t head[kElementCountAt + 4] = {};
        const cmsUInt32Number got = cmsReadRawTag(profile, tag, head, sizeof head);
        if (got < sizeof head || BigEndian32(head, 0) != kMultiProcessType)
            continue;
        const std::uint32_t elements = BigEndian32(head, kElementCountAt);
        if (elements > ColourProfile::kMaxTableElements)
            throw BrokenProfile("the colour profile's conversion table chains " +
                                std::to_string(elements) + " elements, more than the " +
                                std::to_string(ColourProfile::kMaxTableElements) +
                                " that are converted with");
    }
}

} // namespace

ColourProfile ColourProfile::Srgb() {
    auto opened = std::make_shared<Opened>();
    opened->profile = cmsCreate_sRGBProfileTHR(opened->context.Get());
    if (opened->profile == nullptr)
        throw BrokenProfile("Little CMS cannot make its sRGB profile: " +
                            opened->context.LastError());
    return ColourProfile(std::move(opened));
}

ColourProfile ColourProfile::FromIcc(std::span<const std::uint8_t> bytes) {
    CheckSizes(bytes);
    auto opened = std::make_shared<Opened>();
    opened->bytes.assign(bytes.begin(), bytes.end());
    opened->profile = cmsOpenProfileFromMemTHR(opened->context.Get(), opened->bytes.data(),
                                               static_cast<cmsUInt32Number>(bytes.size()));
    if (opened->profile == nullptr)
        throw BrokenProfile("the colour profile cannot be read: " + opened->context.LastError());
    switch (cmsGetDeviceClass(opened->profile)) {
    case cmsSigInputClass:
    case cmsSigDisplayClass:
    case cmsSigOutputClass:
    case cmsSigColorSpaceClass:
        break;
    default:
        throw BrokenProfile("the colour profile is not one of a device's colours (a device "
                            "link, an abstract or a named-colour profile)");
    }
    CheckLinkCost(opened->profile);
    return ColourProfile(std::move(opened));
}

const std::vector<std::uint8_t>& ColourProfile::Bytes() const {
    return opened_->bytes;
}

ColourProfile::Space ColourProfile::ColourSpace() const {
    switch (cmsGetColorSpace(opened_->profile)) {
    case cmsSigRgbData:
        return Space::Rgb;
    case cmsSigGrayData:
        return Space::Grey;
    default:
        return Space::Other;
    }
}

void* ColourProfile::Handle() const {
    return opened_->profile;
}

} // namespace tessaly
