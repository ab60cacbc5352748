#include "tests/robustness/HostileFiles.h"

#include "viewer/PictureControl.h"

#include <QGuiApplication>
#include <QTest>
#include <algorithm>
#include <cerrno>
#include <cstring>
#include <gtest/gtest.h>
#include <random>
#include <stdexcept>
#include <sys/mount.h>

namespace tessaly::robustness {

Bytes Truncated(const Bytes& bytes, int percent) {
    const std::size_t size = bytes.size() * static_cast<std::size_t>(percent) / 100;
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(size));
}

Bytes Corrupted(const Bytes& bytes, unsigned seed, int flips) {
    Bytes copy = bytes;
    if (copy.size() <= 2)
        return copy;
    std::mt19937 random(seed);
    std::uniform_int_distribution<std::size_t> place(2, copy.size() - 1);
    std::uniform_int_distribution<int> value(0, 255);
    for (int i = 0; i < flips; ++i)
        copy[place(random)] = static_cast<std::uint8_t>(value(random));
    return copy;
}

Bytes WithDeclaredSize(const Bytes& bytes, int width, int height) {
    Bytes copy = bytes;
    std::size_t pos = 2; // after the start of image
    while (pos + 4 <= copy.size()) {
        if (copy[pos] != 0xFF)
            break;
        const std::uint8_t marker = copy[pos + 1];
        const std::size_t length = (std::size_t{copy[pos + 2]} << 8) | copy[pos + 3];
        const bool frame =
            marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
        if (frame && pos + 9 <= copy.size()) {
            copy[pos + 5] = static_cast<std::uint8_t>(height >> 8);
            copy[pos + 6] = static_cast<std::uint8_t>(height & 0xFF);
            copy[pos + 7] = static_cast<std::uint8_t>(width >> 8);
            copy[pos + 8] = static_cast<std::uint8_t>(width & 0xFF);
            return copy;
        }
        pos += 2 + length;
    }
    throw std::invalid_argument("no frame header");
}

QString CannotOpenText(const std::string& path) {
    return QStringLiteral("ファイル %1 は開けません.").arg(QString::fromStdString(path));
}

Viewer::Viewer(std::vector<std::string> arguments)
    : form_(std::make_unique<MainWindow>(std::move(arguments))) {
    form_->show();
    if (!QTest::qWaitForWindowExposed(form_.get()))
        throw std::runtime_error("the main window was not shown");
}

Viewer::~Viewer() = default;

QString Viewer::caption() const {
    return form_->windowTitle();
}

void Viewer::paint() {
    const auto settled = [this] {
        const auto& picture = form_->Ui().picture->Picture();
        return !picture || picture->Settled();
    };
    if (!QTest::qWaitFor(settled, 30000))
        ADD_FAILURE() << "the picture pipeline delivered nothing within 30 s";
    (void)form_->grab();
}

bool IsEntryCaption(const QString& caption, const std::string& path, int k, int n) {
    const QString head = QStringLiteral("Tess %1 [").arg(QString::fromStdString(path));
    const QString tail = QStringLiteral("%](%1/%2 files)").arg(k).arg(n);
    return caption.startsWith(head) && caption.endsWith(tail);
}

ScratchFileSystem::ScratchFileSystem(const std::string& options) {
    if (::mount("tessaly-test", dir_.path().c_str(), "tmpfs", MS_NOSUID | MS_NODEV,
                options.c_str()) == 0) {
        mounted_ = true;
    } else {
        why_ = std::string("cannot mount a tmpfs here: ") + std::strerror(errno);
    }
}

ScratchFileSystem::~ScratchFileSystem() {
    if (mounted_)
        ::umount2(dir_.path().c_str(), MNT_DETACH);
}

bool ScratchFileSystem::MakeReadOnly() {
    return mounted_ && ::mount(nullptr, dir_.path().c_str(), nullptr,
                               MS_REMOUNT | MS_RDONLY | MS_NOSUID | MS_NODEV, nullptr) == 0;
}

std::vector<std::string> FolderNames(const std::filesystem::path& folder) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(folder))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

} // namespace tessaly::robustness
