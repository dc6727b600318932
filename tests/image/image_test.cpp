// What the end-to-end pictures do not show of the image writer: the sizes it refuses before
// creating a file, the largest side it takes, BMP row padding (their widths need none), a write
// that fails, names that stand for something the writer did not make, and the memory limit.
#include "image/image.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <csignal>
#include <filesystem>
#include <fstream>
#include <limits>

#include "app/settings.h"
#include "image/bmp.h"
#include "image/frame.h"
#include "image/image.h"
#include "objects/hierarchy/pqueue.h"
#include "render/render_settings.h"
#include "support/files.h"

using Bytes = std::vector<unsigned char>;
using Result = std::pair<int, std::string>;
using testing::internal::CaptureStdout, testing::internal::GetCapturedStdout;

namespace {

// openImage with what it printed.
Result open(const std::string& base, int width, int height) {
    CaptureStdout();
    const int result = openImage(base.c_str(), width, height);
    return {result, GetCapturedStdout()};
}

class ImageDispatch : public testing::Test {
protected:
    void TearDown() override {
        discardImage();
        iImageType = 1;
    }
    TempDir dir;
};

}  // namespace

TEST_F(ImageDispatch, RefusesWhatItCannotWriteBeforeCreatingAFile) {
    const struct {
        int type, width, height;
        std::string message;
    } cases[] = {
        {1, 0, 240, " Image size 0 x 240 is not valid\n"},
        {4, 10, 65501, " Image size 10 x 65501 is too large for JPEG\n"},
        {3, 1000001, 1, " Image size 1000001 x 1 is too large for PNG\n"},
        {2, 1, 65536, " Image size 1 x 65536 is too large: at most 65535 pixels a side\n"},
        {6, 4, 4, " Unknown image type 6\n"},
    };
    for (const auto& c : cases) {
        iImageType = c.type;
        const Result opened = open(dir.path("pic"), c.width, c.height);
        EXPECT_EQ(opened, Result(-1, c.message));
        EXPECT_TRUE(dir.empty()) << c.message;
        if (opened.first == 0) discardImage();  // the row below would not fill it
        EXPECT_EQ(writeImageLine(Bytes(30).data(), 0), -1) << c.message;
        EXPECT_EQ(closeImage(), -1) << c.message;
    }
}

// Sides of 65535 pixels are written; and a finished picture is no longer the signal handler's
// to remove.
TEST_F(ImageDispatch, SidesOf65535PixelsAreWritten) {
    iImageType = 2;
    for (const auto& [width, height] : {std::pair{65535, 1}, {1, 65535}}) {
        ASSERT_EQ(open(dir.path("side"), width, height).first, 0) << width;
        EXPECT_EQ(closeImage(), 0) << width;
        EXPECT_TRUE(removeUnfinishedOutput(SIGINT));
        EXPECT_TRUE(readWholeFile(dir.path("side.ppm"))
                        .starts_with("P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n"));
    }
}

TEST_F(ImageDispatch, BmpRowsPaddedToFourBytesBottomRowFirst) {
    ASSERT_EQ(openBMP(dir.path("p.bmp").c_str(), 3, 2), 0);
    Bytes top{1, 2, 3, 4, 5, 6, 7, 8, 9}, bottom{11, 12, 13, 14, 15, 16, 17, 18, 19};
    ASSERT_EQ(writeBMPLine(top.data(), 0), 0);
    ASSERT_EQ(writeBMPLine(bottom.data(), 1), 0);
    ASSERT_EQ(closeBMP(), 0);
    Bytes expected(54);  // sizes below 256 keep every field of the header one byte
    for (auto [at, value] :
         {std::pair{0, 'B'}, {1, 'M'}, {2, 54 + 24}, {10, 54}, {14, 40}, {18, 3}, {22, 2}, {26, 1}, {28, 24}, {34, 24}})
        expected[at] = static_cast<unsigned char>(value);
    expected.insert(expected.end(), {13, 12, 11, 16, 15, 14, 19, 18, 17, 0, 0, 0, 3, 2, 1, 6, 5, 4, 9, 8, 7, 0, 0, 0});
    EXPECT_EQ(readFileBytes(dir.path("p.bmp")), expected);
    EXPECT_TRUE(bmpCanStore(1, 1073741810));  // 54 + 4 h just below 2^32
    EXPECT_FALSE(bmpCanStore(1, 1073741811));
}

