#include "pictures/PicturePipeline.h"

#include "jpeg/JpegDecoder.h"
#include "resample/DisplayScale.h"
#include "tests/support/ExifBuilder.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/MemoryLimit.h"
#include "tests/support/MpfBuilder.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <filesystem>
#include <gtest/gtest.h>
#include <mutex>
#include <set>
#include <sys/resource.h>
#include <thread>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::fixtures;

namespace {

constexpr auto kPatience = std::chrono::seconds(30);

int ThreadNice() {
    return ::getpriority(PRIO_PROCESS, static_cast<id_t>(::gettid()));
}

// Decoders that record their calls and make pictures of 4000 x 3000 without reading
// anything. A held path blocks its decode until released, or until cancelled, which the
// decoder notices by polling its flag as a real one does between rows.
class FakeDecoders {
public:
    static constexpr int kWidth = 4000;
    static constexpr int kHeight = 3000;

    struct Call {
        std::string path;
        bool full = false;
        bool cancelled = false;
        bool finished = false;
        int nice = 0; // the decoding thread's
    };

    void Hold(const std::string& path) {
        const std::lock_guard lock(mutex_);
        held_.insert(path);
    }
    // Holds only the full-size decode of the path.
    void HoldFull(const std::string& path) { Hold(path + " full"); }
    void Release(const std::string& path) {
        {
            const std::lock_guard lock(mutex_);
            held_.erase(path);
            held_.erase(path + " full");
        }
        changed_.notify_all();
    }
    void WaitStarted(const std::string& path, bool full = false) {
        std::unique_lock lock(mutex_);
        ASSERT_TRUE(changed_.wait_for(lock, kPatience, [&] {
            return std::any_of(calls_.begin(), calls_.end(),
                               [&](const Call& c) { return c.path == path && (c.full || !full); });
        })) << path;
    }
    std::vector<Call> Calls() {
        const std::lock_guard lock(mutex_);
        return calls_;
    }

    PictureDecoders Bind() {
        return {[this](const std::string& path, int minWidth, int minHeight,
                       const CancelFlag& cancel, int& fullWidth, int& fullHeight) {
                    fullWidth = kWidth;
                    fullHeight = kHeight;
                    Decode(path, false, cancel);
                    return minWidth >= kWidth && minHeight >= kHeight ? Bitmap(kWidth, kHeight)
                                                                      : Bitmap(minWidth, minHeight);
                },
                [this](const std::string& path, const CancelFlag& cancel) {
                    Decode(path, true, cancel);
                    return Bitmap(kWidth, kHeight);
                }};
    }

private:
    void Decode(const std::string& path, bool full, const CancelFlag& cancel) {
        std::unique_lock lock(mutex_);
        const std::size_t index = calls_.size();
        calls_.push_back({path, full, false, false, ThreadNice()});
        changed_.notify_all();
        while ((held_.contains(path) || (full && held_.contains(path + " full"))) &&
               !cancel.Cancelled())
            changed_.wait_for(lock, std::chrono::milliseconds(1));
        calls_[index].cancelled = cancel.Cancelled();
        calls_[index].finished = true;
        cancel.ThrowIfCancelled();
    }

    std::mutex mutex_;
    std::condition_variable changed_;
    std::set<std::string> held_;
    std::vector<Call> calls_;
};

// The results the pipeline delivers, collected from its worker threads.
class Results {
public:
    PicturePipeline::ResultCallback Callback() {
        return [this](PictureResult result) {
            {
                const std::lock_guard lock(mutex_);
                results_.push_back(std::move(result));
            }
            changed_.notify_all();
        };
    }
    // Waits until `count` results have arrived and returns all of them.
    std::vector<PictureResult> WaitFor(std::size_t count) {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(changed_.wait_for(lock, kPatience, [&] { return results_.size() >= count; }))
            << "results arrived: " << results_.size() << " of " << count;
        return results_;
    }
    // Waits until the full picture (or a failure) has arrived and returns all results. A
    // first decode that costs as much as the full one is made at full size: then it is the
    // only result.
    std::vector<PictureResult> WaitForFull() {
        std::unique_lock lock(mutex_);
        EXPECT_TRUE(changed_.wait_for(lock, kPatience,
                                      [&] {
                                          return !results_.empty() &&
                                                 (!results_.back().Ok() ||
                                                  results_.back().kind == PictureKind::Full);
                                      }))
            << "results arrived without the full picture: " << results_.size();
        return results_;
    }
    std::vector<PictureResult> All() {
        const std::lock_guard lock(mutex_);
        return results_;
    }
    void Clear() {
        const std::lock_guard lock(mutex_);
        results_.clear();
    }

private:
    std::mutex mutex_;
    std::condition_variable changed_;
    std::vector<PictureResult> results_;
};

PicturePipeline::Options Threads(int n) {
    PicturePipeline::Options options;
    options.threads = n;
    return options;
}

// Existing files, so that each has an identity; the fake decoders never read them.
std::vector<std::string> Files(const TempDir& dir, int count) {
    std::vector<std::string> paths;
    for (int i = 0; i < count; ++i) {
        paths.push_back((dir / ("p" + std::to_string(i) + ".jpg")).string());
        WriteFile(paths.back(), Bytes(16, static_cast<std::uint8_t>(i)));
    }
    return paths;
}

} // namespace

