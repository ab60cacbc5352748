#include "jpeg/JpegWriter.h"

#include "base/FileReplace.h"
#include "cli/Ppm.h"
#include "jpeg/JpegDecoder.h"
#include "tests/support/JpegFixtures.h"

#include <array>
#include <cerrno>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <gtest/gtest.h>
#include <jpeglib.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace tessaly;
using namespace tessaly::fixtures;
namespace fs = std::filesystem;

namespace {

using QuantTable = std::array<unsigned, DCTSIZE2>;

// What the saved stream declares, read back with libjpeg.
struct SavedHeader {
    int width = 0;
    int height = 0;
    int components = 0;
    bool progressive = false;
    bool arithmetic = false;
    J_COLOR_SPACE colourSpace = JCS_UNKNOWN;
    QuantTable luma{};
    QuantTable chroma{};
};

QuantTable TableOf(const JQUANT_TBL* table) {
    QuantTable out{};
    for (int i = 0; i < DCTSIZE2; ++i)
        out[static_cast<std::size_t>(i)] = table->quantval[i];
    return out;
}

SavedHeader ReadSavedHeader(const Bytes& jpeg) {
    jpeg_decompress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_decompress(&cinfo);
    jpeg_mem_src(&cinfo, jpeg.data(), static_cast<unsigned long>(jpeg.size()));
    jpeg_read_header(&cinfo, TRUE);
    SavedHeader h;
    h.width = static_cast<int>(cinfo.image_width);
    h.height = static_cast<int>(cinfo.image_height);
    h.components = cinfo.num_components;
    h.progressive = cinfo.progressive_mode != 0;
    h.arithmetic = cinfo.arith_code != 0;
    h.colourSpace = cinfo.jpeg_color_space;
    h.luma = TableOf(cinfo.quant_tbl_ptrs[0]);
    h.chroma = TableOf(cinfo.quant_tbl_ptrs[1]);
    jpeg_destroy_decompress(&cinfo);
    return h;
}

// The tables libjpeg makes for a quality with baseline forced.
std::pair<QuantTable, QuantTable> TablesForQuality(int quality) {
    jpeg_compress_struct cinfo{};
    jpeg_error_mgr jerr{};
    cinfo.err = jpeg_std_error(&jerr);
    jpeg_create_compress(&cinfo);
    cinfo.in_color_space = JCS_RGB;
    cinfo.input_components = 3;
    jpeg_set_defaults(&cinfo);
    jpeg_set_quality(&cinfo, quality, TRUE);
    auto tables = std::pair{TableOf(cinfo.quant_tbl_ptrs[0]), TableOf(cinfo.quant_tbl_ptrs[1])};
    jpeg_destroy_compress(&cinfo);
    return tables;
}

bool HasMarker(const Bytes& jpeg, std::uint8_t code) {
    for (std::size_t i = 0; i + 1 < jpeg.size(); ++i)
        if (jpeg[i] == 0xFF && jpeg[i + 1] == code)
            return true;
    return false;
}

unsigned ModeOf(const fs::path& path) {
    struct stat st {};
    EXPECT_EQ(::stat(path.c_str(), &st), 0);
    return st.st_mode & 07777;
}

std::size_t EntriesIn(const fs::path& folder) {
    return static_cast<std::size_t>(
        std::distance(fs::directory_iterator(folder), fs::directory_iterator()));
}

// Sets the umask for one scope.
class ScopedUmask {
public:
    explicit ScopedUmask(mode_t mask) : old_(::umask(mask)) {}
    ~ScopedUmask() { ::umask(old_); }

private:
    mode_t old_;
};

const Bytes kOldContent = {'o', 'l', 'd', ' ', 'f', 'i', 'l', 'e'};

// Keeps new entries out of a folder for one scope while its files stay writable: the
// folder's write permission taken away, or for root, who writes anyway, the folder made
// immutable. locked() is false where neither can be done.
class LockedFolder {
public:
    explicit LockedFolder(const fs::path& folder) : folder_(folder) {
        if (::geteuid() != 0) {
            fs::permissions(folder_, static_cast<fs::perms>(0555));
            locked_ = true;
            return;
        }
        const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int flags = 0;
        if (fd >= 0 && ::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags |= FS_IMMUTABLE_FL;
            immutable_ = locked_ = ::ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
        }
        if (fd >= 0)
            ::close(fd);
    }
    ~LockedFolder() {
        if (!immutable_) {
            fs::permissions(folder_, fs::perms::owner_all);
            return;
        }
        const int fd = ::open(folder_.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        int flags = 0;
        if (::ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
            flags &= ~FS_IMMUTABLE_FL;
            ::ioctl(fd, FS_IOC_SETFLAGS, &flags);
        }
        ::close(fd);
    }
    LockedFolder(const LockedFolder&) = delete;
    LockedFolder& operator=(const LockedFolder&) = delete;
    bool locked() const { return locked_; }

private:
    fs::path folder_;
    bool locked_ = false;
    bool immutable_ = false;
};

} // namespace

TEST(JpegQuality, LevelsGiveTheirQualities) {
    const int expected[] = {0, 56, 66, 73, 79, 83, 87, 91, 94, 97, 99, 101, 104};
    for (int level = 0; level <= 12; ++level)
        EXPECT_EQ(JpegQualityForLevel(level), expected[level]) << "level " << level;
    // Only the low 8 bits are kept for levels far beyond use: level 500 gives 264.
    EXPECT_EQ(JpegQualityForLevel(500), 8);
    EXPECT_THROW(JpegQualityForLevel(-1), std::invalid_argument);
}

TEST(JpegWriter, StartsAtQuality90AndLeavesAnEmptyPictureUncompressed) {
    JpegWriter jpeg;
    EXPECT_EQ(jpeg.CompressionQuality(), 90);
    jpeg.Compress();
    EXPECT_TRUE(jpeg.Stream().empty());
}

TEST(SaveJpegFile, WritesABaselineColourJpegWithQuality94Tables) {
    TempDir dir;
    JpegWriter jpeg(SolidBitmap(48, 40, 200, 100, 30));
    SaveJpegFile(jpeg, dir / "out.jpg", 8);
    EXPECT_EQ(jpeg.CompressionQuality(), 94);
    const Bytes saved = ReadFile(dir / "out.jpg");
    EXPECT_EQ(saved, jpeg.Stream());

    const SavedHeader h = ReadSavedHeader(saved);
    EXPECT_EQ(h.width, 48);
    EXPECT_EQ(h.height, 40);
    EXPECT_EQ(h.components, 3);
    EXPECT_EQ(h.colourSpace, JCS_YCbCr);
    EXPECT_FALSE(h.progressive);
    EXPECT_FALSE(h.arithmetic);
    EXPECT_TRUE(HasMarker(saved, 0xC0)) << "baseline frame";
    const auto [luma, chroma] = TablesForQuality(94);
    EXPECT_EQ(h.luma, luma);
    EXPECT_EQ(h.chroma, chroma);

    // Blue, green and red arrive in their places.
    const Bitmap decoded = DecodeJpeg(saved);
    const std::uint8_t* p = decoded.Row(20) + 3 * 24;
    EXPECT_NEAR(p[0], 200, 3);
    EXPECT_NEAR(p[1], 100, 3);
    EXPECT_NEAR(p[2], 30, 3);
}

TEST(SaveJpegFile, LevelsOutsideOneToTenAreLimitedByLibjpeg) {
    TempDir dir;
    JpegWriter jpeg(GradientBitmap(16, 16));
    SaveJpegFile(jpeg, dir / "q0.jpg", 0); // quality 0 counts as 1
    EXPECT_EQ(ReadSavedHeader(ReadFile(dir / "q0.jpg")).luma, TablesForQuality(1).first);
    SaveJpegFile(jpeg, dir / "q104.jpg", 12); // quality 104 counts as 100
    EXPECT_EQ(ReadSavedHeader(ReadFile(dir / "q104.jpg")).luma, TablesForQuality(100).first);
}

TEST(SaveJpegFile, AGreyPictureIsStillThreeComponentColour) {
    TempDir dir;
    JpegWriter jpeg(SolidBitmap(8, 8, 77, 77, 77));
    SaveJpegFile(jpeg, dir / "grey.jpg", 8);
    EXPECT_EQ(ReadSavedHeader(ReadFile(dir / "grey.jpg")).components, 3);
}

TEST(SaveJpegFile, GivesTheSameBytesAsCjpegWithTheFloatDct) {
    if (std::system("command -v cjpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    TempDir dir;
    for (const auto& [w, h] : {std::pair{64, 48}, {37, 23}, {301, 199}}) {
        const Bitmap picture = GradientBitmap(w, h, 2);
        WriteFile(dir / "in.ppm", WritePpm(picture));
        const std::string command = "cjpeg -quality 94 -dct float -baseline -outfile '" +
                                    (dir / "cjpeg.jpg").string() + "' '" +
                                    (dir / "in.ppm").string() + "'";
        ASSERT_EQ(std::system(command.c_str()), 0) << command;
        JpegWriter jpeg(picture);
        SaveJpegFile(jpeg, dir / "ours.jpg", 8);
        EXPECT_EQ(ReadFile(dir / "ours.jpg"), ReadFile(dir / "cjpeg.jpg")) << w << " x " << h;
    }
}

// The source's profile is embedded unchanged (here split over two segments), exactly as cjpeg
// embeds it, and read back whole; too large a profile is refused.
TEST(SaveJpegFile, EmbedsTheColourProfileUnchanged) {
    TempDir dir;
    Bytes profile(70'000);
    for (std::size_t i = 0; i < profile.size(); ++i)
        profile[i] = static_cast<std::uint8_t>(i * 7 + i / 256);
    const Bitmap picture = GradientBitmap(37, 23, 2);
    JpegWriter jpeg(picture);
    jpeg.SetIccProfile(profile);
    SaveJpegFile(jpeg, dir / "ours.jpg", 8);
    EXPECT_EQ(ReadJpegHeader(ReadFile(dir / "ours.jpg")).iccProfile, profile);
    EXPECT_THROW(jpeg.SetIccProfile(Bytes(kMaxEmbeddedProfileBytes + 1)), std::invalid_argument);

    if (std::system("command -v cjpeg >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "cjpeg (libjpeg-turbo-progs) is not installed";
    WriteFile(dir / "in.ppm", WritePpm(picture));
    WriteFile(dir / "profile.icc", profile);
    const std::string command =
        "cjpeg -quality 94 -dct float -baseline -icc '" + (dir / "profile.icc").string() +
        "' -outfile '" + (dir / "cjpeg.jpg").string() + "' '" + (dir / "in.ppm").string() + "'";
    ASSERT_EQ(std::system(command.c_str()), 0) << command;
    EXPECT_EQ(ReadFile(dir / "ours.jpg"), ReadFile(dir / "cjpeg.jpg"));
}

TEST(SaveJpegFile, ReplacesAnExistingFileEntirely) {
    TempDir dir;
    WriteFile(dir / "out.jpg", Bytes(100000, 0xAB));
    JpegWriter jpeg(SolidBitmap(8, 8, 1, 2, 3));
    SaveJpegFile(jpeg, dir / "out.jpg", 8);
    EXPECT_EQ(ReadFile(dir / "out.jpg"), jpeg.Stream());
    EXPECT_EQ(EntriesIn(dir.path()), 1u) << "no temporary file is left behind";
}

// Regression: a compression failure was swallowed and whatever the stream held written
// over the file.
TEST(SaveJpegFile, ACompressionFailureThrowsAndLeavesTheFileUntouched) {
    TempDir dir;
    WriteFile(dir / "out.jpg", kOldContent);
    JpegWriter jpeg(SolidBitmap(70000, 1, 0, 0, 0)); // wider than JPEG allows
    EXPECT_THROW(SaveJpegFile(jpeg, dir / "out.jpg", 8), JpegError);
    EXPECT_EQ(ReadFile(dir / "out.jpg"), kOldContent);
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

// Regression: the file was created (emptied) before its new content was written.
TEST(SaveJpegFile, AFailedWriteLeavesTheOldFileAndNoTemporaryFile) {
    TempDir dir;
    WriteFile(dir / "out.jpg", kOldContent);
    JpegWriter jpeg(GradientBitmap(300, 300));
    // Files may not grow beyond 1,000 bytes for the duration of the save.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    bool threw = false;
    try {
        SaveJpegFile(jpeg, dir / "out.jpg", 8);
    } catch (const FileCreateError&) {
        threw = true;
    }
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_TRUE(threw);
    EXPECT_GT(jpeg.Stream().size(), 1000u);
    EXPECT_EQ(ReadFile(dir / "out.jpg"), kOldContent);
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

TEST(SaveJpegFile, AFileThatCannotBeCreatedRaisesItsMessage) {
    TempDir dir;
    JpegWriter jpeg(SolidBitmap(4, 4, 0, 0, 0));
    const fs::path path = dir / "missing-folder/out.jpg";
    try {
        SaveJpegFile(jpeg, path, 8);
        FAIL() << "no error";
    } catch (const FileCreateError& e) {
        EXPECT_EQ(std::string(e.what()),
                  "ファイル " + path.string() + " を作成できません: " + SystemReason(ENOENT));
    }
    fs::create_directory(dir / "a-folder");
    EXPECT_THROW(SaveJpegFile(jpeg, dir / "a-folder", 8), FileCreateError);
    EXPECT_TRUE(fs::is_directory(dir / "a-folder"));
}

TEST(SaveJpegFile, AReplacedFileKeepsItsModeAndANewFileFollowsTheUmask) {
    TempDir dir;
    JpegWriter jpeg(SolidBitmap(4, 4, 0, 0, 0));
    {
        ScopedUmask mask(022);
        SaveJpegFile(jpeg, dir / "new.jpg", 8);
        EXPECT_EQ(ModeOf(dir / "new.jpg"), 0644u);
    }
    {
        ScopedUmask mask(077);
        SaveJpegFile(jpeg, dir / "private.jpg", 8);
        EXPECT_EQ(ModeOf(dir / "private.jpg"), 0600u);
    }
    WriteFile(dir / "shared.jpg", kOldContent);
    fs::permissions(dir / "shared.jpg", static_cast<fs::perms>(0664));
    {
        ScopedUmask mask(077);
        SaveJpegFile(jpeg, dir / "shared.jpg", 8);
    }
    EXPECT_EQ(ModeOf(dir / "shared.jpg"), 0664u);
    EXPECT_EQ(ReadFile(dir / "shared.jpg"), jpeg.Stream());
}

TEST(SaveJpegFile, ASymbolicLinkStaysAndItsTargetIsReplaced) {
    TempDir dir;
    WriteFile(dir / "real.jpg", kOldContent);
    fs::create_symlink("real.jpg", dir / "link.jpg");
    JpegWriter jpeg(SolidBitmap(4, 4, 0, 0, 0));
    SaveJpegFile(jpeg, dir / "link.jpg", 8);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "link.jpg")));
    EXPECT_EQ(ReadFile(dir / "real.jpg"), jpeg.Stream());
}

// Regression: a link pointing nowhere, or a looping one, was replaced by a regular file.
TEST(WriteFileReplacing, DanglingLinksCreateTheirTargetAndLoopingLinksAreRefused) {
    TempDir dir;
    fs::create_directory(dir / "sub");
    fs::create_symlink("sub/second", dir / "first");
    fs::create_symlink("new.ppm", dir / "sub" / "second"); // relative to sub/
    const Bytes bytes = {1, 2, 3};
    WriteFileReplacing(dir / "first", bytes);
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "first")));
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / "sub" / "second")));
    EXPECT_EQ(ReadFile(dir / "sub" / "new.ppm"), bytes);

    fs::create_symlink("missing-folder/x.ppm", dir / "nowhere");
    fs::create_symlink("self", dir / "self");
    fs::create_symlink("pong", dir / "ping");
    fs::create_symlink("ping", dir / "pong");
    fs::create_symlink("self/x.ppm", dir / "through-a-loop");
    for (const auto& [name, reason] :
         {std::pair{"nowhere", ENOENT}, std::pair{"self", ELOOP}, std::pair{"ping", ELOOP},
          std::pair{"through-a-loop", ELOOP}}) {
        SCOPED_TRACE(name);
        try {
            WriteFileReplacing(dir / name, bytes);
            ADD_FAILURE() << "no error";
        } catch (const FileCreateError& e) {
            EXPECT_EQ(std::string(e.what()), "ファイル " + (dir / name).string() +
                                                 " を作成できません: " + SystemReason(reason));
        }
        EXPECT_TRUE(fs::is_symlink(fs::symlink_status(dir / name)));
    }
    EXPECT_EQ(EntriesIn(dir.path()), 7u) << "no temporary file is left behind";
}

