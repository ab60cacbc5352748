#include "pictures/DecodePlanner.h"

#include <gtest/gtest.h>

using namespace tessaly;

namespace {

using Kind = DecodeJob::Kind;
using Action = DecodePlan::Action;

constexpr std::uint64_t kLimit = 100'000'000;

// The pipeline's books, filled by each test, and the planner's view of them.
struct Books {
    DecodeRequests requests;
    std::unordered_map<std::string, KnownFacts> facts;
    std::list<RunningDecode> running;
    CopyCache copies{std::size_t{48} << 20};
    std::string fullPath;
    DecodeMemory memory{kLimit, 0, 0, false};

    PlannerView View() const {
        return {requests, facts, running, copies, fullPath, memory, {true, true, true}};
    }
    void Shown(const std::string& path, int width, int height) {
        requests.current = DecodeRequests::Current{path, width, height, true};
    }
    // A 4000 x 3000 picture holding `buffer` bytes of coefficients while it decodes.
    void Facts(const std::string& path, std::uint64_t buffer = 0) {
        facts[path] = KnownFacts{{}, PictureFacts{4000, 3000, buffer}};
    }
    RunningDecode& Running(Kind kind, const std::string& path, int width, int height,
                           std::uint64_t bytes) {
        RunningDecode& r = running.emplace_back(DecodeJob{kind, path, width, height});
        r.bytes = bytes;
        return r;
    }
};

bool Cancels(const DecodeDecision& decision, const RunningDecode& r) {
    return std::find(decision.cancel.begin(), decision.cancel.end(), &r) != decision.cancel.end();
}

} // namespace

// Shown at a size between 7/8 and 8/8 of the picture, libjpeg's scales reach it only at 8/8:
// the first decode is the full decode, in the form the picture is kept in, and the full decode
// does not start beside it as if it were a reduced copy.
TEST(DecodePlanner, FirstDecodeAtAShownSizeAboveSevenEighthsIsTheFullDecode) {
    EXPECT_TRUE(FirstDecodeIsFull(4000, 3000, 3600, 2700));
    EXPECT_FALSE(FirstDecodeIsFull(4000, 3000, 3500, 2625));
    Books books;
    books.Shown("a", 3600, 2700);
    books.Facts("a");
    const DecodePlan plan = PlanOf(books.View(), {Kind::First, "a", 3600, 2700});
    EXPECT_TRUE(plan.full);
    EXPECT_EQ(plan.bytes, std::uint64_t{4000} * 3 * 3000);
}

// Pixels held outside the pipeline (a result not yet taken, a picture being freed) count:
// the full decode that would not fit beside them waits, and with nothing running the planner
// says that only freeing can let it start.
TEST(DecodePlanner, PixelsHeldElsewhereMakeTheFullDecodeWaitForTheirFreeing) {
    Books books;
    books.Shown("a", 400, 300);
    books.requests.current->firstDelivered = true;
    books.Facts("a", 30'000'000);
    books.memory.heldBytes = 36'000'000; // the previous picture's full pixels
    DecodeDecision decision = PlanNext(books.View());
    EXPECT_FALSE(decision.start);
    EXPECT_TRUE(decision.waitsForMemory);

    books.memory.heldBytes = 0;
    books.memory.freeing = true; // let go of, not yet freed
    decision = PlanNext(books.View());
    EXPECT_FALSE(decision.start);
    EXPECT_TRUE(decision.waitsForMemory);

    books.memory.freeing = false;
    decision = PlanNext(books.View());
    ASSERT_TRUE(decision.start);
    EXPECT_EQ(decision.start->kind, Kind::Full);
}