TEST(PicturePipeline, ScreenCopyThenFullPictureAndOnlyTheCurrentFullPictureIsKept) {
    TempDir dir;
    const auto paths = Files(dir, 2);
    FakeDecoders fake;
    Results results;
    // One worker: after each decode it frees what was let go of, before it takes the next.
    PicturePipeline pipeline(fake.Bind(), results.Callback(), Threads(1));

    const std::uint64_t first = pipeline.Show(paths[0], 400, 300);
    auto got = results.WaitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, PictureKind::ScreenCopy);
    EXPECT_EQ(got[0].pixels->Width(), 400);
    EXPECT_EQ(got[0].fullWidth, FakeDecoders::kWidth);
    EXPECT_EQ(got[1].kind, PictureKind::Full);
    EXPECT_EQ(got[1].pixels->Width(), FakeDecoders::kWidth);
    EXPECT_EQ(got[0].request, first);
    EXPECT_EQ(got[1].request, first);
    EXPECT_EQ(got[1].identity, IdentifyFile(paths[0]));

    // Shown again (a resized window): the kept full picture answers at once.
    const std::uint64_t again = pipeline.Show(paths[0], 800, 600);
    got = results.WaitFor(3);
    EXPECT_EQ(got[2].request, again);
    EXPECT_EQ(got[2].kind, PictureKind::Full);
    pipeline.WaitUntilIdle();
    EXPECT_EQ(fake.Calls().size(), 2u);

    // Another picture: the first one's full pixels are freed before the next are decoded at
    // full size, not kept beside them.
    const std::weak_ptr<const DecodedPicture> firstFull = got[1].pixels;
    results.Clear();
    got.clear();
    fake.HoldFull(paths[1]);
    pipeline.Show(paths[1], 400, 300);
    fake.WaitStarted(paths[1], true);
    EXPECT_TRUE(firstFull.expired());
    fake.Release(paths[1]);
    results.WaitFor(2);

    // Not shown reduced: one full-size decode, delivered as the full picture.
    results.Clear();
    pipeline.Show(paths[0], FakeDecoders::kWidth, FakeDecoders::kHeight);
    got = results.WaitFor(1);
    pipeline.WaitUntilIdle();
    ASSERT_EQ(results.All().size(), 1u);
    EXPECT_EQ(got[0].kind, PictureKind::Full);
    EXPECT_EQ(got[0].pixels->Width(), FakeDecoders::kWidth);
    EXPECT_EQ(fake.Calls().size(), 5u);
}

// With a worker free for each decode, the next picture's full decode could start beside its
// screen copy while the shown one's full pixels still wait to be freed: it waits for them.
TEST(PicturePipeline, OldFullPictureIsFreedBeforeTheNextFullDecodeStartsOnTwoWorkers) {
    TempDir dir;
    const auto paths = Files(dir, 2);
    FakeDecoders fake;
    Results results;
    PicturePipeline pipeline(fake.Bind(), results.Callback(), Threads(2));
    pipeline.Show(paths[0], 400, 300, FakeDecoders::kWidth, FakeDecoders::kHeight);
    const std::weak_ptr<const DecodedPicture> firstFull = results.WaitFor(2).back().pixels;
    results.Clear();
    pipeline.WaitUntilIdle();
    ASSERT_FALSE(firstFull.expired()) << "the shown picture's full pixels are kept";

    fake.Hold(paths[1]); // its screen copy and full decode stay under way once started
    pipeline.Show(paths[1], 400, 300, FakeDecoders::kWidth, FakeDecoders::kHeight);
    fake.WaitStarted(paths[1], true);
    EXPECT_TRUE(firstFull.expired());
    fake.Release(paths[1]);
    pipeline.WaitUntilIdle();
    EXPECT_EQ(results.All().back().kind, PictureKind::Full);
}

TEST(PicturePipeline, FullDecodeRunsBesideAReducedFirstDecodeUnlessThatTakesEveryCore) {
    TempDir dir;
    const auto paths = Files(dir, 1);
    FakeDecoders fake;
    fake.Hold(paths[0]); // the screen copy stays under way
    Results results;
    PicturePipeline pipeline(fake.Bind(), results.Callback(), Threads(2));
    pipeline.Show(paths[0], 400, 300, FakeDecoders::kWidth, FakeDecoders::kHeight);
    fake.WaitStarted(paths[0], true); // the full decode started beside it
    fake.Release(paths[0]);
    pipeline.WaitUntilIdle();
    const auto got = results.All();
    ASSERT_FALSE(got.empty());
    EXPECT_EQ(got.back().kind, PictureKind::Full);
    EXPECT_EQ(fake.Calls().size(), 2u);

    // A file whose decodes take every core: the full decode waits for the first one.
    FakeDecoders striped;
    striped.Hold(paths[0]);
    PictureDecoders decoders = striped.Bind();
    decoders.readFacts = [](const std::string&) {
        PictureFacts facts{FakeDecoders::kWidth, FakeDecoders::kHeight};
        facts.everyCore = true;
        return facts;
    };
    // One worker, so that a full decode wanted beside the held first one shows as pending.
    PicturePipeline alone(decoders, results.Callback(), Threads(1));
    alone.Show(paths[0], 400, 300, FakeDecoders::kWidth, FakeDecoders::kHeight);
    striped.WaitStarted(paths[0]);
    EXPECT_EQ(alone.PendingJobs(), 0u) << "the full decode is wanted beside the first";
    striped.Release(paths[0]);
    alone.WaitUntilIdle();
    ASSERT_EQ(striped.Calls().size(), 2u);
    EXPECT_TRUE(striped.Calls()[1].full);
}