// Regression: the temporary name was the target's name and nine more bytes.
TEST(WriteFileReplacing, NamesOfTheLongestLengthSave) {
    TempDir dir;
    std::string name;
    for (int i = 0; i < 85; ++i)
        name += "写"; // 3 bytes each: 255 in all
    const Bytes bytes = {1, 2, 3};
    WriteFileReplacing(dir / name, bytes);
    WriteFileReplacing(dir / name, kOldContent);
    EXPECT_EQ(ReadFile(dir / name), kOldContent);
    EXPECT_EQ(EntriesIn(dir.path()), 1u);
}

// The rename makes a new file: the other names of a hard-linked file keep the old content.
TEST(WriteFileReplacing, AHardLinkedFileIsReplacedByANewFile) {
    TempDir dir;
    WriteFile(dir / "a.ppm", kOldContent);
    fs::create_hard_link(dir / "a.ppm", dir / "b.ppm");
    const Bytes bytes = {1, 2, 3};
    WriteFileReplacing(dir / "a.ppm", bytes);
    EXPECT_EQ(ReadFile(dir / "a.ppm"), bytes);
    EXPECT_EQ(ReadFile(dir / "b.ppm"), kOldContent);
}

// Regression: a writable file in a folder that takes no new entries was refused.
TEST(WriteFileReplacing, AWritableFileInALockedFolderIsRewrittenInPlace) {
    TempDir dir;
    const fs::path folder = dir / "locked";
    fs::create_directory(folder);
    const Bytes longer(5000, 0x5A);
    WriteFile(folder / "a.ppm", longer);
    fs::create_hard_link(folder / "a.ppm", folder / "b.ppm");
    LockedFolder lock(folder);
    if (!lock.locked())
        GTEST_SKIP() << "no folder here can be locked";

    // Shorter content: the file is cut to it, and keeps its hard links.
    WriteFileReplacing(folder / "a.ppm", kOldContent);
    EXPECT_EQ(ReadFile(folder / "a.ppm"), kOldContent);
    EXPECT_EQ(ReadFile(folder / "b.ppm"), kOldContent);
    // Longer content than the file size limit allows: refused before anything is written.
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    rlimit old{};
    ASSERT_EQ(::getrlimit(RLIMIT_FSIZE, &old), 0);
    rlimit small = old;
    small.rlim_cur = 1000;
    ASSERT_EQ(::setrlimit(RLIMIT_FSIZE, &small), 0);
    EXPECT_THROW(WriteFileReplacing(folder / "a.ppm", longer), FileCreateError);
    ::setrlimit(RLIMIT_FSIZE, &old);
    std::signal(SIGXFSZ, oldHandler);
    EXPECT_EQ(ReadFile(folder / "a.ppm"), kOldContent);
    // Longer content that fits.
    WriteFileReplacing(folder / "a.ppm", longer);
    EXPECT_EQ(ReadFile(folder / "a.ppm"), longer);
    // A new file cannot be made there.
    EXPECT_THROW(WriteFileReplacing(folder / "new.ppm", longer), FileCreateError);
    EXPECT_EQ(EntriesIn(folder), 2u);
}

