#include "model/SaveFolder.h"

#include "base/Paths.h"

namespace tessaly {

void SaveFolder::FollowList(const FileListType& list) {
    path_ = list.empty() ? std::string() : FolderWithoutSeparator(list.front());
}

} // namespace tessaly