// The current picture's first decode runs at the workers' priority, the full decode and the
// neighbours' below it; a worker that did either still decodes the next first copy at its own.
TEST(PicturePipeline, OnlyTheFirstDecodeRunsAtTheWorkersPriority) {
    TempDir dir;
    const auto paths = Files(dir, 3);
    FakeDecoders fake;
    Results results;
    PicturePipeline::Options options = Threads(1);
    options.backgroundNice = 5;
    PicturePipeline pipeline(fake.Bind(), results.Callback(), options);
    const int own = ThreadNice(); // the workers inherit it
    pipeline.Show(paths[0], 400, 300);
    pipeline.Ahead({paths[1]}, 400, 300);
    pipeline.WaitUntilIdle();
    pipeline.Show(paths[2], 400, 300);
    results.WaitFor(3);
    const auto calls = fake.Calls();
    ASSERT_GE(calls.size(), 4u);
    const int lower = std::min(own + 5, 19);
    EXPECT_EQ(calls[0].nice, own) << "first decode";
    EXPECT_EQ(calls[1].nice, lower) << "full decode";
    EXPECT_EQ(calls[2].nice, lower) << "neighbour";
    EXPECT_EQ(calls[3].nice, own) << "the next first decode";
}

TEST(PicturePipeline, NewShowCancelsRunningDecodesAndDropsNeighboursNoLongerWanted) {
    TempDir dir;
    const auto paths = Files(dir, 4); // shown, two neighbours, then shown instead
    FakeDecoders fake;
    fake.Hold(paths[0]);
    fake.Hold(paths[1]);
    Results results;
    PicturePipeline pipeline(fake.Bind(), results.Callback(), Threads(2));

    pipeline.Show(paths[0], 400, 300);
    pipeline.Ahead({paths[1], paths[2]}, 400, 300);
    fake.WaitStarted(paths[0]);
    fake.WaitStarted(paths[1]);
    EXPECT_EQ(pipeline.PendingJobs(), 1u); // the second neighbour waits for a worker

    const std::uint64_t now = pipeline.Show(paths[3], 400, 300);
    EXPECT_LE(pipeline.PendingJobs(), 1u);
    pipeline.WaitUntilIdle();
    for (const auto& call : fake.Calls()) {
        EXPECT_NE(call.path, paths[2]) << "a dropped neighbour was decoded";
        if (call.path == paths[0] || call.path == paths[1]) {
            EXPECT_TRUE(call.cancelled) << call.path;
        }
    }
    const auto got = results.All();
    ASSERT_EQ(got.size(), 2u);
    for (const auto& r : got) {
        EXPECT_EQ(r.path, paths[3]);
        EXPECT_EQ(r.request, now);
    }
}

// Memory is counted from the headers: a full decode that would not fit beside a running
// decode waits for it, and a neighbour's decode under way when it is shown is its first
// decode, not cancelled to make room for its own full decode.
TEST(PicturePipeline, FullDecodeWaitsForRoomBesideTheNeighbourDecodeThatBecameItsFirst) {
    TempDir dir;
    const auto paths = Files(dir, 1);
    FakeDecoders fake;
    fake.Hold(paths[0]);
    PictureDecoders decoders = fake.Bind();
    decoders.readFacts = [](const std::string&) {
        // 5 MB held while decoding, besides the pixels: the full picture 36 MB, the screen
        // copy 0.56 MB. Together over the 45 MB allowed, each alone within it.
        return PictureFacts{FakeDecoders::kWidth, FakeDecoders::kHeight, 5'000'000};
    };
    Results results;
    PicturePipeline::Options options = Threads(2);
    options.decodeBytes = 45'000'000;
    PicturePipeline pipeline(decoders, results.Callback(), options);
    pipeline.Ahead({paths[0]}, 400, 300);
    fake.WaitStarted(paths[0]);
    pipeline.Show(paths[0], 400, 300, FakeDecoders::kWidth, FakeDecoders::kHeight);
    EXPECT_EQ(pipeline.PendingJobs(), 1u); // the full decode, waiting for room
    fake.Release(paths[0]);
    pipeline.WaitUntilIdle();
    const auto calls = fake.Calls();
    ASSERT_EQ(calls.size(), 2u);
    EXPECT_FALSE(calls[0].cancelled);
    EXPECT_TRUE(calls[1].full);
    const auto got = results.All();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].kind, PictureKind::ScreenCopy);
    EXPECT_EQ(got[1].kind, PictureKind::Full);
}

TEST(PicturePipeline, HeldKeyBuildsNoQueueAndDeliversOnlyTheLastPicture) {
    TempDir dir;
    const auto paths = Files(dir, 100);
    FakeDecoders fake;
    for (const auto& p : paths)
        fake.Hold(p); // every decode is still running when the next key comes
    Results results;
    PicturePipeline pipeline(fake.Bind(), results.Callback(), Threads(2));

    std::uint64_t last = 0;
    for (int i = 0; i < 100; ++i) {
        last = pipeline.Show(paths[static_cast<std::size_t>(i)], 400, 300);
        pipeline.Ahead({paths[static_cast<std::size_t>((i + 1) % 100)],
                        paths[static_cast<std::size_t>((i + 99) % 100)]},
                       400, 300);
        ASSERT_LE(pipeline.PendingJobs(), 3u) << "after press " << i;
    }
    fake.Release(paths[99]);
    const auto got = results.WaitFor(2);
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].path, paths[99]);
    EXPECT_EQ(got[0].kind, PictureKind::ScreenCopy);
    EXPECT_EQ(got[1].kind, PictureKind::Full);
    EXPECT_EQ(got[1].request, last);
    for (const auto& p : paths)
        fake.Release(p);
    pipeline.WaitUntilIdle();
    EXPECT_EQ(results.All().size(), 2u);
    // Of the pictures passed by, only the last press's neighbours may have been decoded.
    for (const auto& call : fake.Calls()) {
        if (call.path != paths[99] && call.path != paths[0] && call.path != paths[98]) {
            EXPECT_TRUE(call.cancelled) << call.path;
        }
    }
}

