// Entries of the image list that are not what their names promise, and folder trees that
// are large, looped or oddly named.
#include "tests/robustness/HostileFiles.h"
#include "tests/support/QtText.h"
#include "viewer/PictureControl.h"
#include "viewer/SearchFiles.h"

#include <QLabel>
#include <QTest>
#include <algorithm>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace tessaly::robustness {
namespace {

namespace fs = std::filesystem;
using fixtures::EncodeJpeg;
using fixtures::GradientBitmap;
using fixtures::WriteFile;

using testing::Q;
// 1234567 as "1,234,567".
QString Thousands(long long n) {
    QString digits = QString::number(n);
    for (auto i = digits.size() - 3; i > 0; i -= 3)
        digits.insert(i, u',');
    return digits;
}

class FileSystemTest : public ::testing::Test {
protected:
    std::string Photo(const std::string& name, int width = 400, int height = 300) {
        const fs::path path = dir_ / name;
        WriteFile(path, EncodeJpeg(GradientBitmap(width, height, 1), {.quality = 60}));
        return path.string();
    }
    void Press(Viewer& viewer, Qt::Key key) { QTest::keyClick(&viewer.form(), key); }

    fixtures::TempDir dir_{"tessaly-robustness"};
};

// A folder and a pipe named like pictures cannot be opened: the error box names them, the
// caption stays, and the program goes on (a pipe without a writer is not waited for).
TEST_F(FileSystemTest, FolderAndPipeNamedLikePicturesCannotBeOpened) {
    const std::string photo = Photo("a.JPG");
    const std::string folder = (dir_ / "b.JPG").string();
    const std::string pipe = (dir_ / "c.JPG").string();
    fs::create_directory(folder);
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    Viewer viewer({photo, folder, pipe});
    const QString first = viewer.caption();
    for (const std::string& entry : {folder, pipe}) {
        SCOPED_TRACE(entry);
        viewer.clearBoxes();
        Press(viewer, Qt::Key_Right);
        ASSERT_EQ(viewer.boxes().size(), 1u);
        EXPECT_EQ(viewer.boxes()[0].kind, BoxKind::Error);
        EXPECT_EQ(viewer.boxes()[0].title, QStringLiteral("Corvanel"));
        EXPECT_EQ(viewer.boxes()[0].text, CannotOpenText(entry));
        EXPECT_EQ(viewer.caption(), first);
    }
    viewer.clearBoxes();
    Press(viewer, Qt::Key_Right); // round to the first again
    EXPECT_EQ(viewer.caption(), first);
    EXPECT_TRUE(viewer.boxes().empty());
}

TEST_F(FileSystemTest, PipeAsTheOnlyEntryShowsNothing) {
    const std::string pipe = (dir_ / "p.jpg").string();
    ASSERT_EQ(::mkfifo(pipe.c_str(), 0600), 0);
    Viewer viewer({pipe});
    ASSERT_EQ(viewer.boxes().size(), 1u);
    EXPECT_EQ(viewer.boxes()[0].text, CannotOpenText(pipe));
    // The list holds the entry: the caption written when the window gets its size names it.
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [0.0%](1/1 files)").arg(Q(pipe)));
}

TEST_F(FileSystemTest, FileDeletedAfterTheListWasBuiltCannotBeOpened) {
    const std::string a = Photo("a.JPG");
    const std::string b = Photo("b.JPG", 200, 100);
    const std::string c = Photo("c.JPG", 300, 200);
    Viewer viewer({dir_.path().string()});
    fs::remove(b);
    Press(viewer, Qt::Key_Right);
    ASSERT_EQ(viewer.boxes().size(), 1u);
    EXPECT_EQ(viewer.boxes()[0].kind, BoxKind::Error);
    EXPECT_EQ(viewer.boxes()[0].title, QStringLiteral("Corvanel"));
    EXPECT_EQ(viewer.boxes()[0].text, CannotOpenText(b));
    // Nothing changes but the position in the list.
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](1/3 files)").arg(Q(a)));
    EXPECT_EQ(viewer->Ui().picture->geometry(), QRect(92, 47, 400, 300));
    EXPECT_EQ(viewer->Model().List().Index(), 2);
    viewer.clearBoxes();
    Press(viewer, Qt::Key_Right);
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](3/3 files)").arg(Q(c)));
    EXPECT_TRUE(viewer.boxes().empty());
}

