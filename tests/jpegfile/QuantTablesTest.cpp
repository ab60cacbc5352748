// The quality a file's quantisation tables show: the tables libjpeg writes at a quality read
// back as that quality, and DQT segments of several tables and of two-byte steps.
#include "jpegfile/QuantTables.h"

#include "base/RegularFile.h"
#include "jpegfile/JpegSegments.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/JpegTools.h"

#include <gtest/gtest.h>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

TEST(QuantTables, TheTablesLibjpegWritesReadBackAsTheirQuality) {
    TempDir dir;
    for (const int quality : {1, 2, 10, 37, 50, 51, 75, 83, 94, 99, 100}) {
        SCOPED_TRACE(quality);
        WriteFile(dir / "q.jpg", EncodeJpeg(GradientBitmap(16, 16), {.quality = quality}));
        const RegularFile file((dir / "q.jpg").string());
        std::optional<QuantTable> luminance;
        for (const JpegSegment& segment : ListJpegSegments(file))
            if (segment.marker == 0xDB && !luminance)
                luminance = QuantTableIn(ReadSegmentData(file, segment), 0);
        ASSERT_TRUE(luminance);
        EXPECT_EQ(*luminance, ScaledLuminanceTable(quality));
        EXPECT_EQ(EstimateQuality(*luminance), quality);
    }
}

TEST(QuantTables, SegmentsOfSeveralTablesAndTwoByteSteps) {
    Bytes dqt = {0x00};
    for (int i = 0; i < 64; ++i)
        dqt.push_back(static_cast<std::uint8_t>(i + 1));
    dqt.push_back(0x11); // slot 1, two bytes a step
    for (int i = 0; i < 64; ++i) {
        dqt.push_back(1);
        dqt.push_back(static_cast<std::uint8_t>(i));
    }
    const std::optional<QuantTable> first = QuantTableIn(dqt, 0);
    const std::optional<QuantTable> second = QuantTableIn(dqt, 1);
    ASSERT_TRUE(first && second);
    // Zigzag order: the third step lies below the first, the fourth right of the second row's.
    EXPECT_EQ(((*first)[0]), 1);
    EXPECT_EQ(((*first)[1]), 2);
    EXPECT_EQ(((*first)[8]), 3);
    EXPECT_EQ(((*first)[63]), 64);
    EXPECT_EQ(((*second)[8]), 258);
    EXPECT_FALSE(QuantTableIn(dqt, 2));
    EXPECT_FALSE(QuantTableIn(std::span(dqt).first(dqt.size() - 1), 1)); // cut short
    // An encoder that rounds its steps another way still reads as its quality.
    QuantTable rounded = ScaledLuminanceTable(83);
    for (std::size_t i = 0; i < 64; i += 2)
        ++rounded[i];
    EXPECT_EQ(EstimateQuality(rounded), 83);
}

} // namespace
