#include "viewer/FileCommands.h"

#include "files/FileError.h"
#include "files/NoReplaceRename.h"
#include "files/PermanentDelete.h"
#include "files/Trash.h"
#include "ui/Dialogs.h"
#include "ui/Guard.h"
#include "viewer/ListFolders.h"
#include "viewer/ListOrder.h"

#include <QApplication>
#include <QFile>
#include <QFileDialog>
#include <QProgressDialog>
#include <QSocketNotifier>
#include <algorithm>
#include <exception>
#include <thread>
#include <utility>

namespace tessaly {

namespace {

// The gathering of a burst of folder changes, well inside the second a change may take to
// reach the list.
constexpr int kGatherMs = 200;
constexpr int kProgressPollMs = 100;
constexpr int kProgressDelayMs = 500;
constexpr int kProgressSteps = 1000;

QString Text(const std::string& bytes) {
    return QFile::decodeName(QByteArray(bytes.data(), static_cast<qsizetype>(bytes.size())));
}

void Report(const std::exception& e, QWidget& window) {
    ShowErrorBox(QString::fromUtf8(e.what()), &window);
}

} // namespace

// A move to the Trash on a worker thread: `trashed` or `error` once the thread has ended.
struct FileCommands::PendingTrash {
    std::uint64_t number = 0;
    std::string path;
    std::optional<TrashedFile> trashed;
    std::exception_ptr error;
    std::thread thread;
};

// A step copying bytes on the worker thread: `work` there, `finished` back on the GUI thread
// when it succeeded.
struct FileCommands::Job {
    std::function<void()> work;
    std::function<void()> finished;
    std::function<std::uint64_t()> done;
    std::function<std::uint64_t()> total;
    std::function<void()> cancel;
    std::function<void()> cancelled; // back on the GUI thread after a cancel, when set
    std::exception_ptr error;
    std::thread thread;
};

FileCommands::FileCommands(QWidget& window, ImageList& list, std::function<void(int)> show)
    : window_(window), list_(list), show_(std::move(show)) {
    progressTimer_.setInterval(kProgressPollMs);
    connect(&progressTimer_, &QTimer::timeout, this, [this] { ShowProgress(); });
    changesTimer_.setSingleShot(true);
    connect(&changesTimer_, &QTimer::timeout, this,
            [this] { Guarded([this] { FolderChanged(); }, &window_); });
}

FileCommands::~FileCommands() {
    for (const auto& trash : trashes_)
        trash->thread.join();
    if (job_) {
        job_->cancel();
        job_->thread.join();
    }
    delete progress_.data();
}

// --- Watching ---

void FileCommands::Watch(const std::vector<std::string>& named) {
    if (!watcher_) {
        try {
            watcher_ = std::make_unique<FolderWatcher>();
        } catch (const FileOperationError&) {
            return; // no inotify instance to be had: the list stays as built
        }
        notifier_ =
            std::make_unique<QSocketNotifier>(watcher_->Descriptor(), QSocketNotifier::Read);
        connect(notifier_.get(), &QSocketNotifier::activated, this, [this] {
            // The descriptor stays readable until the changes are read: no more wake-ups
            // until then.
            notifier_->setEnabled(false);
            changesTimer_.start(kGatherMs);
        });
    }
    changesTimer_.stop();
    notifier_->setEnabled(true);
    try {
        watcher_->Watch(ListFolders(named, FolderWatcher::kMaxFolders));
        watcher_->ReadChanges(); // what happened before the list was built is in it already
    } catch (const std::exception&) {
        // The list is shown all the same; it only does not follow the disk.
        watcher_->Watch({});
    }
}

void FileCommands::Stop() {
    FinishTrashes(); // a failure is still told, and the file rejoins the list
    changesTimer_.stop();
    if (watcher_) {
        watcher_->Watch({});
        notifier_->setEnabled(true);
    }
}

void FileCommands::FolderChanged() {
    notifier_->setEnabled(true);
    const FolderChanges changes = watcher_->ReadChanges();
    // Every change this window's steps made before the read was in it.
    const std::map<std::string, FileStamp> placed = std::exchange(placed_, {});
    if (changes.Empty())
        return;
    const bool showAnew = FollowChanges(list_, changes, placed);
    show_(showAnew ? list_.Index() : 0);
}

// --- The steps ---

std::optional<std::string> FileCommands::ShownFile() {
    if (job_ || list_.Index() < 1) {
        QApplication::beep();
        return std::nullopt;
    }
    return list_.Path(list_.Index());
}

void FileCommands::Removed(const std::string& path) {
    const bool shown = RemoveEntries(list_, path);
    show_(shown ? list_.Index() : 0);
}

void FileCommands::MoveToTrash() {
    const std::optional<std::string> path = ShownFile();
    if (!path)
        return;
    // The information file's flush to the disk takes longer than showing the next picture:
    // the file moves on a worker thread while the next picture is shown.
    auto trash = std::make_unique<PendingTrash>();
    trash->number = ++trashesStarted_;
    trash->path = *path;
    PendingTrash* running = trash.get();
    running->thread = std::thread([this, running, number = running->number] {
        try {
            running->trashed = tessaly::MoveToTrash(running->path);
        } catch (...) {
            running->error = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this, number] { Guarded([&] { FinishTrashes(number); }, &window_); },
            Qt::QueuedConnection);
    });
    trashes_.push_back(std::move(trash));
    Removed(*path);
}

