#include "pictures/EarlyDecode.h"

#include "pictures/DecodePlanner.h"

#include <algorithm>
#include <chrono>

namespace tessaly {

EarlyDecode::EarlyDecode(PictureDecoders decoders, std::string path, FitSize guess)
    : decoders_(std::move(decoders)), path_(std::move(path)), guess_(std::move(guess)),
      thread_([this] { Run(); }) {}

EarlyDecode::~EarlyDecode() {
    Cancel();
    thread_.join();
}

void EarlyDecode::Aim(FitSize shownSize) {
    {
        const std::lock_guard lock(mutex_);
        if (aimed_)
            return;
        shownSize_ = std::move(shownSize);
        aimed_ = true;
    }
    changed_.notify_all();
}

void EarlyDecode::Cancel() {
    {
        const std::lock_guard lock(mutex_); // a waiter has checked, or sees the flag
        cancel_.Cancel();
    }
    changed_.notify_all();
}

std::optional<EarlyDecode::Copy> EarlyDecode::Take(const CancelFlag& cancel) {
    std::unique_lock lock(mutex_);
    // The taker's flag is polled: it is set by whoever cancels the taker, not by this class.
    while (!done_ && !cancel.Cancelled())
        changed_.wait_for(lock, std::chrono::milliseconds(2));
    if (!done_ || cancel.Cancelled())
        return std::nullopt;
    std::optional<Copy> copy = std::move(copy_);
    copy_.reset();
    return copy;
}

bool EarlyDecode::WaitForAim() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return aimed_ || cancel_.Cancelled(); });
    return !cancel_.Cancelled();
}

Size EarlyDecode::SizeFor(const PictureFacts& facts, const FitSize& shownSize) {
    const Size size = shownSize({facts.width, facts.height}, facts.turned);
    return {std::max(size.width, 1), std::max(size.height, 1)};
}

std::optional<Bitmap> EarlyDecode::Decode(const PictureFacts& facts, const FitSize& shownSize) {
    const Size size = SizeFor(facts, shownSize);
    // Shown at full size or larger, the first decode is the full picture: the pipeline's to
    // make, as it keeps it.
    if (FirstDecodeIsFull(facts.width, facts.height, size.width, size.height))
        return std::nullopt;
    int fullWidth = 0;
    int fullHeight = 0;
    Bitmap scaled =
        decoders_.decodeScaled(path_, size.width, size.height, cancel_, fullWidth, fullHeight);
    cancel_.ThrowIfCancelled();
    return scaled;
}

void EarlyDecode::Run() {
    std::optional<Copy> made;
    try {
        if (decoders_.readFacts) {
            const FileIdentity identity = IdentifyFile(path_);
            const PictureFacts facts = decoders_.readFacts(path_);
            if (facts.width >= 1 && facts.height >= 1) {
                // Decoded at the size guessed before the aim is known, and again only when the
                // copy does not reach the size aimed at.
                std::optional<Bitmap> scaled;
                if (guess_)
                    scaled = Decode(facts, guess_);
                if (WaitForAim()) {
                    const Size aim = SizeFor(facts, shownSize_);
                    if (!scaled || scaled->Width() < aim.width || scaled->Height() < aim.height)
                        scaled = Decode(facts, shownSize_);
                    if (scaled && IdentifyFile(path_) == identity)
                        made = Copy{identity, facts, std::move(*scaled)};
                }
            }
        }
    } catch (...) {
        // Nothing: the pipeline decodes the file itself and reports what is wrong with it.
        made.reset();
    }
    {
        const std::lock_guard lock(mutex_);
        copy_ = std::move(made);
        done_ = true;
    }
    changed_.notify_all();
}

} // namespace tessaly