// Regression: PPM output was made whole in memory before it was written.
TEST(WriteFileReplacing, ContentMadeWhileItIsWrittenReplacesTheFileOnlyWhenComplete) {
    TempDir dir;
    Bytes content(3 * (std::size_t{1} << 20) + 7);
    for (std::size_t i = 0; i < content.size(); ++i)
        content[i] = static_cast<std::uint8_t>(i * 7);
    // Three bytes at a time, across the pieces the file is written in.
    const ContentProducer inSmallPieces = [&](const ContentSink& sink) {
        for (std::size_t i = 0; i < content.size(); i += 3)
            sink(std::span(content).subspan(i, std::min<std::size_t>(3, content.size() - i)));
    };
    struct GivenUp {};
    const ContentProducer givenUpHalfWay = [&](const ContentSink& sink) {
        sink(std::span(content).first(content.size() / 2));
        throw GivenUp{};
    };
    const fs::path target = dir / "out.ppm";
    WriteFile(target, kOldContent);
    EXPECT_THROW(WriteFileReplacing(target, content.size(), givenUpHalfWay), GivenUp);
    for (const std::size_t wrongSize : {content.size() - 1, content.size() + 1})
        EXPECT_THROW(WriteFileReplacing(target, wrongSize, inSmallPieces), std::logic_error);
    EXPECT_EQ(ReadFile(target), kOldContent);
    EXPECT_EQ(EntriesIn(dir.path()), 1u) << "no temporary file is left behind";
    WriteFileReplacing(target, content.size(), inSmallPieces);
    EXPECT_EQ(ReadFile(target), content);

    // Rewritten in place, where the folder takes no new entries.
    const fs::path folder = dir / "locked";
    fs::create_directory(folder);
    WriteFile(folder / "a.ppm", kOldContent);
    LockedFolder lock(folder);
    if (!lock.locked())
        GTEST_SKIP() << "no folder here can be locked";
    EXPECT_THROW(WriteFileReplacing(folder / "a.ppm", content.size(), givenUpHalfWay), GivenUp);
    EXPECT_EQ(ReadFile(folder / "a.ppm"), kOldContent);
    WriteFileReplacing(folder / "a.ppm", content.size(), inSmallPieces);
    EXPECT_EQ(ReadFile(folder / "a.ppm"), content);
}

// Regression: root, whom the system lets write any file, replaced a read-only one.
TEST(WriteFileReplacing, RefusesAReadOnlyFileWhoeverSaves) {
    TempDir dir;
    WriteFile(dir / "locked.ppm", kOldContent);
    fs::permissions(dir / "locked.ppm", static_cast<fs::perms>(0444));
    const Bytes bytes = {1, 2, 3};
    EXPECT_THROW(WriteFileReplacing(dir / "locked.ppm", bytes), FileCreateError);
    EXPECT_EQ(ReadFile(dir / "locked.ppm"), kOldContent);
    // Its owner may write it, though nobody may read it: not read-only.
    WriteFile(dir / "write-only.ppm", kOldContent);
    fs::permissions(dir / "write-only.ppm", static_cast<fs::perms>(0200));
    WriteFileReplacing(dir / "write-only.ppm", bytes);
    EXPECT_EQ(ModeOf(dir / "write-only.ppm"), 0200u);
    fs::permissions(dir / "write-only.ppm", static_cast<fs::perms>(0600));
    EXPECT_EQ(ReadFile(dir / "write-only.ppm"), bytes);
}
