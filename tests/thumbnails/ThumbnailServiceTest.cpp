// The thumbnail service over a list: what reaches the inbox, the background pass over the
// rest of the list, and the cap on the pixels it keeps.
#include "thumbnails/ThumbnailService.h"

#include "tests/thumbnails/ThumbnailTestFiles.h"
#include "thumbnails/FileUri.h"

#include <atomic>
#include <chrono>
#include <gtest/gtest.h>
#include <set>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

class ThumbnailServiceTest : public ::testing::Test {
protected:
    std::vector<std::string> Photos(int count) {
        const Bytes bytes = PhotoBytes({.width = 200, .height = 150});
        std::vector<std::string> paths;
        for (int i = 0; i < count; ++i) {
            const auto path = photos_.path() / ("p" + std::to_string(1000 + i) + ".jpg");
            WriteFile(path, bytes);
            paths.push_back(path.string());
        }
        return paths;
    }

    TemporaryCacheHome home_;
    TempDir photos_{"tessaly-thumbnail-list"};
    ThumbnailCache cache_ = ThumbnailCache::FromEnvironment();
};

TEST_F(ThumbnailServiceTest, ScreenCellsAreNotedAndTheRestOfTheListIsCachedInTheBackground) {
    std::vector<std::string> paths = Photos(12);
    WriteFile(photos_.path() / "broken.jpg", Bytes{0, 1, 2, 3});
    paths[1] = (photos_.path() / "broken.jpg").string();
    std::atomic<int> wakes{0};
    ThumbnailService service(cache_, [&] { ++wakes; }, {.threads = 2});
    service.SetList(paths, ThumbnailSize::Normal);
    service.Show(0, 3, 0);
    service.WaitUntilIdle();

    std::set<std::size_t> noted;
    for (const ThumbnailNote& note : service.TakeResults()) {
        noted.insert(note.index);
        EXPECT_EQ(note.failed, note.index == 1) << note.index;
    }
    // The screen (0 to 2) and the next screen (3 to 5); nothing of the rest.
    EXPECT_EQ(noted, (std::set<std::size_t>{0, 1, 2, 3, 4, 5}));
    EXPECT_GE(wakes.load(), 1);
    EXPECT_EQ(service.StateOf(0), ThumbnailService::State::Ready);
    EXPECT_EQ(service.StateOf(1), ThumbnailService::State::Failed);
    EXPECT_EQ(service.Held(2).size(), QSize(128, 96));
    EXPECT_EQ(service.StateOf(9), ThumbnailService::State::Waiting);
    // The background pass made every thumbnail in the cache.
    for (std::size_t i = 0; i < paths.size(); ++i) {
        if (i == 1)
            continue;
        EXPECT_TRUE(std::filesystem::exists(
            cache_.PathFor(ThumbnailSize::Normal, UriHash(FileUri(paths[i])))))
            << i;
    }
}

TEST_F(ThumbnailServiceTest, KeptPixelsStayWithinTheCapWhateverTheListsLength) {
    const std::vector<std::string> paths = Photos(40);
    const std::size_t one = 128 * 96 * 3; // a 128 x 96 thumbnail's bytes
    const std::size_t cap = one * 5;
    ThumbnailService service(cache_, {}, {.threads = 2, .memoryBytes = cap});
    service.SetList(paths, ThumbnailSize::Normal);
    for (std::size_t first = 0; first < paths.size(); first += 2) {
        service.Show(first, 2, 1);
        service.WaitUntilIdle();
        EXPECT_LE(service.HeldBytes(), cap) << first;
        EXPECT_EQ(service.StateOf(first), ThumbnailService::State::Ready) << first;
        EXPECT_FALSE(service.Held(first + 1).isNull()) << first;
    }
    // Going back: a dropped thumbnail is read again from the cache.
    service.Show(0, 2, -1);
    service.WaitUntilIdle();
    EXPECT_FALSE(service.Held(0).isNull());
    EXPECT_LE(service.HeldBytes(), cap);
}

