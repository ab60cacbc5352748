#include "pictures/CopyCache.h"

#include <gtest/gtest.h>

using namespace tessaly;

namespace {

KeptCopy CopyOf(int width, int height) {
    KeptCopy copy;
    copy.pixels = std::make_shared<const DecodedPicture>(Bitmap(width, height));
    copy.fullWidth = width * 4;
    copy.fullHeight = height * 4;
    return copy;
}

} // namespace

// Over the budget the copies worth least go first (nobody's, least recently asked for, then
// the neighbours from the least wanted); a copy that would not fit beside those worth at least
// as much is not kept and pushes nothing out.
TEST(CopyCache, DropsTheCopiesWorthLeastAndNeverOneWorthMoreThanTheNewCopy) {
    const std::size_t copy = CopyOf(400, 300).Bytes();
    CopyCache cache(3 * copy);
    cache.SetWanted("shown", {"next", "previous"});
    EXPECT_TRUE(cache.Keep("old", CopyOf(400, 300)));
    EXPECT_TRUE(cache.Keep("previous", CopyOf(400, 300)));
    EXPECT_TRUE(cache.Keep("next", CopyOf(400, 300)));
    EXPECT_TRUE(cache.Keep("shown", CopyOf(400, 300)));
    EXPECT_EQ(cache.Find("old"), nullptr);
    EXPECT_EQ(cache.Bytes(), 3 * copy);

    // Too large to fit beside the copies worth at least as much: refused, nothing dropped.
    cache.SetWanted("other", {"next", "previous", "shown"});
    EXPECT_FALSE(cache.Keep("shown", CopyOf(800, 600)));
    ASSERT_NE(cache.Find("next"), nullptr);
    ASSERT_NE(cache.Find("previous"), nullptr);
    EXPECT_EQ(cache.Find("shown"), nullptr) << "its old copy was replaced";
    EXPECT_EQ(cache.Bytes(), 2 * copy);
}