void FileCommands::FinishTrashes(std::uint64_t last) {
    while (!trashes_.empty() && trashes_.front()->number <= last) {
        const std::unique_ptr<PendingTrash> trash = std::move(trashes_.front());
        trashes_.pop_front();
        trash->thread.join();
        TrashEnded(*trash);
    }
}

void FileCommands::TrashEnded(PendingTrash& trash) {
    if (trash.trashed) {
        steps_.Record(TrashStep{*trash.trashed});
        RememberSpelling(trash.trashed->originalPath, trash.path);
        return;
    }
    // The file is where it was: it rejoins the list and is shown, with the reason.
    int k = FindEntry(list_, trash.path);
    if (k == 0 && StampOf(trash.path))
        k = list_.InsertSorted(trash.path, ListOrderLess);
    show_(k);
    Guarded([&] { std::rethrow_exception(trash.error); }, &window_);
}

void FileCommands::DeleteForGood() {
    const std::optional<std::string> path = ShownFile();
    if (!path || !AskYesNo(Text(PermanentDeleteQuestion(*path)), &window_))
        return;
    try {
        tessaly::DeleteForGood(*path);
    } catch (const FileOperationError& e) {
        Report(e, window_);
        return;
    }
    Removed(*path);
}

std::optional<std::string> FileCommands::AskFolder(const QString& title, const std::string& shown) {
    const std::string start = lastFolder_.empty() ? FolderOf(AbsolutePath(shown)) : lastFolder_;
    QFileDialog dialog(&window_, title, Text(start));
    dialog.setOption(QFileDialog::DontUseNativeDialog);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty())
        return std::nullopt;
    lastFolder_ = QFile::encodeName(dialog.selectedFiles().first()).toStdString();
    return lastFolder_;
}

void FileCommands::MoveToFolder() {
    const std::optional<std::string> path = ShownFile();
    if (!path)
        return;
    if (const auto folder = AskFolder(QStringLiteral("フォルダへ移動"), *path)) {
        lastMoveFolder_ = *folder;
        Transfer(TransferKind::Move, *path, *folder);
    }
}

void FileCommands::CopyToFolder() {
    const std::optional<std::string> path = ShownFile();
    if (!path)
        return;
    if (const auto folder = AskFolder(QStringLiteral("フォルダへコピー"), *path))
        Transfer(TransferKind::Copy, *path, *folder);
}

void FileCommands::MoveToLastFolder() {
    if (lastMoveFolder_.empty()) {
        MoveToFolder();
        return;
    }
    if (const std::optional<std::string> path = ShownFile())
        Transfer(TransferKind::Move, *path, lastMoveFolder_);
}

void FileCommands::Transfer(TransferKind kind, const std::string& path, const std::string& folder) {
    FinishTrashes(); // the undo list keeps the order of the steps
    auto transfer = std::make_shared<FileTransfer>(kind, path, folder);
    if (!transfer->CopiesBytes()) {
        try {
            transfer->Run();
        } catch (const FileOperationError& e) {
            Report(e, window_);
            return;
        }
        Transferred(*transfer, path);
        return;
    }
    auto job = std::make_unique<Job>();
    job->work = [transfer] { transfer->Run(); };
    job->finished = [this, transfer, path] { Transferred(*transfer, path); };
    job->done = [transfer] { return transfer->BytesDone(); };
    job->total = [transfer] { return transfer->BytesTotal(); };
    job->cancel = [transfer] { transfer->Cancel(); };
    StartJob(std::move(job), Text(NameOf(path)));
}

void FileCommands::Transferred(const FileTransfer& transfer, const std::string& spelling) {
    steps_.Record(transfer.Step());
    if (transfer.Kind() == TransferKind::Move) {
        RememberSpelling(transfer.Source(), spelling);
        Removed(transfer.Source());
    }
}

