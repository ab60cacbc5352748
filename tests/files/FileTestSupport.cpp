#include "tests/files/FileTestSupport.h"

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <sys/mount.h>

namespace tessaly::fixtures {

DataHomeOverride::DataHomeOverride(const std::filesystem::path& dataHome) {
    if (const char* old = std::getenv("XDG_DATA_HOME"))
        old_ = old;
    ::setenv("XDG_DATA_HOME", dataHome.c_str(), 1);
}

DataHomeOverride::~DataHomeOverride() {
    if (old_)
        ::setenv("XDG_DATA_HOME", old_->c_str(), 1);
    else
        ::unsetenv("XDG_DATA_HOME");
}

TmpfsMount::TmpfsMount(const std::filesystem::path& at, const std::string& size) : at_(at) {
    std::filesystem::create_directories(at_);
    const std::string options = "size=" + size + ",mode=0755";
    mounted_ = ::mount("tmpfs", at_.c_str(), "tmpfs", 0, options.c_str()) == 0;
}

TmpfsMount::~TmpfsMount() {
    if (mounted_)
        ::umount2(at_.c_str(), MNT_DETACH);
}

bool TmpfsMount::MakeReadOnly() {
    return ::mount(nullptr, at_.c_str(), nullptr, MS_REMOUNT | MS_RDONLY, nullptr) == 0;
}

std::string ReadText(const std::filesystem::path& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

void WriteText(const std::filesystem::path& path, const std::string& text) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream out(path, std::ios::binary | std::ios::trunc);
    out << text;
    if (!out.flush())
        throw std::runtime_error("cannot write " + path.string());
}

} // namespace tessaly::fixtures
