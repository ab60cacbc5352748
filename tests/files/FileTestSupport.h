// What the file-step tests share: a home trash of their own and other file systems (tmpfs
// mounts, which need the right to mount; a test without it is skipped).
#pragma once

#include "tests/support/JpegFixtures.h"

#include <filesystem>
#include <optional>
#include <string>

namespace tessaly::fixtures {

// Points XDG_DATA_HOME at `dataHome` for the object's life, so that no test ever touches
// the user's own Trash.
class DataHomeOverride {
public:
    explicit DataHomeOverride(const std::filesystem::path& dataHome);
    ~DataHomeOverride();
    DataHomeOverride(const DataHomeOverride&) = delete;
    DataHomeOverride& operator=(const DataHomeOverride&) = delete;

private:
    std::optional<std::string> old_;
};

// A tmpfs mounted at `at` (made when missing) for the object's life: another device.
class TmpfsMount {
public:
    TmpfsMount(const std::filesystem::path& at, const std::string& size = "8m");
    ~TmpfsMount();
    TmpfsMount(const TmpfsMount&) = delete;
    TmpfsMount& operator=(const TmpfsMount&) = delete;

    bool Mounted() const { return mounted_; }
    // Makes the mount read-only; false when the system refuses.
    bool MakeReadOnly();

private:
    std::filesystem::path at_;
    bool mounted_ = false;
};

std::string ReadText(const std::filesystem::path& path);
// Writes a file, making its folders.
void WriteText(const std::filesystem::path& path, const std::string& text);

} // namespace tessaly::fixtures

// Mounts a tmpfs at `at` as `name`, or skips the test where mounting is not permitted.
#define TESSALY_MOUNT_OR_SKIP(name, ...)                                                           \
    ::tessaly::fixtures::TmpfsMount name(__VA_ARGS__);                                             \
    if (!name.Mounted())                                                                           \
    GTEST_SKIP() << "mounting a tmpfs is not permitted here"
