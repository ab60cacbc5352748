// Moving a file to the desktop's Trash and back, as the freedesktop.org Trash convention
// lays it out, so that the file manager shows, restores and empties what the viewer put
// there.
//
// Where a file goes:
// - a file on the file system of the home trash ($XDG_DATA_HOME/Trash, with XDG_DATA_HOME
//   defaulting to ~/.local/share) goes to the home trash;
// - a file on another file system goes to the trash at the top folder of its mount: the
//   shared $topdir/.Trash/$uid when $topdir/.Trash is a real folder (no symbolic link) with
//   the sticky bit, otherwise $topdir/.Trash-$uid, made with mode 0700.
// A file is only ever renamed into a trash on its own file system, never copied: when that
// trash cannot be made or the rename is refused, the file stays where it was and
// FileOperationError says why.
//
// The information file info/NAME.trashinfo is made first, with O_EXCL, then the file is
// renamed to files/NAME without replacing anything; a NAME already in the trash is taken as
// "name (2).ext", "name (3).ext" ... It holds the file's absolute path, percent-encoded, and
// the local time of the deletion. A symbolic link goes to the trash itself, never the file
// it points to.
//
// Debian 12's Qt 6.4 QFile::moveToTrash is not used: it writes the path without
// percent-encoding it, judges a symbolic link by the file system of its target (so a link
// in the home pointing to another mount cannot be trashed at all), makes $topdir/.Trash/$uid
// and the information files readable by every user, and gives a second file of the same name
// a new extension ("a.jpg-0001").
#pragma once

#include "files/FileStamp.h"

#include <string>

namespace tessaly {

// A file in a trash, as far as its return needs to know.
struct TrashedFile {
    std::string originalPath; // absolute, as the file had it
    std::string trashFolder;  // the trash, holding files/ and info/
    std::string trashedName;  // its name in files/
    FileStamp stamp;          // the file as it was put there

    std::string TrashedPath() const;
    std::string InfoPath() const;
};

// The home trash: $XDG_DATA_HOME/Trash when XDG_DATA_HOME is an absolute path, otherwise
// $HOME/.local/share/Trash. Read from the environment at each call.
std::string HomeTrashFolder();

// The trash a file at `path` belongs in, made (with files/ and info/) when missing. Throws
// FileOperationError when no usable trash can be had on the file's file system.
std::string TrashFolderFor(const std::string& path);

// Percent-encodes the bytes of a path for the Path= line: letters, digits, "-._~" and "/"
// stay, every other byte becomes %XX.
std::string PercentEncodePath(std::string_view path);

// Moves the file (or symbolic link) at `path` to its trash and returns where it went.
// Throws FileOperationError, with the file where it was, on any failure.
TrashedFile MoveToTrash(const std::string& path);

// Gives the file at `path` a second name in its trash (a hard link, with its information
// file as for MoveToTrash), leaving it where it is: the file as it was before a change that
// replaces it (a new file renamed over its path), kept where the user can find it and from
// where PutBackFromTrash undoes the change. Throws FileOperationError, with nothing made, on
// any failure (a file system without hard links among them).
TrashedFile KeepInTrash(const std::string& path);

// Removes a file kept by KeepInTrash that is no longer needed (the change was not made), and
// its information file; a kept name that no longer names the file kept is left alone.
void DropKept(const TrashedFile& kept);

// Puts a file kept by KeepInTrash back at its path in place of the file there now, which must
// still have the stamp `changed` (the one the change left), and removes its information file.
// Nothing is replaced or moved when the kept file is no longer the one kept or the file at the
// path was changed again, moved or removed: FileOperationError says which.
void PutBackFromTrash(const TrashedFile& kept, const FileStamp& changed);

// Puts a trashed file back at its original path and removes its information file. Nothing
// is overwritten or moved when the original path is taken again or the file in the trash is
// no longer the one put there (restored, emptied or replaced meanwhile): FileOperationError
// says which.
void RestoreFromTrash(const TrashedFile& trashed);

} // namespace tessaly