// Links back up the tree: every real folder is searched once, so the search ends and lists
// each picture once.
TEST_F(FileSystemTest, FolderTreeWithSymlinkLoopsListsEachPictureOnce) {
    const std::string a = Photo("a.JPG");
    fs::create_directories(dir_ / "sub" / "deeper");
    WriteFile(dir_ / "sub" / "deeper" / "b.JPG", EncodeJpeg(GradientBitmap(8, 8, 2)));
    fs::create_directory_symlink("..", dir_ / "sub" / "deeper" / "up");
    fs::create_directory_symlink(dir_.path(), dir_ / "sub" / "root");
    fs::create_directory_symlink(".", dir_ / "self");
    Viewer viewer({dir_.path().string()});
    EXPECT_TRUE(viewer.boxes().empty());
    ASSERT_EQ(viewer->Model().List().Entries().size(), 2u);
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](1/2 files)").arg(Q(a)));
}

TEST_F(FileSystemTest, TwentyThousandFilesInOneFolder) {
    constexpr int kCount = 20000;
    const fs::path folder = dir_ / "many";
    fs::create_directory(folder);
    const std::string model = Photo("model.jpg", 64, 48);
    // Hard links: one picture under 20,000 names, in three spellings of the extension.
    static constexpr const char* kEndings[] = {".JPG", ".jpg", ".Jpg"};
    for (int i = 0; i < kCount; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "img%05d%s", i, kEndings[i % 3]);
        ASSERT_EQ(::link(model.c_str(), (folder / name).c_str()), 0) << name;
    }
    Viewer viewer({folder.string()});
    EXPECT_TRUE(viewer.boxes().empty());
    ASSERT_EQ(viewer->Model().List().Entries().size(), static_cast<std::size_t>(kCount));
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](1/20000 files)")
                                    .arg(Q((folder / "img00000.JPG").string())));
    EXPECT_TRUE(std::is_sorted(viewer->Model().List().Entries().begin(),
                               viewer->Model().List().Entries().end()));
    Press(viewer, Qt::Key_Down);
    EXPECT_EQ(viewer.caption(), QStringLiteral("Tess %1 [100.0%](20000/20000 files)")
                                    .arg(Q((folder / "img19999.jpg").string())));
}

