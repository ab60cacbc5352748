// The steps on the user's files that can be undone: the last 50 moves to the Trash, moves
// and copies to a folder and changes of a file where it is (turns), newest first.
//
// Undoing a step puts the file back: a trashed file returns to its path (its information
// file removed), a moved file to where it was, a copy is removed, a changed file is put back
// as it was. Nothing is ever
// overwritten or removed in the process: when the original path has been taken meanwhile,
// or the file is no longer the one the step left (moved away, replaced or rewritten by
// another program: device and inode, size and modification time), the step fails with
// FileOperationError saying why, and leaves the list (the file stays where the step put it,
// so an older step can still be undone next).
//
// Use from the main window:
//
//     UndoList undo;                                  // one per window
//     undo.Record(TrashStep{MoveToTrash(path)});      // after each step
//     undo.Record(transfer.Step());
//     ...
//     if (!undo.Empty() && !UndoCopiesBytes(undo.Last())) {
//         const std::string shown = undo.UndoLast();  // throws FileOperationError
//         // insert `shown` into the list in sort order and show it
//     }
//
// Only a move back to another file system copies bytes (UndoCopiesBytes): take the step
// with TakeLast() and run Undo(step, progress) on a worker thread as for FileTransfer.
#pragma once

#include "files/FileStep.h"
#include "files/FileTransfer.h"

#include <cstddef>
#include <deque>
#include <string>

namespace tessaly {

class UndoList {
public:
    static constexpr std::size_t kCapacity = 50;

    // Adds the newest step, dropping the oldest past kCapacity.
    void Record(FileStep step);

    bool Empty() const { return steps_.empty(); }
    std::size_t Size() const { return steps_.size(); }
    const FileStep& Last() const { return steps_.back(); }
    // Removes the newest step from the list and returns it.
    FileStep TakeLast();
    // Undoes the newest step, which leaves the list whether or not it succeeds, and returns
    // the path to show afterwards (the file put back; after removing a copy, its source).
    std::string UndoLast();
    void Clear() { steps_.clear(); }

private:
    std::deque<FileStep> steps_;
};

// True when undoing the step copies the file's bytes (a move back to another file system).
bool UndoCopiesBytes(const FileStep& step);

// Undoes one step (see above) and returns the path to show. `progress` reports and cancels a
// copy back to another file system.
std::string Undo(const FileStep& step, TransferProgress& progress);

} // namespace tessaly
