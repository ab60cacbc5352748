// One step on the user's files that can be undone: a file moved to the Trash, moved to a
// folder or copied to one, or changed where it is (turned), with the stamp the file had
// where the step put it.
#pragma once

#include "files/FileStamp.h"
#include "files/Trash.h"

#include <functional>
#include <string>
#include <variant>

namespace tessaly {

struct TrashStep {
    TrashedFile trashed;
};

struct MoveStep {
    std::string from; // where the file was
    std::string to;   // where it went
    FileStamp stamp;  // the file at `to`
};

struct CopyStep {
    std::string source; // the file copied, left where it was
    std::string copy;   // the copy made
    FileStamp stamp;    // the copy
};

// A file changed where it is (a turn by its orientation tag, a turn baked into its pixels).
// `revert` puts it back as it was; it runs only while the file still has `stamp`.
struct EditStep {
    std::string path;             // the file changed (for a link: the file it leads to)
    std::string listed;           // the name the list knows it by (a link's own)
    FileStamp stamp;              // the file as the change left it
    std::function<void()> revert; // throws FileOperationError (or the editor's own errors)
};

using FileStep = std::variant<TrashStep, MoveStep, CopyStep, EditStep>;

} // namespace tessaly
