#include "files/PermanentDelete.h"

#include "files/FileError.h"
#include "files/NoReplaceRename.h"

#include <cerrno>
#include <unistd.h>

namespace tessaly {

std::string PermanentDeleteQuestion(const std::string& path) {
    return "完全に削除しますか？\n" + NameOf(path) + "\nこの操作は元に戻せません。";
}

void DeleteForGood(const std::string& path) {
    if (::unlink(path.c_str()) != 0)
        ThrowFileError("ファイル " + path + " を削除できません", errno);
}

} // namespace tessaly
