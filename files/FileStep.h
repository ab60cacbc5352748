// One step on the user's files that can be undone: a file moved to the Trash, moved to a
// folder or copied to one, with the stamp the file had where the step put it.
#pragma once

#include "files/FileStamp.h"
#include "files/Trash.h"

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

using FileStep = std::variant<TrashStep, MoveStep, CopyStep>;

} // namespace tessaly