// A chain of `depth` folders "d" below `root`, built and removed by descriptors since its
// paths pass the system's path length. Every 100th folder also holds "e<level>/p.JPG" and the
// deepest a link back to its parent.
class FolderChain {
public:
    FolderChain(const fs::path& root, int depth) : root_(root), depth_(depth) {
        int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        std::string path = root_.string();
        for (int level = 1; level <= depth_ && fd >= 0; ++level) {
            ::mkdirat(fd, "d", 0755);
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
            path += "/d";
            if (level % 100 == 0 && ::mkdirat(fd, Side(level).c_str(), 0755) == 0) {
                const std::string picture = Side(level) + "/p.JPG";
                ::close(::openat(fd, picture.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0644));
                pictures_.push_back(path + "/" + picture);
            }
        }
        if (fd >= 0) {
            ::symlinkat("..", fd, "up");
            ::close(fd);
        }
    }
    ~FolderChain() {
        // Down to the deepest folder, then up again through "..", removing on the way.
        int fd = ::open(root_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        for (int level = 0; level < depth_ && fd >= 0; ++level) {
            const int next = ::openat(fd, "d", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = next;
        }
        ::unlinkat(fd, "up", 0);
        for (int level = depth_; level > 0 && fd >= 0; --level) {
            ::unlinkat(fd, (Side(level) + "/p.JPG").c_str(), 0);
            ::unlinkat(fd, Side(level).c_str(), AT_REMOVEDIR);
            const int parent = ::openat(fd, "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
            ::close(fd);
            fd = parent;
            ::unlinkat(fd, "d", AT_REMOVEDIR);
        }
        ::close(fd);
    }
    FolderChain(const FolderChain&) = delete;
    FolderChain& operator=(const FolderChain&) = delete;
    const std::vector<std::string>& pictures() const { return pictures_; }

private:
    // Named after its level, so that it comes before "d" in some folders and after it in
    // others: a folder left for a deeper one is needed again.
    static std::string Side(int level) { return "e" + std::to_string(level); }

    fs::path root_;
    int depth_;
    std::vector<std::string> pictures_;
};

// Regression: the search held one open folder per level and joined paths the system had
// to resolve, so a deep tree lost every picture below the descriptor limit or 4,096 bytes
// of path. 3,000 levels (paths of 6,000 bytes) under a limit of 512 descriptors.
TEST_F(FileSystemTest, FolderSearchFindsEveryPictureOfADeepTreeWithFewDescriptors) {
    const FolderChain chain(dir_.path(), 3000);
    ASSERT_EQ(chain.pictures().size(), 30u);
    ASSERT_GT(chain.pictures().back().size(), 6000u);
    std::vector<std::string> expected = chain.pictures();
    std::sort(expected.begin(), expected.end());
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        const rlimit few{512, 512};
        FileListType list;
        if (::setrlimit(RLIMIT_NOFILE, &few) == 0)
            WalkFolder(dir_.path().string(), list, ".JPG", [] { return false; });
        std::sort(list.begin(), list.end());
        std::_Exit(
            list == expected ? 0 : 1 + static_cast<int>(std::min<std::size_t>(list.size(), 100)));
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    ASSERT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0) << "pictures found: " << WEXITSTATUS(status) - 1;
}

// File and folder names are bytes: names that are not UTF-8 are listed, opened and shown
// (the caption shows the undecodable bytes as replacement characters).
TEST_F(FileSystemTest, NamesThatAreNotUtf8AreListedAndShown) {
    const fs::path folder = dir_ / std::string("caf\xe9");
    fs::create_directory(folder);
    const std::string latin1 = (folder / std::string("\xe9t\xe9.JPG")).string();
    const std::string sjis = (folder / std::string("\x8e\xca\x90\x5e.jpg")).string();
    WriteFile(latin1, EncodeJpeg(GradientBitmap(400, 300, 3)));
    WriteFile(sjis, EncodeJpeg(GradientBitmap(200, 100, 4)));
    Viewer viewer({folder.string()});
    ASSERT_EQ(viewer->Model().List().Entries().size(), 2u);
    EXPECT_TRUE(viewer.boxes().empty());
    const QString shownFolder = Q(dir_.path().string()) + QStringLiteral("/caf\uFFFD/");
    const QString first = viewer.caption();
    EXPECT_TRUE(first.startsWith(QStringLiteral("Tess ") + shownFolder)) << first.toStdString();
    EXPECT_TRUE(first.endsWith(QStringLiteral("](1/2 files)"))) << first.toStdString();
    EXPECT_TRUE(viewer->Ui().picture->HasPicture());
    Press(viewer, Qt::Key_Right);
    EXPECT_TRUE(viewer.boxes().empty());
    EXPECT_TRUE(viewer->Ui().picture->HasPicture());
    EXPECT_NE(viewer.caption(), first);
    // The overlay reads the file by its bytes too: its size line shows the real size.
    viewer->Ui().overlayItem->trigger();
    const std::string shown = viewer->Model().List().Entries()[static_cast<std::size_t>(
        viewer->Model().List().Index() - 1)];
    const auto size = static_cast<long long>(fs::file_size(shown));
    EXPECT_TRUE(viewer->Ui().overlayLabel->text().contains(
        QStringLiteral("( %1 bytes )").arg(Thousands(size))))
        << viewer->Ui().overlayLabel->text().toStdString();
    EXPECT_TRUE(viewer.boxes().empty());
}

} // namespace
} // namespace tessaly::robustness