TEST(PicturePipeline, NeighbourDecodedAheadIsShownWithoutDecodingAgainWithinBudget) {
    TempDir dir;
    const auto paths = Files(dir, 4);
    FakeDecoders fake;
    Results results;
    PicturePipeline::Options options = Threads(1);
    // Room for two 400 x 300 copies (360,000 bytes each), not three.
    options.cacheBytes = 800'000;
    PicturePipeline pipeline(fake.Bind(), results.Callback(), options);

    pipeline.Ahead({paths[1], paths[2], paths[3]}, 400, 300);
    pipeline.WaitUntilIdle();
    EXPECT_TRUE(results.All().empty()) << "neighbours are kept, not delivered";
    ASSERT_EQ(fake.Calls().size(), 3u);

    // The two most wanted neighbours are kept, the last one was not.
    pipeline.Show(paths[1], 400, 300);
    pipeline.WaitUntilIdle();
    pipeline.Show(paths[2], 300, 200);
    pipeline.WaitUntilIdle();
    pipeline.Show(paths[3], 400, 300);
    pipeline.WaitUntilIdle();
    std::vector<std::string> decoded;
    for (const auto& call : fake.Calls())
        decoded.push_back(call.path + (call.full ? " full" : " copy"));
    EXPECT_EQ(decoded,
              (std::vector<std::string>{paths[1] + " copy", paths[2] + " copy", paths[3] + " copy",
                                        paths[1] + " full", paths[2] + " full", paths[3] + " copy",
                                        paths[3] + " full"}));
    const auto got = results.All();
    ASSERT_EQ(got.size(), 6u);
    EXPECT_EQ(got[2].kind, PictureKind::ScreenCopy);
    EXPECT_EQ(got[2].pixels->Width(), 400); // the kept copy, larger than asked for
}

// A picture shown at full size (not larger than the window) is kept as the full picture, not
// in the copy budget, where it would push out the neighbours' copies.
TEST(PicturePipeline, FullSizeFirstDecodeKeepsTheNeighboursCopies) {
    TempDir dir;
    const auto paths = Files(dir, 2);
    FakeDecoders fake;
    Results results;
    PicturePipeline::Options options = Threads(1);
    options.cacheBytes = 30'000'000; // below the 36 MB of a picture at full size
    PicturePipeline pipeline(fake.Bind(), results.Callback(), options);
    pipeline.Ahead({paths[1]}, 400, 300);
    pipeline.WaitUntilIdle();
    pipeline.Show(paths[0], FakeDecoders::kWidth, FakeDecoders::kHeight);
    pipeline.WaitUntilIdle();
    pipeline.Ahead({paths[1]}, 400, 300);
    pipeline.WaitUntilIdle();
    const auto calls = fake.Calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [&](const FakeDecoders::Call& c) { return c.path == paths[1]; }),
              1);
}

TEST(PicturePipeline, FilesChangedOrDamagedSinceDecodedAheadAreReadAgainAndFailOnlyWhenShown) {
    TempDir dir;
    const std::string replaced = (dir / "replaced.jpg").string();
    const std::string deleted = (dir / "deleted.jpg").string();
    const std::string damaged = (dir / "damaged.jpg").string();
    WriteFile(replaced, EncodeJpeg(GradientBitmap(64, 48)));
    WriteFile(deleted, EncodeJpeg(GradientBitmap(64, 48)));
    WriteFile(damaged, Bytes{0xFF, 0xD8, 0xFF, 0xE0, 0x00, 0x10, 'J', 'F', 'I', 'F'});
    Results results;
    PicturePipeline pipeline(DefaultPictureDecoders(), results.Callback(), Threads(2));

    pipeline.Ahead({replaced, deleted, damaged}, 585, 394);
    pipeline.WaitUntilIdle();
    EXPECT_TRUE(results.All().empty()) << "a damaged neighbour reports nothing until shown";

    WriteFile(replaced, EncodeJpeg(GradientBitmap(80, 60)));
    std::filesystem::remove(deleted);

    pipeline.Show(replaced, 585, 394);
    auto got = results.WaitFor(1);
    ASSERT_TRUE(got[0].Ok()) << got[0].errorText;
    EXPECT_EQ(got[0].kind, PictureKind::Full); // not larger than shown: full size only
    EXPECT_EQ(got[0].pixels->Width(), 80) << "the copy of the replaced file was shown";

    pipeline.Show(deleted, 585, 394);
    got = results.WaitFor(2);
    EXPECT_FALSE(got[1].Ok());
    EXPECT_EQ(got[1].errorType, PictureErrorType::Unreadable);

    pipeline.Show(damaged, 585, 394);
    got = results.WaitFor(3);
    EXPECT_FALSE(got[2].Ok());
    EXPECT_EQ(got[2].errorType, PictureErrorType::InvalidJpeg);
    ASSERT_TRUE(got[2].error);
    EXPECT_THROW(std::rethrow_exception(got[2].error), JpegError);
    pipeline.WaitUntilIdle();
    EXPECT_EQ(results.All().size(), 3u);
}

