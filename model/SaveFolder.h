// The folder the pick windows' save dialog opens in, without a trailing separator (UTF-8).
// One folder for the whole program: the application owns it and hands it to every
// window. It follows the image list when the main window is first activated and after
// each drop, and becomes the folder of each file a pick window saves.
#pragma once

#include "model/ImageList.h"

#include <string>

namespace tessaly {

class SaveFolder {
public:
    const std::string& Path() const { return path_; }
    void Set(std::string path) { path_ = std::move(path); }
    // The folder of the list's first entry; empty for an empty list.
    void FollowList(const FileListType& list);

private:
    std::string path_;
};

} // namespace tessaly
