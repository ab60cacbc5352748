// The main window's steps on the user's files and the list that follows the disk: the shown
// file moved to the Trash, deleted for good, moved or copied to a folder, the last steps
// undone; and the folders the list was built from watched, so that files other programs
// remove, add or rewrite there leave, join or are shown anew.
//
// A step that is one rename runs on the GUI thread; one that copies bytes (every copy, and a
// move to or back from another file system) runs on a worker thread, one at a time, with a
// progress dialog after half a second that can cancel it. A move to the Trash leaves the list
// and shows the next picture at once, while the trash's information file is written, flushed
// to the disk and the file renamed on a worker thread: when that fails, the file (still where
// it was) rejoins the list and is shown. Failures show the error box with the reason the file
// library gives; nothing is changed then.
#pragma once

#include "files/FileStep.h"
#include "files/FolderWatcher.h"
#include "files/UndoList.h"
#include "model/ImageList.h"

#include <QObject>
#include <QPointer>
#include <QTimer>
#include <cstdint>
#include <deque>
#include <functional>
#include <map>
#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class QProgressDialog;
class QSocketNotifier;
class QWidget;

namespace tessaly {

class FileCommands : public QObject {
public:
    // Works on `list`, with dialogs over `window`. After the list changed, `show(k)` has the
    // window show entry k anew (k > 0), or keep the shown entry with its position updated
    // (0); a list left empty shows as an empty list does.
    FileCommands(QWidget& window, ImageList& list, std::function<void(int)> show);
    // A copy still running is cancelled and waited for.
    ~FileCommands() override;
    FileCommands(const FileCommands&) = delete;
    FileCommands& operator=(const FileCommands&) = delete;

    // Watches the folders the list was built from (the named paths); replaces the folders
    // watched before. Stop() ends the watching.
    void Watch(const std::vector<std::string>& named);
    void Stop();
    std::size_t WatchedFolders() const { return watcher_ ? watcher_->WatchedCount() : 0; }

    void MoveToTrash();
    void DeleteForGood();
    void MoveToFolder();
    void CopyToFolder();
    // Moves to the folder of the last move without asking (asks when there was none).
    void MoveToLastFolder();
    void UndoLast();
    // A change the window made to a file where it is (a turn): undone with the other steps.
    // The moves to the Trash still running are recorded first, so undo stays newest first.
    void Record(FileStep step);

    // A step is running on a worker thread (a copy, or a move to the Trash).
    bool Busy() const { return job_ != nullptr || !trashes_.empty(); }
    const UndoList& Steps() const { return steps_; }

private:
    struct Job;
    struct PendingTrash;

    // The shown entry's path, or nothing (with a beep) when no step can start now.
    std::optional<std::string> ShownFile();
    // The folder chosen in the folder dialog, starting in the last one chosen.
    std::optional<std::string> AskFolder(const QString& title, const std::string& shown);
    void Transfer(TransferKind kind, const std::string& path, const std::string& folder);
    // `spelling` is the moved or copied file's path as the list spells it.
    void Transferred(const FileTransfer& transfer, const std::string& spelling);
    // Waits for the moves to the Trash up to the one numbered `last` (all of them by default),
    // oldest first, and records or reports each: the undo list keeps the order of the steps.
    void FinishTrashes(std::uint64_t last = UINT64_MAX);
    void TrashEnded(PendingTrash& trash);
    void Undone(const FileStep& step, const std::string& path);
    // The steps name files by absolute paths; a file put back rejoins the list as the list
    // spelled it (a relative path among relative ones, in its sorted place).
    void RememberSpelling(const std::string& absolute, const std::string& spelling);
    std::string ListSpelling(const std::string& absolute) const;
    // The file at `path` is gone: its entries leave the list.
    void Removed(const std::string& path);
    void StartJob(std::unique_ptr<Job> job, const QString& label);
    void JobEnded();
    void ShowProgress();
    void FolderChanged();

    QWidget& window_;
    ImageList& list_;
    std::function<void(int)> show_;
    UndoList steps_;
    std::string lastFolder_;     // the folder last chosen, moving or copying
    std::string lastMoveFolder_; // the folder of the last move
    std::unique_ptr<Job> job_;
    std::deque<std::unique_ptr<PendingTrash>> trashes_; // oldest first
    std::uint64_t trashesStarted_ = 0;
    // Files this window's own steps put in place or changed (undo, turn, bake) since the
    // watcher's last read, with their stamps: no change by another program.
    std::map<std::string, FileStamp> placed_;
    std::deque<std::pair<std::string, std::string>> spellings_; // absolute, listed; newest last
    QPointer<QProgressDialog> progress_;
    QTimer progressTimer_;
    std::unique_ptr<FolderWatcher> watcher_;
    std::unique_ptr<QSocketNotifier> notifier_;
    QTimer changesTimer_; // gathers a burst of changes into one update of the list
};

} // namespace tessaly
