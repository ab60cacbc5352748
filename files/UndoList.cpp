#include "files/UndoList.h"

#include "files/FileError.h"
#include "files/NoReplaceRename.h"

#include <cerrno>
#include <sys/stat.h>
#include <unistd.h>

namespace tessaly {

namespace {

template <class... Ts> struct Overloaded : Ts... { using Ts::operator()...; };

std::string ChangedMessage(const std::string& where, const std::string& what) {
    return "ファイル " + where + " は既に移動または変更されているため、" + what;
}

std::string TakenMessage(const std::string& original) {
    return "元の場所 " + original + " には既に別のファイルがあるため、元に戻せません。";
}

bool SameDevice(const std::string& file, const std::string& folder) {
    struct stat a {
    }, b{};
    return ::lstat(file.c_str(), &a) == 0 && ::stat(folder.c_str(), &b) == 0 &&
           a.st_dev == b.st_dev;
}

std::string UndoMove(const MoveStep& step, TransferProgress& progress) {
    if (StampOf(step.to) != step.stamp)
        throw FileOperationError(ChangedMessage(step.to, "元に戻せません。"));
    if (!PathIsFree(step.from))
        throw FileOperationError(TakenMessage(step.from));
    const std::string folder = FolderOf(step.from);
    int error = EXDEV;
    if (SameDevice(step.to, folder))
        error = RenameNoReplace(step.to, step.from);
    if (error == EXDEV) {
        try {
            CopyIntoFolder(step.to, folder, NameOf(step.from), false, true, progress,
                           "ファイル " + step.to + " を " + folder + " へ戻せません");
        } catch (const TransferCancelled&) {
            throw;
        } catch (const FileOperationError&) {
            if (!PathIsFree(step.from))
                throw FileOperationError(TakenMessage(step.from));
            throw;
        }
        if (StampOf(step.to) != step.stamp) {
            ::unlink(step.from.c_str());
            throw FileOperationError(ChangedMessage(step.to, "元に戻せません。"));
        }
        ::unlink(step.to.c_str());
        return step.from;
    }
    if (error == EEXIST)
        throw FileOperationError(TakenMessage(step.from));
    if (error == ENOENT)
        throw FileOperationError("元のフォルダ " + folder + " がないため、" + NameOf(step.from) +
                                 " を元に戻せません。");
    if (error != 0)
        ThrowFileError("ファイル " + step.to + " を " + folder + " へ戻せません", error);
    return step.from;
}

std::string UndoCopy(const CopyStep& step) {
    if (StampOf(step.copy) != step.stamp)
        throw FileOperationError(ChangedMessage(step.copy, "コピーを削除しません。"));
    if (::unlink(step.copy.c_str()) != 0)
        ThrowFileError("コピー " + step.copy + " を削除できません", errno);
    return step.source;
}

std::string UndoEdit(const EditStep& step) {
    if (StampOf(step.path) != step.stamp)
        throw FileOperationError(ChangedMessage(step.path, "元に戻せません。"));
    step.revert();
    return step.listed;
}

} // namespace

void UndoList::Record(FileStep step) {
    steps_.push_back(std::move(step));
    while (steps_.size() > kCapacity)
        steps_.pop_front();
}

FileStep UndoList::TakeLast() {
    FileStep step = std::move(steps_.back());
    steps_.pop_back();
    return step;
}

std::string UndoList::UndoLast() {
    const FileStep step = TakeLast();
    TransferProgress progress;
    return Undo(step, progress);
}

bool UndoCopiesBytes(const FileStep& step) {
    const auto* move = std::get_if<MoveStep>(&step);
    return move != nullptr && !SameDevice(move->to, FolderOf(move->from));
}

std::string Undo(const FileStep& step, TransferProgress& progress) {
    return std::visit(Overloaded{[](const TrashStep& s) {
                                     RestoreFromTrash(s.trashed);
                                     return s.trashed.originalPath;
                                 },
                                 [&progress](const MoveStep& s) { return UndoMove(s, progress); },
                                 [](const CopyStep& s) { return UndoCopy(s); },
                                 [](const EditStep& s) { return UndoEdit(s); }},
                      step);
}

} // namespace tessaly