// A frame beyond half the machine's memory is refused without touching memory.
TEST(Frame, BeyondHalfTheMemoryIsRefusedUntouched) {
    const std::size_t rows = (frameMemoryLimit() / 3 + 1 + 65534) / 65535;
    ASSERT_LE(rows, std::size_t(INT_MAX));
    Frame frame;
    errno = 0;
    EXPECT_FALSE(frame.allocate(65535, int(rows)));
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(frame.row(0), nullptr);
}

// A write that fails (here: beyond a file size limit) is reported and leaves no file.
TEST_F(ImageDispatch, AFailedWriteIsReportedAndLeavesNoFile) {
    constexpr const char* suffixes[] = {".tga", ".bmp", ".ppm", ".png", ".jpg"};
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 4096;
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    Bytes row(64 * 3);  // bytes that do not compress, so that every format goes past the limit
    unsigned state = 12345;
    for (int type = 0; type < 5; ++type) {
        iImageType = type;
        ASSERT_EQ(open(dir.path("pic"), 64, 64).first, 0);
        for (int y = 0; y < 64; ++y) {
            for (auto& byte : row) byte = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 16);
            writeImageLine(row.data(), y);
        }
        testing::internal::CaptureStderr();
        CaptureStdout();
        setrlimit(RLIMIT_FSIZE, &limit);
        const int closed = closeImage();
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(Result(closed, GetCapturedStdout()),
                  Result(-1, " Cannot write image file: " + dir.path("pic") + suffixes[type] + " (File too large)\n"));
        EXPECT_EQ(testing::internal::GetCapturedStderr().empty(), type <= 2) << type;  // libpng, libjpeg say why
        EXPECT_TRUE(dir.empty()) << type;
    }
    std::signal(SIGXFSZ, previous);
}

// A name may stand for something the writer did not make: a link to a device, a pipe, a link to a
// picture not made yet (followed from the link's own directory). The writer writes through it as
// fopen would and never removes it, whether the picture fails, is dropped or its run is ended by a
// signal; a link to a picture not made yet makes the picture and stays a link.
TEST_F(ImageDispatch, WritesThroughWhatTheNameStandsForAndNeverRemovesIt) {
    namespace fs = std::filesystem;
    iImageType = 2;
    fs::create_directory(dir.path("sub"));
    fs::create_symlink("/dev/full", dir.path("full.ppm"));
    fs::create_symlink("made.ppm", dir.path("dangling.ppm"));
    fs::create_symlink("sub/next.ppm", dir.path("chain.ppm"));
    fs::create_symlink("../chained.ppm", dir.path("sub/next.ppm"));
    ASSERT_EQ(mkfifo(dir.path("fifo.ppm").c_str(), 0600), 0);
    const int reader = ::open(dir.path("fifo.ppm").c_str(), O_RDONLY | O_NONBLOCK);  // a reader, so opening does not wait
    ASSERT_GE(reader, 0);
    const std::string header = "P6\n2 1\n255\n";
    const struct {
        const char* name;
        const char* made;  // the file the picture goes to, or null where it cannot be read back
        std::string message;
    } cases[] = {
        {"full", nullptr, " Cannot write image file: " + dir.path("full") + ".ppm (No space left on device)\n"},
        {"fifo", nullptr, ""},
        {"dangling", "made.ppm", ""},
        {"chain", "chained.ppm", ""},
    };
    for (const auto& c : cases) {
        const std::string base = dir.path(c.name);
        const auto type = fs::symlink_status(base + ".ppm").type();
        // Dropped, or ended by a signal, before the picture is complete: the name stays as it was.
        ASSERT_EQ(open(base, 2, 1).first, 0) << c.name;
        EXPECT_TRUE(removeUnfinishedOutput(SIGTERM)) << c.name;
        discardImage();
        EXPECT_EQ(fs::symlink_status(base + ".ppm").type(), type) << c.name;
        EXPECT_FALSE(c.made && fs::exists(dir.path(c.made))) << c.name;
        // Written to the end.
        ASSERT_EQ(open(base, 2, 1).first, 0) << c.name;
        Bytes row{1, 2, 3, 4, 5, 6};
        writeImageLine(row.data(), 0);
        CaptureStdout();
        const int closed = closeImage();
        EXPECT_EQ(Result(closed, GetCapturedStdout()), Result(c.message.empty() ? 0 : -1, c.message)) << c.name;
        EXPECT_EQ(fs::symlink_status(base + ".ppm").type(), type) << c.name;
        if (c.made) {
            EXPECT_EQ(readWholeFile(dir.path(c.made)), header + "\x01\x02\x03\x04\x05\x06") << c.name;
        }
    }
    char bytes[64] = {};
    EXPECT_EQ(read(reader, bytes, sizeof bytes), ssize_t(header.size() + 6));
    EXPECT_EQ(std::string(bytes, header.size()), header);
    close(reader);
}