TEST(PicturePipeline, NeighbourIsDecodedAheadIntoTheExactDisplayCopy) {
    // With the real decoders a neighbour larger than the shown size is kept as the picture
    // reduced for display, the same pixels the window makes from the full picture; the
    // picture shown first gets a quick scaled copy, which is not exact.
    TempDir dir;
    const std::string first = (dir / "first.jpg").string();
    const std::string next = (dir / "next.jpg").string();
    const Bytes jpeg = EncodeJpeg(GradientBitmap(640, 480, 3));
    WriteFile(first, jpeg);
    WriteFile(next, jpeg);
    Results results;
    PicturePipeline pipeline(DefaultPictureDecoders(), results.Callback(), Threads(2));
    pipeline.Show(first, 300, 200);
    pipeline.WaitUntilIdle();
    const std::size_t before = results.All().size(); // a screen copy and the full picture,
    for (const auto& r : results.All())              // or the full one alone if it came first
        EXPECT_FALSE(r.exact);
    pipeline.Ahead({next}, 300, 200);
    pipeline.WaitUntilIdle();
    pipeline.Show(next, 300, 200);
    const auto got = results.WaitFor(before + 1);
    const PictureResult& shown = got[before];
    ASSERT_TRUE(shown.Ok()) << shown.errorText;
    EXPECT_EQ(shown.kind, PictureKind::ScreenCopy);
    EXPECT_TRUE(shown.exact);
    EXPECT_TRUE(shown.pixels->SamePixels(ReduceForDisplay(DecodeJpeg(jpeg), 300, 200)));
    pipeline.WaitUntilIdle();
}

// A file in several scans makes libjpeg keep the coefficients of the whole picture while it
// decodes: a 9448 x 9448 progressive file of a few hundred bytes (empty scans) holds 535 MB
// of them besides its 268 MB picture. Its screen copy and its full picture, and two such
// neighbours beside the kept full picture, are decoded one after the other, on two workers
// as on one.
TEST(PicturePipeline, HugeFilesInSeveralScansAreNeverDecodedSideBySide) {
    if (tessaly::testing::kAddressSpaceIsReserved)
        GTEST_SKIP() << "address space limits do not apply under a sanitizer";
    TempDir dir;
    const Bytes bomb =
        HeaderOnly(EncodeJpeg(GradientBitmap(16, 16),
                              {.jfif = false, .progressive = true, .lumaH = 1, .lumaV = 1}),
                   9448, 9448);
    std::vector<std::string> paths;
    for (int i = 0; i < 3; ++i) {
        paths.push_back((dir / ("bomb" + std::to_string(i) + ".jpg")).string());
        WriteFile(paths.back(), bomb);
    }
    EXPECT_TRUE(tessaly::testing::RunsWithin(kMaxDecodeBytes + kDecodeMargin, [&] {
        Results results;
        PicturePipeline pipeline(DefaultPictureDecoders(), results.Callback(), Threads(2));
        pipeline.Show(paths[0], 800, 600, 9448, 9448);
        auto got = results.WaitForFull();
        if (got.empty() || !got.back().Ok() || got.back().kind != PictureKind::Full)
            return false;
        pipeline.Ahead({paths[1], paths[2]}, 800, 600);
        pipeline.WaitUntilIdle();
        // Let go of the shown picture, as the window does before it shows the next one.
        got.clear();
        results.Clear();
        pipeline.Show(paths[2], 800, 600, 9448, 9448);
        got = results.WaitFor(1);
        return got[0].Ok() && got[0].kind == PictureKind::ScreenCopy;
    }));
}

// A full picture still held by its receiver (a result the window has not yet taken from its
// inbox) takes memory until it is really freed: the next picture's full decode waits for
// that, on two workers as on one, instead of decoding a second full picture beside it.
TEST(PicturePipeline, FullPictureHeldByItsReceiverIsFreedBeforeTheNextFullDecode) {
    if (tessaly::testing::kAddressSpaceIsReserved)
        GTEST_SKIP() << "address space limits do not apply under a sanitizer";
    TempDir dir;
    const Bytes bomb =
        HeaderOnly(EncodeJpeg(GradientBitmap(16, 16),
                              {.jfif = false, .progressive = true, .lumaH = 1, .lumaV = 1}),
                   9448, 9448);
    const std::string shown = (dir / "shown.jpg").string();
    const std::string next = (dir / "next.jpg").string();
    WriteFile(shown, bomb);
    WriteFile(next, bomb);
    EXPECT_TRUE(tessaly::testing::RunsWithin(kMaxDecodeBytes + kDecodeMargin, [&] {
        std::atomic<bool> nextFullStarted{false};
        std::atomic<bool> besideTheHeldOne{false};
        std::weak_ptr<const DecodedPicture> held;
        PictureDecoders decoders = DefaultPictureDecoders();
        decoders.decodeFull = [&, full = decoders.decodeFull](const std::string& path,
                                                              const CancelFlag& cancel) {
            if (path == next) {
                besideTheHeldOne = !held.expired();
                nextFullStarted = true;
            }
            return full(path, cancel);
        };
        Results results;
        // All at one priority, so that the full decodes are not starved on a busy machine.
        PicturePipeline::Options options = Threads(2);
        options.backgroundNice = 0;
        PicturePipeline pipeline(decoders, results.Callback(), options);
        pipeline.Show(shown, 800, 600, 9448, 9448);
        auto got = results.WaitForFull();
        if (got.empty() || !got.back().Ok() || got.back().kind != PictureKind::Full)
            return false;
        std::shared_ptr<const DecodedPicture> inbox = got.back().pixels;
        held = inbox;
        got.clear();
        results.Clear();
        pipeline.Show(next, 800, 600, 9448, 9448);
        // Held until the next full decode has started or waits for the memory.
        const auto cap = std::chrono::steady_clock::now() + kPatience;
        while (!nextFullStarted && !pipeline.StalledOnMemory() &&
               std::chrono::steady_clock::now() < cap)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        inbox.reset();
        got = results.WaitForFull();
        return !got.empty() && got.back().Ok() && got.back().kind == PictureKind::Full &&
               !besideTheHeldOne;
    }));
}

