// The screen copies (and the errors of files that failed) the picture pipeline keeps for a
// later Show, under a byte budget, with the policy of which are worth keeping.
//
// Worth: the current picture's copy most, then the neighbours in the order they are wanted,
// then copies nobody asks for now, the least recently asked for least. Over the budget the
// copies worth least are dropped first; a copy that would not fit beside the copies worth at
// least as much is not kept at all, so a new copy never drops one worth more than itself.
// Dropped pixels are only let go of: the pixel ledger frees them off every lock.
#pragma once

#include "picture/DecodedPicture.h"
#include "pictures/FileIdentity.h"
#include "pictures/PictureResult.h"

#include <cstddef>
#include <cstdint>
#include <exception>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

namespace tessaly {

// A kept screen copy or error, as its decode gave it.
struct KeptCopy {
    std::shared_ptr<const DecodedPicture> pixels; // null for an error
    int fullWidth = 0;                            // the picture's own size
    int fullHeight = 0;
    bool exact = false; // a display copy (see PictureResult::exact)
    std::exception_ptr error;
    std::string errorText;
    PictureErrorType errorType = PictureErrorType::None;
    FileIdentity identity;
    int madeForWidth = 0; // the size asked for when it was decoded
    int madeForHeight = 0;
    bool reusable = true; // false: the file changed while it was decoded

    // It answers a request for width x height: its pixels reach that size, or it is the
    // picture at full size, or an error.
    bool Covers(int width, int height) const;
    // It was made for (or answers) the neighbours' request of that size.
    bool CoversAhead(int width, int height) const;
    // What it costs the budget: its pixels and a fixed share for the entry, so errors count too.
    std::size_t Bytes() const;
};

class CopyCache {
public:
    // What an entry costs beyond its pixels.
    static constexpr std::size_t kEntryBytes = 4096;

    explicit CopyCache(std::size_t budget) : budget_(budget) {}

    std::size_t Budget() const { return budget_; }
    // Bytes of the kept copies, entries included, and of their pixels alone.
    std::size_t Bytes() const { return bytes_; }
    std::uint64_t PixelBytes() const;

    // The copy kept for `path`, or nullptr.
    const KeptCopy* Find(const std::string& path) const;
    // The pictures wanted now: the current one and the neighbours, most wanted first.
    void SetWanted(std::string current, std::vector<std::string> ahead);
    // `path` was asked for now.
    void Touch(const std::string& path);
    // Keeps the copy, replacing the one kept for the path, and drops those worth least while
    // over the budget. False when the copy was not kept (it would not fit beside the copies
    // worth at least as much).
    bool Keep(const std::string& path, KeptCopy copy);
    // Lets go of the copy kept for `path`, if any (it is now held elsewhere).
    void Forget(const std::string& path);
    // Lets go of every copy.
    void Clear();
    // Bytes of the kept copies (of other paths) worth at least as much as a new copy of `path`.
    std::size_t BytesWorthAtLeast(const std::string& path) const;

private:
    struct Entry {
        KeptCopy copy;
        std::size_t bytes = 0;
        std::uint64_t lastUse = 0;
    };
    std::uint64_t Worth(const std::string& path, std::uint64_t lastUse) const;
    void Drop(std::unordered_map<std::string, Entry>::iterator at);

    const std::size_t budget_;
    std::unordered_map<std::string, Entry> entries_;
    std::size_t bytes_ = 0;
    std::uint64_t clock_ = 0;
    std::string current_;
    std::vector<std::string> ahead_;
};

} // namespace tessaly