// The frame may take half of the memory the process may use: the machine's, or that of its
// control group when that is less (cgroup v2 memory.max, v1 memory.limit_in_bytes, the least on
// the way up from the process's group). Here the files of a made-up system under a directory.
TEST(Frame, TheLimitOfTheControlGroupCounts) {
    const std::size_t none = std::numeric_limits<std::size_t>::max();
    const struct {
        const char* what;
        std::string cgroups;                                     // /proc/self/cgroup
        std::vector<std::pair<std::string, std::string>> files;  // under sys/fs/cgroup
        std::size_t limit;
    } cases[] = {
        {"v2, set above",
         "0::/user/job\n",
         {{"user/job/memory.max", "max\n"}, {"user/memory.max", "1073741824\n"}},
         1073741824},
        {"v2, namespaced", "0::/\n", {{"memory.max", "268435456\n"}}, 268435456},
        {"v2 beside v1", "4:memory:/\n0::/a\n", {{"unified/a/memory.max", "5000000\n"}}, 5000000},
        {"v1",
         "5:cpu:/x\n4:memory:/a/b\n0::/\n",
         {{"memory/a/b/memory.limit_in_bytes", "536870912\n"}, {"memory/memory.limit_in_bytes", "9223372036854771712\n"}},
         536870912},
        {"v1 deeper than mounted", "4:memory:/host/a\n", {{"memory/memory.limit_in_bytes", "7340032\n"}}, 7340032},
        {"v1 and v2: the less",
         "4:memory:/a\n0::/a\n",
         {{"memory/a/memory.limit_in_bytes", "900000\n"}, {"a/memory.max", "800000\n"}},
         800000},
        {"no limit", "0::/\n", {{"memory.max", "max\n"}}, none},
        {"no files", "", {}, none},
    };
    for (const auto& c : cases) {
        TempDir root;
        std::filesystem::create_directories(root.path("proc/self"));
        std::ofstream(root.path("proc/self/cgroup")) << c.cgroups;
        for (const auto& [file, text] : c.files) {
            const std::filesystem::path path = root.path("sys/fs/cgroup/" + file);
            std::filesystem::create_directories(path.parent_path());
            std::ofstream(path) << text;
        }
        EXPECT_EQ(controlGroupMemoryLimit(root.path()), c.limit) << c.what;
    }
    EXPECT_LE(frameMemoryLimit(), controlGroupMemoryLimit("/") / 2);
}