// The file's own preview is planned like every decode: an 8192 x 8192 picture whose MPF
// preview is an 8000 x 8000 file in several scans (384 MB of libjpeg's coefficients, however
// small it is decoded) would cost far more than the screen copy it stands in for; it is not
// used, and the peak is that of the picture's own decodes (its full picture, 201 MB, and its
// screen copy) on three workers, not that beside the preview's.
TEST(PicturePipeline, PreviewCostingMoreThanTheScreenCopyIsNotDecoded) {
    if (tessaly::testing::kAddressSpaceIsReserved)
        GTEST_SKIP() << "address space limits do not apply under a sanitizer";
    TempDir dir;
    const Bytes preview = EncodeJpeg(SolidBitmap(8000, 8000, 90, 120, 150),
                                     {.jfif = false, .progressive = true, .lumaH = 1, .lumaV = 1});
    const Bytes primary = HeaderOnly(
        EncodeJpeg(GradientBitmap(16, 16), {.lumaH = 1, .lumaV = 1, .segments = {MpfSegment(1)}}),
        8192, 8192);
    const std::string path = (dir / "large.jpg").string();
    WriteFile(path, AddMpfPictures(primary, {{kMpfLargeThumbnail, preview}}));
    EXPECT_TRUE(tessaly::testing::RunsWithin(std::uint64_t{480} << 20, [&] {
        Results results;
        PicturePipeline pipeline(DefaultPictureDecoders(), results.Callback(), Threads(3));
        pipeline.Show(path, 800, 600, 8192, 8192);
        pipeline.WaitUntilIdle();
        const auto got = results.All();
        return !got.empty() && got.front().kind != PictureKind::StandIn &&
               got.back().kind == PictureKind::Full &&
               got.back().errorType != PictureErrorType::Other;
    }));
}

// With the real decoders each decode is sized by its file's header and by the size its
// picture will be shown at: at fit, a neighbour's copy is the exact display copy; zoomed in
// past its own size, it is the picture at full size in the form it is kept in (planes for a
// 4:2:0 file), which answers the first decode and the full one with no decode more; a copy
// the budget would drop at once is not made, and then the first decode is the full one.
TEST(PicturePipeline, DecodesAreSizedByTheFilesHeader) {
    TempDir dir;
    const std::string photo = (dir / "photo.jpg").string();
    const std::string other = (dir / "other.jpg").string();
    const std::string large = (dir / "large.jpg").string();
    const Bytes jpeg = EncodeJpeg(GradientBitmap(640, 480, 5));
    WriteFile(photo, jpeg);
    WriteFile(other, jpeg);
    WriteFile(large, EncodeJpeg(GradientBitmap(1280, 960, 5)));
    PictureDecoders decoders = DefaultPictureDecoders();
    std::atomic<int> displayCopies{0};
    std::atomic<int> fullDecodes{0};
    decoders.decodeDisplay = [&displayCopies, display = decoders.decodeDisplay](
                                 const std::string& path, int width, int height,
                                 const CancelFlag& cancel, int& fullWidth, int& fullHeight,
                                 bool& exact) {
        ++displayCopies;
        return display(path, width, height, cancel, fullWidth, fullHeight, exact);
    };
    decoders.decodeFull = [&fullDecodes, full = decoders.decodeFull](const std::string& path,
                                                                     const CancelFlag& cancel) {
        ++fullDecodes;
        return full(path, cancel);
    };
    Results results;
    PicturePipeline::Options options = Threads(2);
    // Room for a copy of 160 x 120 (57,600 bytes) and for the planes of 640 x 480 (460,800
    // bytes), not for those of 1280 x 960.
    options.cacheBytes = 600'000;
    PicturePipeline pipeline(decoders, results.Callback(), options);
    const Bitmap decoded = DecodeJpeg(jpeg);

    // At fit the window shows these pictures at 160 x 120.
    const FitSize fit = [](Size stored, bool) { return Size{stored.width / 4, stored.height / 4}; };
    pipeline.Ahead({photo}, 160, 120, fit);
    pipeline.WaitUntilIdle();
    EXPECT_EQ(displayCopies, 1);
    pipeline.Show(photo, 160, 120);
    auto got = results.WaitFor(2);
    ASSERT_TRUE(got[0].Ok()) << got[0].errorText;
    EXPECT_EQ(got[0].kind, PictureKind::ScreenCopy);
    EXPECT_TRUE(got[0].exact);
    EXPECT_TRUE(got[0].pixels->SamePixels(ReduceForDisplay(decoded, 160, 120)));
    pipeline.WaitUntilIdle();
    EXPECT_EQ(fullDecodes, 1);

    // Zoomed to 400 %: shown at 2560 x 1920, past its own size.
    const FitSize zoomed = [](Size stored, bool) {
        return Size{stored.width * 4, stored.height * 4};
    };
    pipeline.Ahead({other, large}, 2560, 1920, zoomed);
    pipeline.WaitUntilIdle();
    EXPECT_EQ(displayCopies, 1);
    EXPECT_EQ(fullDecodes, 2) << "the planes of 1280 x 960 are over the budget: not made";
    pipeline.Show(other, 2560, 1920);
    got = results.WaitFor(3);
    pipeline.WaitUntilIdle();
    ASSERT_EQ(results.All().size(), 3u);
    ASSERT_TRUE(got[2].Ok()) << got[2].errorText;
    EXPECT_EQ(got[2].kind, PictureKind::Full);
    EXPECT_NE(got[2].pixels->Planes(), nullptr);
    EXPECT_TRUE(got[2].pixels->SamePixels(decoded));
    EXPECT_EQ(fullDecodes, 2) << "answered by the neighbour's decode";

    pipeline.Show(large, 5120, 3840);
    got = results.WaitFor(4);
    pipeline.WaitUntilIdle();
    ASSERT_EQ(results.All().size(), 4u);
    EXPECT_EQ(got[3].kind, PictureKind::Full);
    EXPECT_EQ(fullDecodes, 3);
}