TEST_F(ThumbnailServiceTest, AFileAddedOrRemovedLeavesTheOthersThumbnailsAndFailuresKept) {
    std::vector<std::string> paths = Photos(6);
    WriteFile(photos_.path() / "broken.jpg", Bytes{0, 1, 2, 3});
    paths[5] = (photos_.path() / "broken.jpg").string();
    ThumbnailService service(cache_, {}, {.threads = 1});
    service.SetList(paths, ThumbnailSize::Normal);
    service.Show(0, 6, 0);
    service.WaitUntilIdle();
    service.TakeResults();
    std::vector<qint64> keys;
    for (std::size_t i = 0; i < 5; ++i)
        keys.push_back(service.Held(i).cacheKey());

    // The first file removed, a new one added in the middle (as the folder watcher reports).
    const std::string added = (photos_.path() / "p1002a.jpg").string();
    WritePhoto(added, {.width = 200, .height = 150});
    const std::vector<std::string> changed{paths[1], paths[2], added, paths[3], paths[4], paths[5]};
    service.SetList(changed, ThumbnailSize::Normal);
    // Before any work: every file still listed has what it had, at its new place.
    const std::size_t was[] = {1, 2, 0, 3, 4};
    for (const std::size_t i : {0, 1, 3, 4})
        EXPECT_EQ(service.Held(i).cacheKey(), keys[was[i]]) << i;
    EXPECT_EQ(service.StateOf(2), ThumbnailService::State::Waiting);
    EXPECT_EQ(service.StateOf(5), ThumbnailService::State::Failed);
    EXPECT_EQ(service.HeldBytes(), static_cast<std::size_t>(4 * service.Held(0).sizeInBytes()));

    // Only the new file is made.
    service.Show(0, 6, 0);
    service.WaitUntilIdle();
    const std::vector<ThumbnailNote> notes = service.TakeResults();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].index, 2u);
    EXPECT_EQ(service.StateOf(2), ThumbnailService::State::Ready);
}

// A file turned or baked where it is: its kept thumbnail is not the picture any more.
TEST_F(ThumbnailServiceTest, AChangedFileIsMadeAgainAndTheOthersKept) {
    const std::vector<std::string> paths = Photos(3);
    ThumbnailService service(cache_, {}, {.threads = 1});
    service.SetList(paths, ThumbnailSize::Normal);
    service.Show(0, 3, 0);
    service.WaitUntilIdle();
    service.TakeResults();
    const QSize before = service.Held(1).size();
    const qint64 other = service.Held(2).cacheKey();

    // Stored on its side now, with a new modification time.
    WritePhoto(paths[1], {.width = 150, .height = 200});
    std::filesystem::last_write_time(paths[1], std::filesystem::last_write_time(paths[1]) +
                                                   std::chrono::seconds(5));
    service.Changed(paths[1]);
    service.Show(0, 3, 0);
    service.WaitUntilIdle();
    const std::vector<ThumbnailNote> notes = service.TakeResults();
    ASSERT_EQ(notes.size(), 1u);
    EXPECT_EQ(notes[0].index, 1u);
    EXPECT_EQ(service.Held(1).size(), before.transposed());
    EXPECT_EQ(service.Held(2).cacheKey(), other);
}

TEST_F(ThumbnailServiceTest, CancelStopsAllWorkUntilTheNextShow) {
    const std::vector<std::string> paths = Photos(30);
    ThumbnailService service(cache_, {}, {.threads = 1});
    service.SetList(paths, ThumbnailSize::Normal);
    service.Cancel(); // before any Show: nothing starts
    service.WaitUntilIdle();
    EXPECT_TRUE(service.TakeResults().empty());
    // A first Show past the end of the list shows nothing; the background pass starts at the top.
    service.Show(paths.size(), 4, 1);
    service.WaitUntilIdle();
    EXPECT_TRUE(service.TakeResults().empty());
    service.SetList(paths, ThumbnailSize::Normal);
    service.WaitUntilIdle();
    EXPECT_TRUE(service.TakeResults().empty());
    service.Show(10, 4, 1);
    service.Cancel();
    service.WaitUntilIdle();
    service.TakeResults();
    // A list without the kept files drops them and their notes.
    service.Show(10, 4, 1);
    service.WaitUntilIdle();
    EXPECT_FALSE(service.Held(10).isNull());
    service.SetList({paths[0]}, ThumbnailSize::Normal);
    EXPECT_TRUE(service.Held(10).isNull());
    EXPECT_EQ(service.HeldBytes(), 0u);
    EXPECT_TRUE(service.TakeResults().empty());
}

} // namespace
