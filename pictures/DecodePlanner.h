// The picture pipeline's planner: which decode a free worker starts next and which running
// decodes are to be cancelled, as a pure function of the pipeline's books (the requests, the
// files' header facts, the running decodes, the pixel ledger's count and the kept copies).
// It runs no decode, takes no lock and starts no thread: the pipeline asks it under its lock
// and does what it says. The rules it follows are those of PicturePipeline.h (Work, Memory,
// Sizes).
#pragma once

#include "pictures/CopyCache.h"
#include "pictures/FileIdentity.h"
#include "pictures/PictureDecoders.h"
#include "pictures/PictureResult.h"

#include <cstdint>
#include <list>
#include <optional>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace tessaly {

struct DecodeJob {
    enum class Kind { StandIn, First, Full, Neighbour } kind = Kind::First;
    std::string path;
    int minWidth = 0; // the size asked for (0 x 0 for a full decode)
    int minHeight = 0;

    bool operator==(const DecodeJob&) const = default;
    // A screen copy's decode (the current picture's first, or a neighbour's).
    bool IsCopy() const { return kind == Kind::First || kind == Kind::Neighbour; }
};

// How a job is to be done, from its file's facts.
struct DecodePlan {
    enum class Action { Run, Wait, Skip } action = Action::Run;
    std::uint64_t bytes = 0; // what the decode holds at its peak
    int width = 0;           // the size decoded for (a neighbour's may be below the request)
    int height = 0;
    bool full = false; // decoded at full size through decodeFull
};

struct RunningDecode {
    explicit RunningDecode(DecodeJob j)
        : job(std::move(j)), reachWidth(job.minWidth), reachHeight(job.minHeight) {}
    DecodeJob job;
    CancelFlag cancel;
    std::uint64_t bytes = 0; // what it holds at its peak, once planned
    // The size its copy reaches: a neighbour's may stay below the size asked for.
    int reachWidth;
    int reachHeight;
};

struct KnownFacts {
    FileIdentity identity;
    PictureFacts facts;
};

// What the GUI thread asked for.
struct DecodeRequests {
    struct Current {
        std::string path;
        int width = 0; // the shown size
        int height = 0;
        bool reduced = false; // the first decode is known to be a reduced copy
        // An early decode makes its first copy (PicturePipeline::Seed): no stand-in before it,
        // and the full decode waits for it.
        bool seeded = false;
        bool standInTried = false;
        bool firstDelivered = false;
        bool fullDelivered = false;
    };
    std::optional<Current> current;
    std::vector<std::string> ahead; // most wanted first
    int aheadWidth = 0;
    int aheadHeight = 0;
    FitSize aheadFit;
    // Neighbours decoded (or failed, or skipped) since the last Ahead(): not tried again.
    std::unordered_set<std::string> aheadTried;

    bool IsCurrent(const std::string& path) const { return current && current->path == path; }
    bool IsAhead(const std::string& path) const;
};

// The memory the planner plans with, besides the running decodes'.
struct DecodeMemory {
    std::uint64_t limit = 0; // what decodes and held pixels may take together
    // Pixels alive (the ledger's count) that neither the copy cache nor the kept full
    // picture holds: results not yet let go of, pictures waiting to be freed.
    std::uint64_t heldBytes = 0;
    std::uint64_t fullBytes = 0; // the kept full picture's (the current picture's)
    bool freeing = false;        // pixels let go of are being freed now
};

struct DecoderAbilities {
    bool preview = false; // decodePreview
    bool display = false; // decodeDisplay
    bool facts = false;   // readFacts
};

// Everything the planner reads; references into the pipeline's own books.
struct PlannerView {
    const DecodeRequests& requests;
    const std::unordered_map<std::string, KnownFacts>& facts;
    const std::list<RunningDecode>& running;
    const CopyCache& copies;
    const std::string& fullPath; // whose full picture is kept; empty for none
    DecodeMemory memory;
    DecoderAbilities abilities;
};

struct DecodeDecision {
    std::optional<DecodeJob> start;           // the job a free worker starts now
    std::vector<const RunningDecode*> cancel; // running decodes to cancel
    // Work is wanted but waits for memory that only freeing (or a running decode) can give.
    bool waitsForMemory = false;
};

// The work wanted now and neither done nor under way, most urgent first.
std::vector<DecodeJob> WantedJobs(const PlannerView& view);
// What the job costs and whether it can start now; Run at the size asked when the file's
// facts are unknown.
DecodePlan PlanOf(const PlannerView& view, const DecodeJob& job);
// The next job to start and the decodes to cancel.
DecodeDecision PlanNext(const PlannerView& view);

// The first decode of a picture of pictureWidth x pictureHeight shown at width x height is
// the picture at full size: libjpeg's smallest scale that reaches the shown size is 8/8.
bool FirstDecodeIsFull(int pictureWidth, int pictureHeight, int width, int height);

} // namespace tessaly