// The shown picture's decode goes first: a neighbour's decode in its way is cancelled; a
// running decode of the shown picture is kept only at a size that will do, a neighbour's only
// while it is still a neighbour.
TEST(DecodePlanner, CancelsWhatIsInTheCurrentPicturesWayOrNoLongerWanted) {
    Books books;
    books.Shown("a", 800, 600);
    books.Facts("a", 60'000'000);
    books.requests.ahead = {"b"};
    RunningDecode& neighbour = books.Running(Kind::Neighbour, "b", 800, 600, 60'000'000);
    const RunningDecode& stale = books.Running(Kind::Neighbour, "c", 800, 600, 1'000);
    DecodeDecision decision = PlanNext(books.View());
    EXPECT_FALSE(decision.start);
    EXPECT_TRUE(Cancels(decision, neighbour));
    EXPECT_TRUE(Cancels(decision, stale));

    Books shown;
    shown.Shown("a", 800, 600);
    const RunningDecode& small = shown.Running(Kind::First, "a", 400, 300, 1'000);
    const RunningDecode& large = shown.Running(Kind::Neighbour, "a", 1000, 750, 1'000);
    const RunningDecode& full = shown.Running(Kind::Full, "a", 0, 0, 1'000);
    decision = PlanNext(shown.View());
    EXPECT_TRUE(Cancels(decision, small));
    EXPECT_FALSE(Cancels(decision, large));
    EXPECT_FALSE(Cancels(decision, full));
}

// The file's own preview is planned like the other decodes: it may cost what the screen copy
// it stands in for costs (the limit the decoder is given), and it waits when that does not fit.
TEST(DecodePlanner, StandInCostsAtMostTheScreenCopyAndWaitsForRoom) {
    Books books;
    books.Shown("a", 500, 375);
    books.Facts("a", 50'000'000);
    const DecodePlan first = PlanOf(books.View(), {Kind::First, "a", 500, 375});
    DecodePlan standIn = PlanOf(books.View(), {Kind::StandIn, "a", 500, 375});
    EXPECT_EQ(first.bytes, 50'000'000u + 500 * 3 * 375);
    EXPECT_EQ(standIn.bytes, first.bytes);
    EXPECT_EQ(standIn.action, Action::Run);
    books.memory.heldBytes = 60'000'000;
    standIn = PlanOf(books.View(), {Kind::StandIn, "a", 500, 375});
    EXPECT_EQ(standIn.action, Action::Wait);
}

// A neighbour is planned at its own shown size: beside a wide panorama shown at 600 x 200, a
// 4:3 neighbour fitted to the same 600 x 400 area is decoded for 533 x 400, not squeezed
// into the panorama's 600 x 200 (a copy of the wrong shape, decoded again when shown).
TEST(DecodePlanner, NeighbourIsPlannedAtItsOwnShownSize) {
    Books books;
    books.Shown("wide", 600, 200);
    books.requests.ahead = {"b"};
    books.requests.aheadWidth = 600;
    books.requests.aheadHeight = 200;
    books.requests.aheadFit = [](Size stored, bool) {
        return stored.width * 400 > stored.height * 600
                   ? Size{600, stored.height * 600 / stored.width}
                   : Size{stored.width * 400 / stored.height, 400};
    };
    books.Facts("b");
    const DecodePlan plan = PlanOf(books.View(), {Kind::Neighbour, "b", 600, 200});
    EXPECT_EQ(plan.width, 533);
    EXPECT_EQ(plan.height, 400);
}

// The picture an early decode makes the first copy of has no stand-in before that copy, and
// its full decode waits for it, leaving the cores to the early decode and the starting window;
// unseeded, the stand-in comes first and the full decode runs beside the first.
TEST(DecodePlanner, SeededPictureHasNoStandInAndItsFullDecodeFollowsTheFirst) {
    Books books;
    books.Shown("a", 400, 300);
    books.Facts("a");
    const auto kinds = [&books] {
        std::vector<Kind> wanted;
        for (const DecodeJob& job : WantedJobs(books.View()))
            wanted.push_back(job.kind);
        return wanted;
    };
    EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::StandIn, Kind::First}));
    books.Running(Kind::First, "a", 400, 300, 1'000'000);
    EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::StandIn, Kind::Full}));

    books.requests.current->seeded = true;
    EXPECT_TRUE(kinds().empty());
    books.requests.current->firstDelivered = true;
    books.running.clear();
    EXPECT_EQ(kinds(), (std::vector<Kind>{Kind::Full}));
}