void FileCommands::UndoLast() {
    FinishTrashes();
    if (job_ || steps_.Empty()) {
        QApplication::beep();
        return;
    }
    if (UndoCopiesBytes(steps_.Last())) {
        auto step = std::make_shared<FileStep>(steps_.TakeLast());
        auto progress = std::make_shared<TransferProgress>();
        auto shown = std::make_shared<std::string>();
        auto job = std::make_unique<Job>();
        job->work = [step, progress, shown] { *shown = tessaly::Undo(*step, *progress); };
        job->finished = [this, step, shown] { Undone(*step, *shown); };
        job->done = [progress] { return progress->BytesDone(); };
        job->total = [progress] { return progress->BytesTotal(); };
        job->cancel = [progress] { progress->Cancel(); };
        // A cancelled undo changed nothing: the step can be undone again.
        job->cancelled = [this, step] { steps_.Record(*step); };
        StartJob(std::move(job), Text(NameOf(std::get<MoveStep>(*step).to)));
        return;
    }
    const FileStep step = steps_.Last();
    std::string shown;
    try {
        shown = steps_.UndoLast();
    } catch (const FileOperationError& e) {
        Report(e, window_);
        return;
    }
    Undone(step, shown);
}

void FileCommands::Record(FileStep step) {
    FinishTrashes();
    // The change is the window's own: the watcher's report of it shows nothing anew.
    if (const auto* edit = std::get_if<EditStep>(&step))
        if (const auto stamp = StampOf(edit->listed))
            placed_[PathKey(edit->listed)] = *stamp;
    steps_.Record(std::move(step));
}

void FileCommands::Undone(const FileStep& step, const std::string& path) {
    // The file is no longer where the step had put it.
    if (const auto* move = std::get_if<MoveStep>(&step))
        RemoveEntries(list_, move->to);
    else if (const auto* copy = std::get_if<CopyStep>(&step))
        RemoveEntries(list_, copy->copy);
    if (const auto stamp = StampOf(path))
        placed_[PathKey(path)] = *stamp; // no change by another program: not shown again
    int k = FindEntry(list_, path);
    if (k == 0)
        k = list_.InsertSorted(ListSpelling(path), ListOrderLess);
    show_(k);
}

void FileCommands::RememberSpelling(const std::string& absolute, const std::string& spelling) {
    if (absolute == spelling)
        return;
    spellings_.emplace_back(absolute, spelling);
    if (spellings_.size() > UndoList::kCapacity)
        spellings_.pop_front();
}

std::string FileCommands::ListSpelling(const std::string& absolute) const {
    for (auto it = spellings_.rbegin(); it != spellings_.rend(); ++it)
        if (it->first == absolute)
            return it->second;
    return absolute;
}

// --- Steps on the worker thread ---

void FileCommands::StartJob(std::unique_ptr<Job> job, const QString& label) {
    job_ = std::move(job);
    Job* running = job_.get();
    running->thread = std::thread([this, running] {
        try {
            running->work();
        } catch (...) {
            running->error = std::current_exception();
        }
        QMetaObject::invokeMethod(
            this, [this] { JobEnded(); }, Qt::QueuedConnection);
    });
    auto* progress =
        new QProgressDialog(label, QStringLiteral("キャンセル"), 0, kProgressSteps, &window_);
    progress->setWindowTitle(kApplicationTitle);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    progress->setMinimumDuration(kProgressDelayMs);
    connect(progress, &QProgressDialog::canceled, this, [running] { running->cancel(); });
    progress_ = progress;
    progress->setValue(0);
    progressTimer_.start();
}

void FileCommands::ShowProgress() {
    if (!job_ || !progress_)
        return;
    const std::uint64_t total = job_->total();
    const std::uint64_t done = std::min(job_->done(), total);
    // Below the end while the copy runs: the dialog shows itself only once the time has come.
    const int value = total == 0 ? 0 : static_cast<int>(done * (kProgressSteps - 1) / total);
    progress_->setValue(value);
}

void FileCommands::JobEnded() {
    progressTimer_.stop();
    delete progress_.data();
    const std::unique_ptr<Job> job = std::move(job_);
    job->thread.join();
    Guarded(
        [&] {
            if (!job->error) {
                job->finished();
                return;
            }
            try {
                std::rethrow_exception(job->error);
            } catch (const TransferCancelled&) {
                // Cancelled by the user: nothing changed, nothing to say.
                if (job->cancelled)
                    job->cancelled();
            } catch (const FileOperationError& e) {
                Report(e, window_);
            }
        },
        &window_);
}

} // namespace tessaly
