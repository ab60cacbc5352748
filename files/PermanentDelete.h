// Deleting a file for good (no Trash, no undo). A symbolic link is removed itself.
#pragma once

#include <string>

namespace tessaly {

// The question to ask before deleting: "完全に削除しますか？" with the file's name and the
// warning that it cannot be undone.
std::string PermanentDeleteQuestion(const std::string& path);

// Unlinks `path`. Throws FileOperationError with the system's reason when it cannot.
void DeleteForGood(const std::string& path);

} // namespace tessaly