// A large file with restart markers is decoded in stripes on several threads: its screen
// copy and its full picture are byte for byte those of the decode in one piece.
TEST(PicturePipeline, FileWithRestartMarkersDecodesInStripesAsInOnePiece) {
    TempDir dir;
    const std::string path = (dir / "restarts.jpg").string();
    const Bytes jpeg = EncodeJpeg(GradientBitmap(2048, 2064, 7), {.restartRows = 1});
    WriteFile(path, jpeg);
    Results results;
    PicturePipeline pipeline(DefaultPictureDecoders(3), results.Callback(), Threads(2));
    pipeline.Show(path, 300, 300, 2048, 2064);
    const auto got = results.WaitFor(2);
    ASSERT_TRUE(got[0].Ok()) << got[0].errorText;
    ASSERT_TRUE(got[1].Ok()) << got[1].errorText;
    const RegularFile file(path);
    const JpegInfo info = ReadJpegHeader(file);
    EXPECT_EQ(got[0].kind, PictureKind::ScreenCopy);
    EXPECT_TRUE(got[0].pixels->SamePixels(DecodeJpegScaled(file, info, 2)));
    EXPECT_EQ(got[1].kind, PictureKind::Full);
    EXPECT_TRUE(got[1].pixels->SamePixels(DecodeJpeg(jpeg)));
    pipeline.WaitUntilIdle();
}

TEST(PicturePipeline, DestructorCancelsAndJoinsRunningDecodes) {
    TempDir dir;
    const auto paths = Files(dir, 2);
    FakeDecoders fake;
    fake.Hold(paths[0]);
    fake.Hold(paths[1]);
    Results results;
    {
        PicturePipeline pipeline(fake.Bind(), results.Callback(), Threads(2));
        pipeline.Show(paths[0], 400, 300);
        pipeline.Ahead({paths[1]}, 400, 300);
        fake.WaitStarted(paths[0]);
        fake.WaitStarted(paths[1]);
    }
    for (const auto& call : fake.Calls()) {
        EXPECT_TRUE(call.finished);
        EXPECT_TRUE(call.cancelled);
    }
    EXPECT_TRUE(results.All().empty());
}

TEST(PicturePipeline, StandInFromTheFilesOwnPreviewComesFirstAndOnlyWhenItHasThePicturesShape) {
    TempDir dir;
    const auto withThumbnail = [&dir](const std::string& name, int width, int height) {
        ExifBuilder exif;
        exif.Thumbnail(EncodeJpeg(SolidBitmap(160, 120, 40, 200, 30), {.jfif = false}));
        const std::string path = (dir / name).string();
        WriteFile(path, EncodeJpeg(GradientBitmap(width, height),
                                   {.segments = {ExifSegment(exif.Build())}}));
        return path;
    };
    const std::string fitting = withThumbnail("fitting.jpg", 640, 480);
    const std::string letterboxed = withThumbnail("letterboxed.jpg", 600, 400); // 4:3 in 3:2

    // The screen copies wait until the test lets them go. With one worker the stand-in comes
    // only if it is taken before the first decode.
    std::mutex mutex;
    std::condition_variable changed;
    bool go = false;
    PictureDecoders decoders = DefaultPictureDecoders();
    decoders.decodeScaled = [&, scaled = decoders.decodeScaled](
                                const std::string& path, int minWidth, int minHeight,
                                const CancelFlag& cancel, int& fullWidth, int& fullHeight) {
        {
            std::unique_lock lock(mutex);
            while (!go && !cancel.Cancelled())
                changed.wait_for(lock, std::chrono::milliseconds(1));
        }
        return scaled(path, minWidth, minHeight, cancel, fullWidth, fullHeight);
    };
    const auto letGo = [&] {
        {
            const std::lock_guard lock(mutex);
            go = true;
        }
        changed.notify_all();
    };
    Results results;
    PicturePipeline pipeline(std::move(decoders), results.Callback(), Threads(1));
    const auto kinds = [&results] {
        std::vector<PictureKind> got;
        for (const PictureResult& r : results.All())
            got.push_back(r.kind);
        return got;
    };

    const std::uint64_t request = pipeline.Show(fitting, 320, 240, 640, 480);
    const PictureResult standIn = results.WaitFor(1).front();
    letGo();
    pipeline.WaitUntilIdle();
    ASSERT_TRUE(standIn.Ok());
    EXPECT_EQ(standIn.kind, PictureKind::StandIn);
    EXPECT_EQ(standIn.request, request);
    EXPECT_EQ(standIn.pixels->Width(), 160); // the thumbnail, decoded whole
    EXPECT_EQ(standIn.pixels->Height(), 120);
    EXPECT_EQ(standIn.fullWidth, 640);
    EXPECT_EQ(standIn.fullHeight, 480);
    EXPECT_EQ(kinds(),
              (std::vector{PictureKind::StandIn, PictureKind::ScreenCopy, PictureKind::Full}));

    results.Clear();
    pipeline.Show(letterboxed, 300, 200, 600, 400);
    pipeline.WaitUntilIdle();
    EXPECT_EQ(kinds(), (std::vector{PictureKind::ScreenCopy, PictureKind::Full}));

    // A picture decoded ahead is shown from its kept copy at once: no stand-in before it.
    results.Clear();
    pipeline.Ahead({fitting}, 300, 200);
    pipeline.WaitUntilIdle();
    pipeline.Show(fitting, 300, 200, 640, 480);
    pipeline.WaitUntilIdle();
    EXPECT_EQ(kinds(), (std::vector{PictureKind::ScreenCopy, PictureKind::Full}));
}

