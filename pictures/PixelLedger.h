// The pixel ledger: the bytes of every picture the pipeline has handed out, counted from the
// moment the pixels are made until the moment their memory is really freed.
//
// Pixels are adopted into shared pointers whose deleter does not free them where the last
// holder lets go (the GUI thread, or a worker under the pipeline's lock): it hands them to
// the ledger's own thread, the reaper, which frees them holding no lock, subtracts their
// bytes, and then calls `onFreed` (holding no lock either), so that whoever waits for memory
// can look again. So a picture still held anywhere (a result in the window's inbox, a kept
// copy, the window's own picture) is counted, and one let go of is counted until its memory
// is given back, never twice.
//
// Once the ledger is destroyed (the pipeline is gone; it stops the reaper after freeing what
// waits), pixels still held elsewhere are freed where they are let go of, and still counted.
#pragma once

#include "picture/DecodedPicture.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <thread>

namespace tessaly {

class PixelLedger {
public:
    // `onFreed` is called on the reaper's thread, holding no lock, after pixels were freed.
    explicit PixelLedger(std::function<void()> onFreed);
    ~PixelLedger();
    PixelLedger(const PixelLedger&) = delete;
    PixelLedger& operator=(const PixelLedger&) = delete;

    // The pixels, counted until freed.
    std::shared_ptr<const DecodedPicture> Adopt(DecodedPicture pixels);
    // Bytes of the pixels adopted and not yet freed.
    std::uint64_t Bytes() const;
    // Pixels let go of wait to be freed, or are being freed now.
    bool Freeing() const;

    struct State;

private:
    std::shared_ptr<State> state_;
    std::thread reaper_;
};

} // namespace tessaly
