// What the robustness tests throw at the viewer: damaged JPEG files, a main window over
// them that records its message boxes, and scratch file systems that refuse writes.
#pragma once

#include "pick/SavePictureDialog.h"
#include "tests/support/JpegFixtures.h"
#include "tests/support/QtText.h"
#include "ui/Dialogs.h"
#include "viewer/MainWindow.h"

#include <QString>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <ostream>
#include <string>
#include <vector>

namespace tessaly::robustness {

using fixtures::Bytes;

// The first `percent` % of the bytes (rounded down).
Bytes Truncated(const Bytes& bytes, int percent);

// A copy with `flips` bytes at random places (after the start-of-image marker) replaced by
// random values; the same seed gives the same copy.
Bytes Corrupted(const Bytes& bytes, unsigned seed, int flips);

// A copy whose frame header declares another size (the scan data stay those of the
// original). Throws when the data have no frame header.
Bytes WithDeclaredSize(const Bytes& bytes, int width, int height);

// The error box text for a file that cannot be opened.
QString CannotOpenText(const std::string& path);

// The main window over the given arguments, shown, with its message boxes recorded.
class Viewer {
public:
    explicit Viewer(std::vector<std::string> arguments);
    ~Viewer();
    Viewer(const Viewer&) = delete;
    Viewer& operator=(const Viewer&) = delete;

    MainWindow& form() { return *form_; }
    MainWindow* operator->() { return form_.get(); }
    QString caption() const;
    const std::vector<BoxRecord>& boxes() const { return boxes_.boxes(); }
    void clearBoxes() { boxes_.clear(); }
    // Waits until the picture pipeline has delivered the shown picture's full pixels or the
    // failure of its decode, then paints the whole window.
    void paint();

private:
    BoxRecorder boxes_;
    std::unique_ptr<MainWindow> form_;
};

// The caption of list entry k (1-based) of n, whatever the percentage.
bool IsEntryCaption(const QString& caption, const std::string& path, int k, int n);

// A tmpfs mounted on a fresh folder for the life of the object (needs the right to mount;
// check mounted()). Unmounted, lazily, however the test ends.
class ScratchFileSystem {
public:
    explicit ScratchFileSystem(const std::string& options);
    ~ScratchFileSystem();
    ScratchFileSystem(const ScratchFileSystem&) = delete;
    ScratchFileSystem& operator=(const ScratchFileSystem&) = delete;

    bool mounted() const { return mounted_; }
    const std::string& why() const { return why_; }
    const std::filesystem::path& path() const { return dir_.path(); }
    // Makes the file system read-only; false when that is refused.
    bool MakeReadOnly();

private:
    fixtures::TempDir dir_{"tessaly-scratch-fs"};
    bool mounted_ = false;
    std::string why_;
};

// A save dialog that answers with a prepared file name.
class AnsweringSaveDialog final : public SavePictureDialog {
public:
    explicit AnsweringSaveDialog(QString answer) : answer_(std::move(answer)) {}
    std::optional<QString> Execute(const QString&, const QString&) override { return answer_; }

private:
    QString answer_;
};

// The names in a folder, sorted.
std::vector<std::string> FolderNames(const std::filesystem::path& folder);

} // namespace tessaly::robustness
