#include "pictures/DecodePlanner.h"

#include "jpeg/JpegDecoder.h"
#include "picture/Bitmap.h"

#include <algorithm>

namespace tessaly {

namespace {

using Kind = DecodeJob::Kind;
using Action = DecodePlan::Action;

std::uint64_t BitmapBytes(int width, int height) {
    return Bitmap::StrideFor(std::max(width, 1)) * static_cast<std::uint64_t>(std::max(height, 1));
}

int EighthsFor(int pictureWidth, int pictureHeight, int width, int height) {
    JpegInfo info;
    info.width = pictureWidth;
    info.height = pictureHeight;
    return ScaleEighthsFor(info, width, height);
}

// Bytes of what decodeScaled gives for a picture of `facts` asked for at width x height.
std::uint64_t ScaledBytes(const PictureFacts& facts, int width, int height) {
    const int eighths = EighthsFor(facts.width, facts.height, width, height);
    return BitmapBytes(ScaledDimension(facts.width, eighths),
                       ScaledDimension(facts.height, eighths));
}

bool ForCurrent(const PlannerView& view, const RunningDecode& running) {
    return view.requests.IsCurrent(running.job.path);
}

// Something kept (the full picture, or a copy as it was read) may answer the first decode.
bool KeptFor(const PlannerView& view, const std::string& path, int width, int height) {
    if (view.memory.fullBytes > 0 && view.fullPath == path)
        return true;
    const KeptCopy* kept = view.copies.Find(path);
    return kept && kept->reusable && kept->Covers(width, height);
}

// Bytes held now by the running decodes of the current picture (and of other pictures, when
// asked), the kept full picture (when asked) and the pixels held elsewhere or being freed.
std::uint64_t BytesInUse(const PlannerView& view, bool withFull, bool withOthers) {
    std::uint64_t bytes = view.memory.heldBytes;
    if (withFull)
        bytes += view.memory.fullBytes;
    for (const RunningDecode& r : view.running)
        if (withOthers || ForCurrent(view, r))
            bytes += r.bytes;
    return bytes;
}

// Bytes of the picture at full size in the form it is kept in.
std::uint64_t KeptBytes(const PictureFacts& facts) {
    return facts.keptBytes > 0 ? facts.keptBytes : BitmapBytes(facts.width, facts.height);
}

const PictureFacts* FactsOf(const PlannerView& view, const std::string& path) {
    const auto known = view.facts.find(path);
    return known == view.facts.end() ? nullptr : &known->second.facts;
}

// The size and bytes of a decode from the file's facts, before memory is considered.
DecodePlan Cost(const PlannerView& view, const DecodeJob& job, const PictureFacts& facts) {
    DecodePlan plan;
    plan.width = job.minWidth;
    plan.height = job.minHeight;
    std::uint64_t pixels = 0;
    switch (job.kind) {
    case Kind::StandIn: {
        // The preview may cost at most what the screen copy it stands in for costs.
        DecodeJob first = job;
        first.kind = Kind::First;
        plan.bytes = Cost(view, first, facts).bytes;
        return plan;
    }
    case Kind::Full:
        pixels = KeptBytes(facts);
        break;
    case Kind::First:
        plan.full = FirstDecodeIsFull(facts.width, facts.height, job.minWidth, job.minHeight);
        pixels = plan.full ? KeptBytes(facts) : ScaledBytes(facts, job.minWidth, job.minHeight);
        break;
    case Kind::Neighbour: {
        if (view.requests.aheadFit) {
            // Its own shown size (its shape, its orientation, the kept zoom), not the current
            // picture's: a portrait neighbour of a landscape picture keeps its shape, and its
            // copy answers its first decode.
            const Size shown = view.requests.aheadFit({facts.width, facts.height}, facts.turned);
            plan.width = std::max(shown.width, 1);
            plan.height = std::max(shown.height, 1);
        }
        // Shown at full size or larger (zoomed in), its first decode is the picture itself,
        // made as the full picture is kept (planes take half the bytes of 24-bit pixels), so
        // that it answers the first decode and the full one at once; within the copy budget
        // only (below).
        plan.full = FirstDecodeIsFull(facts.width, facts.height, plan.width, plan.height);
        if (plan.full) {
            plan.width = facts.width;
            plan.height = facts.height;
            pixels = KeptBytes(facts);
            break;
        }
        const bool exact = view.abilities.display &&
                           IsDisplayReduction(plan.width, plan.height, facts.width, facts.height);
        pixels = exact ? BitmapBytes(plan.width, plan.height)
                       : ScaledBytes(facts, plan.width, plan.height);
        break;
    }
    }
    plan.bytes = facts.bufferBytes + pixels;
    if (job.kind == Kind::Neighbour) {
        // A copy the budget would drop at once, or a decode that cannot fit beside the kept
        // full picture, is not made.
        if (CopyCache::kEntryBytes + pixels + view.copies.BytesWorthAtLeast(job.path) >
                view.copies.Budget() ||
            plan.bytes + view.memory.fullBytes > view.memory.limit)
            plan.action = Action::Skip;
    }
    return plan;
}

// A running decode that the current requests no longer want. A decode for the shown picture
// is kept when it will do: its full decode, its stand-in before anything else came, a copy
// that reaches the shown size; a neighbour's copy while it is still a neighbour.
bool Unwanted(const PlannerView& view, const RunningDecode& r) {
    const DecodeRequests& q = view.requests;
    if (q.IsCurrent(r.job.path)) {
        const DecodeRequests::Current& c = *q.current;
        switch (r.job.kind) {
        case Kind::Full:
            return false;
        case Kind::StandIn:
            return c.firstDelivered;
        case Kind::First:
        case Kind::Neighbour:
            if (r.reachWidth >= c.width && r.reachHeight >= c.height)
                return false;
            break;
        }
    }
    return !(r.job.IsCopy() && q.IsAhead(r.job.path));
}

} // namespace

bool DecodeRequests::IsAhead(const std::string& path) const {
    return std::find(ahead.begin(), ahead.end(), path) != ahead.end();
}

bool FirstDecodeIsFull(int pictureWidth, int pictureHeight, int width, int height) {
    return EighthsFor(pictureWidth, pictureHeight, width, height) == 8;
}

std::vector<DecodeJob> WantedJobs(const PlannerView& view) {
    const DecodeRequests& q = view.requests;
    std::vector<DecodeJob> jobs;
    // A copy under way for the path that reaches the size (asked for the size, when a
    // neighbour's request is checked).
    const auto runningCopy = [&](const std::string& path, int width, int height, bool asked) {
        return std::any_of(view.running.begin(), view.running.end(), [&](const RunningDecode& r) {
            return r.job.path == path && r.job.IsCopy() && !r.cancel.Cancelled() &&
                   (asked ? r.job.minWidth : r.reachWidth) >= width &&
                   (asked ? r.job.minHeight : r.reachHeight) >= height;
        });
    };
    const auto running = [&](const std::string& path, Kind kind) {
        return std::any_of(view.running.begin(), view.running.end(), [&](const RunningDecode& r) {
            return r.job.path == path && r.job.kind == kind && !r.cancel.Cancelled();
        });
    };
    if (q.current) {
        const DecodeRequests::Current& c = *q.current;
        const bool firstRunning = runningCopy(c.path, c.width, c.height, false);
        if (view.abilities.preview && !c.seeded && !c.standInTried && !c.firstDelivered &&
            !KeptFor(view, c.path, c.width, c.height) && !running(c.path, Kind::StandIn))
            jobs.push_back({Kind::StandIn, c.path, c.width, c.height});
        if (!c.firstDelivered && !firstRunning)
            jobs.push_back({Kind::First, c.path, c.width, c.height});
        // The full decode follows the first one or, when the first is known to be a reduced
        // copy, runs beside it on another worker once the first is under way: the sharp
        // picture then comes one full decode after the request, not after the screen copy
        // and the full decode one after the other. A first decode at full size is never
        // doubled, and one that takes every core is left to itself.
        // With readFacts, the first decode has read them before the full decode joins it.
        // An early decode (seeded) is left the cores it shares with the starting window.
        const PictureFacts* facts = FactsOf(view, c.path);
        const bool beside = !c.seeded && (!view.abilities.facts || (facts && !facts->everyCore));
        if (!c.fullDelivered && (c.firstDelivered || (firstRunning && c.reduced && beside)) &&
            !running(c.path, Kind::Full))
            jobs.push_back({Kind::Full, c.path, 0, 0});
    }
    for (const std::string& path : q.ahead) {
        if (q.IsCurrent(path) || q.aheadTried.contains(path))
            continue;
        const KeptCopy* kept = view.copies.Find(path);
        if (kept && kept->CoversAhead(q.aheadWidth, q.aheadHeight))
            continue;
        if (runningCopy(path, q.aheadWidth, q.aheadHeight, true))
            continue;
        if (std::any_of(jobs.begin(), jobs.end(),
                        [&](const DecodeJob& j) { return j.path == path; }))
            continue; // named twice
        jobs.push_back({Kind::Neighbour, path, q.aheadWidth, q.aheadHeight});
    }
    return jobs;
}

DecodePlan PlanOf(const PlannerView& view, const DecodeJob& job) {
    const PictureFacts* facts = FactsOf(view, job.path);
    DecodePlan plan;
    plan.width = job.minWidth;
    plan.height = job.minHeight;
    if (facts && facts->width >= 1 && facts->height >= 1)
        plan = Cost(view, job, *facts);
    else if (job.kind == Kind::StandIn)
        plan.bytes = view.copies.Budget(); // unknown facts: a preview of a copy's size at most
    else
        return plan; // the decoder says what is wrong with the file, or decodes as asked
    // A decode starts only while everything held stays within the limit, or when nothing
    // else holds memory. The current picture's own full picture is the one its decodes
    // replace: not counted for them.
    const bool current = job.kind != Kind::Neighbour;
    const std::uint64_t inUse = BytesInUse(view, !current, true);
    if (plan.action == Action::Run && inUse > 0 && inUse + plan.bytes > view.memory.limit)
        plan.action = Action::Wait;
    return plan;
}

DecodeDecision PlanNext(const PlannerView& view) {
    DecodeDecision decision;
    for (const RunningDecode& r : view.running)
        if (!r.cancel.Cancelled() && Unwanted(view, r))
            decision.cancel.push_back(&r);

    std::vector<DecodeJob> jobs = WantedJobs(view);
    // A full-size decode waits until what was let go of has been freed and no other full-size
    // decode runs (one no longer wanted ends at its decoder's next poll of the cancel flag),
    // so that two full pictures never take memory at once, even on two workers.
    const bool fullRunning =
        std::any_of(view.running.begin(), view.running.end(),
                    [](const RunningDecode& r) { return r.job.kind == Kind::Full; });
    const auto full = [](const DecodeJob& j) { return j.kind == Kind::Full; };
    if ((fullRunning || view.memory.freeing) && std::any_of(jobs.begin(), jobs.end(), full)) {
        decision.waitsForMemory = view.memory.freeing;
        std::erase_if(jobs, full);
    }
    // Jobs whose plan is to wait are held back; for the current picture's, the running
    // neighbours in their way are cancelled when that makes room.
    for (const DecodeJob& job : jobs) {
        const DecodePlan plan = PlanOf(view, job);
        if (plan.action != Action::Wait) {
            if (!decision.start)
                decision.start = job;
            continue;
        }
        decision.waitsForMemory = true;
        if (job.kind == Kind::Neighbour ||
            BytesInUse(view, false, false) + plan.bytes > view.memory.limit)
            continue; // waits for the current picture's own decodes or for freeing
        for (const RunningDecode& r : view.running)
            if (!ForCurrent(view, r) && r.bytes > 0 && !r.cancel.Cancelled() &&
                std::find(decision.cancel.begin(), decision.cancel.end(), &r) ==
                    decision.cancel.end())
                decision.cancel.push_back(&r);
    }
    return decision;
}

} // namespace tessaly
