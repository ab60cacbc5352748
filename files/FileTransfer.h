// Moving or copying a file into a folder without ever replacing a file there.
//
// A move on one file system is one rename that never replaces (see RenameNoReplace). A copy,
// and a move to another file system, writes the bytes to a temporary file in the target
// folder, flushes it to the disk, renames it into place without replacing and only then, for
// a move, removes the source. A name taken in the target becomes "name (2).ext",
// "name (3).ext" ... On any failure (a full disk, a folder that refuses writing, the source
// changed by another program while it was copied, a cancel) the temporary file is removed,
// the source stays as it was and FileOperationError says why, with the system's reason. The
// source counts as changed when its size or modification time differs after the copy from
// before it (rewritten in place), or, for a move, when its name holds another file by then.
//
// A move into the folder the file is already in is refused (FileOperationError); a copy there
// makes "name (2).ext". A symbolic link is moved itself (made anew in the target when the target is
// on another file system); a copy copies the file the link points to.
//
// Use from the main window:
//
//     FileTransfer transfer(TransferKind::Move, path, folder);
//     if (!transfer.CopiesBytes()) {
//         transfer.Run();                     // as quick as a rename: on the GUI thread
//         undo.Record(transfer.Step());
//     } else {
//         // run transfer.Run() on a worker thread (QThreadPool, std::thread); poll
//         // BytesDone() / BytesTotal() from a timer to show progress; Cancel() stops it.
//         // When it has ended, back on the GUI thread: undo.Record(transfer.Step()).
//     }
//
// Run() throws FileOperationError (TransferCancelled after Cancel()); Target() then tells the
// path the file has now.
#pragma once

#include "files/FileStep.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>

namespace tessaly {

enum class TransferKind { Move, Copy };

// How far a copy has come, and whether it should stop: written by the copying thread and
// read (or cancelled) from any other.
class TransferProgress {
public:
    std::uint64_t BytesDone() const { return done_.load(std::memory_order_relaxed); }
    std::uint64_t BytesTotal() const { return total_.load(std::memory_order_relaxed); }
    void Cancel() { cancelled_.store(true, std::memory_order_relaxed); }
    bool Cancelled() const { return cancelled_.load(std::memory_order_relaxed); }

    void SetTotal(std::uint64_t total) { total_.store(total, std::memory_order_relaxed); }
    void Add(std::uint64_t bytes) {
        done_.fetch_add(bytes, std::memory_order_relaxed);
        if (chunkWritten_)
            chunkWritten_();
    }
    // Called on the copying thread after each chunk is written; set before the copy starts.
    void OnChunkWritten(std::function<void()> observer) { chunkWritten_ = std::move(observer); }

private:
    std::function<void()> chunkWritten_;
    std::atomic<std::uint64_t> done_{0};
    std::atomic<std::uint64_t> total_{0};
    std::atomic<bool> cancelled_{false};
};

class FileTransfer {
public:
    // Nothing is done yet: `source` is the file, `folder` the folder it goes to.
    FileTransfer(TransferKind kind, std::string source, std::string folder);

    // True when Run() copies the bytes (every copy, and a move to another file system), so it
    // belongs on a worker thread; false when it is one rename. (Two mounts of one file
    // system, such as a bind mount, share a device but refuse the rename: such a move copies
    // on the calling thread.)
    bool CopiesBytes() const { return copiesBytes_; }

    // Moves or copies the file; call once, from any one thread. Throws FileOperationError.
    void Run();

    std::uint64_t BytesDone() const { return progress_.BytesDone(); }
    std::uint64_t BytesTotal() const { return progress_.BytesTotal(); }
    // Asks a running copy to stop (from any thread): Run() then throws TransferCancelled.
    void Cancel() { progress_.Cancel(); }
    // See TransferProgress::OnChunkWritten; set before Run().
    void OnChunkWritten(std::function<void()> observer) {
        progress_.OnChunkWritten(std::move(observer));
    }

    TransferKind Kind() const { return kind_; }
    const std::string& Source() const { return source_; }
    // The file's new path, once Run() has succeeded.
    const std::string& Target() const { return target_; }
    // The step for the undo list, once Run() has succeeded.
    FileStep Step() const;

private:
    TransferKind kind_;
    std::string source_;
    std::string folder_;
    std::string target_;
    FileStamp stamp_;
    bool copiesBytes_ = true;
    TransferProgress progress_;
};

// Copies the file at `source` (a symbolic link: made anew, pointing where it points, when
// `copyLink`; otherwise the file it points to) into `folder` under `name`, or under its first
// free numbered form when `numbered`; an unnumbered name that is taken fails with EEXIST.
// Returns the new path. The bytes go through a temporary file that is flushed and renamed
// into place; the file keeps the source's permission bits and times. Throws
// FileOperationError, with `what` and the system's reason (TransferCancelled when `progress`
// is cancelled), with nothing left behind.
std::string CopyIntoFolder(const std::string& source, const std::string& folder,
                           const std::string& name, bool numbered, bool copyLink,
                           TransferProgress& progress, const std::string& what);

// The message of a move or copy that failed: "<file> を <folder> へ移動できません" and so on.
std::string TransferError(TransferKind kind, const std::string& source, const std::string& folder);

} // namespace tessaly