// The first picture's copy decoded as the program starts (EarlyDecode) is the first decode
// of its Show, not decoded again, and marked for the window to keep what it draws from it
// when the full picture follows: the picture at fit does not change once it is there.
TEST(PicturePipeline, EarlyDecodeOfTheFirstPictureIsAdoptedAndKeptAtFit) {
    TempDir dir;
    const auto paths = Files(dir, 1);
    FakeDecoders fake;
    PictureDecoders decoders = fake.Bind();
    decoders.readFacts = [](const std::string&) {
        return PictureFacts{FakeDecoders::kWidth, FakeDecoders::kHeight};
    };
    const Size shown{400, 300};
    auto early = std::make_unique<EarlyDecode>(decoders, paths[0]);
    early->Aim([shown](Size, bool) { return shown; });
    Results results;
    PicturePipeline pipeline(decoders, results.Callback());
    pipeline.Seed(std::move(early));

    const std::uint64_t request = pipeline.Show(paths[0], shown.width, shown.height,
                                                FakeDecoders::kWidth, FakeDecoders::kHeight);
    results.WaitFor(2);
    pipeline.WaitUntilIdle();
    const auto got = results.All();
    ASSERT_EQ(got.size(), 2u);
    EXPECT_EQ(got[0].request, request);
    EXPECT_EQ(got[0].kind, PictureKind::ScreenCopy);
    EXPECT_TRUE(got[0].keepDrawn);
    EXPECT_EQ(got[0].pixels->Width(), shown.width);
    EXPECT_EQ(got[0].fullWidth, FakeDecoders::kWidth);
    EXPECT_EQ(got[1].kind, PictureKind::Full);
    EXPECT_FALSE(got[1].keepDrawn);
    const auto calls = fake.Calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const auto& c) { return !c.full; }), 1);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(), [](const auto& c) { return c.full; }), 1);
}

// An early decode that missed (the window shows another file first, or the picture larger than
// it aimed at) is not shown: the other file's decode cancels it, and a copy too small is
// decoded again at the size shown.
TEST(PicturePipeline, EarlyDecodeForAnotherFileOrSizeIsNotAdopted) {
    TempDir dir;
    const auto paths = Files(dir, 2);
    FakeDecoders fake;
    PictureDecoders decoders = fake.Bind();
    decoders.readFacts = [](const std::string&) {
        return PictureFacts{FakeDecoders::kWidth, FakeDecoders::kHeight};
    };
    const auto aimAt = [](Size size) { return [size](Size, bool) { return size; }; };
    {
        fake.Hold(paths[0]);
        auto early = std::make_unique<EarlyDecode>(decoders, paths[0]);
        early->Aim(aimAt({400, 300}));
        fake.WaitStarted(paths[0]);
        Results results;
        PicturePipeline pipeline(decoders, results.Callback());
        pipeline.Seed(std::move(early));
        pipeline.Show(paths[1], 400, 300);
        results.WaitFor(2);
        pipeline.WaitUntilIdle();
        for (const PictureResult& r : results.All())
            EXPECT_EQ(r.path, paths[1]);
    }
    const auto calls = fake.Calls();
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls[0].path, paths[0]);
    EXPECT_TRUE(calls[0].finished && calls[0].cancelled);
    auto early = std::make_unique<EarlyDecode>(decoders, paths[1]);
    early->Aim(aimAt({200, 150}));
    Results results;
    PicturePipeline pipeline(decoders, results.Callback());
    pipeline.Seed(std::move(early));
    pipeline.Show(paths[1], 400, 300);
    const auto got = results.WaitFor(1);
    EXPECT_EQ(got[0].pixels->Width(), 400);
    EXPECT_FALSE(got[0].keepDrawn);
}

// The decode started before the screen's pixel ratio is known, for a guess of the size, is
// made again only when its copy does not reach the size then aimed at.
TEST(EarlyDecode, DecodesAgainOnlyWhenTheGuessedCopyDoesNotReachTheAim) {
    TempDir dir;
    const auto paths = Files(dir, 2);
    FakeDecoders fake;
    PictureDecoders decoders = fake.Bind();
    decoders.readFacts = [](const std::string&) {
        return PictureFacts{FakeDecoders::kWidth, FakeDecoders::kHeight};
    };
    const auto at = [](Size size) { return [size](Size, bool) { return size; }; };
    EarlyDecode reaching(decoders, paths[0], at({800, 600}));
    reaching.Aim(at({400, 300}));
    EarlyDecode tooSmall(decoders, paths[1], at({400, 300}));
    tooSmall.Aim(at({800, 600}));
    const auto reached = reaching.Take(CancelFlag());
    const auto again = tooSmall.Take(CancelFlag());
    ASSERT_TRUE(reached && again);
    EXPECT_EQ(reached->pixels.Width(), 800);
    EXPECT_EQ(again->pixels.Width(), 800);
    const auto calls = fake.Calls();
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [&](const auto& c) { return c.path == paths[0]; }),
              1);
    EXPECT_EQ(std::count_if(calls.begin(), calls.end(),
                            [&](const auto& c) { return c.path == paths[1]; }),
              2);
}
