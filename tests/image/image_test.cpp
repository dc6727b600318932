#include "image/image.h"

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <csignal>
#include <thread>

#include <unistd.h>

#include <cerrno>
#include <climits>

#include "app/settings.h"
#include "image/writer.h"
#include "support/temp_dir.h"

using Bytes = std::vector<unsigned char>;
using Result = std::pair<int, std::string>;
using testing::internal::CaptureStdout;
using testing::internal::GetCapturedStdout;

namespace {

constexpr const char* suffixes[] = {".tga", ".bmp", ".ppm", ".png", ".jpg"};

// Row y of a picture whose bytes vary with position, so a misplaced row changes the file.
Bytes pictureRow(int width, int y) {
    Bytes row(width * 3);
    unsigned state = 12345u + 977u * y;
    for (auto& byte : row) byte = static_cast<unsigned char>((state = state * 1103515245u + 12345u) >> 16);
    return row;
}

// openImage with what it printed.
Result open(const std::string& base, int width, int height) {
    CaptureStdout();
    const int result = openImage(base.c_str(), width, height);
    return {result, GetCapturedStdout()};
}

// Opens base, hands over the rows in the given order from `bands` threads (band b takes every
// bands-th entry of the order), closes the image and returns the file.
Bytes writePicture(const std::string& base, int width, const std::vector<int>& order, int bands = 1) {
    if (open(base, width, int(order.size())).first != 0) return {};
    std::vector<std::thread> threads;
    for (int band = 0; band < bands; ++band) {
        threads.emplace_back([&, band] {
            for (std::size_t i = band; i < order.size(); i += bands) {
                writeImageLine(pictureRow(width, order[i]).data(), order[i]);
            }
        });
    }
    for (auto& thread : threads) thread.join();
    return closeImage() == 0 ? readFileBytes(base + suffixes[iImageType]) : Bytes{};
}

class ImageDispatch : public ::testing::Test {
protected:
    void TearDown() override {
        discardImage();
        iImageType = 1;
    }
    TempDir dir;
};

}  // namespace

TEST_F(ImageDispatch, NamesTheFileAfterTheTypeAndAnnouncesIt) {
    const std::string base = dir.path("pic");
    for (int type = 0; type < 5; ++type) {
        iImageType = type;
        EXPECT_EQ(open(base, 320, 240),
                  Result(0, " Rendering to: " + base + suffixes[type] + "\n Resolution:   320 x 240\n"));
        EXPECT_EQ(closeImage(), 0);
    }
    EXPECT_EQ(readFileBytes(base + ".bmp").size(), 54u + 960 * 240);
    EXPECT_EQ(readFileBytes(base + ".jpg")[0], 0xFF);
}

TEST_F(ImageDispatch, RowOrderDoesNotChangeTheFile) {
    for (int type = 0; type < 5; ++type) {
        SCOPED_TRACE(type);
        iImageType = type;
        const Bytes topDown = writePicture(dir.path("a"), 7, {0, 1, 2, 3, 4});
        ASSERT_FALSE(topDown.empty());
        EXPECT_EQ(writePicture(dir.path("b"), 7, {4, 3, 2, 1, 0}), topDown);
        EXPECT_EQ(writePicture(dir.path("c"), 7, {2, 4, 0, 3, 1}), topDown);
    }
}

TEST_F(ImageDispatch, RefusesWhatItCannotWriteBeforeCreatingAFile) {
    const std::string pic = dir.path("pic"), missing = dir.path("missing/pic");
    const struct {
        int type, width, height;
        std::string base, message;
    } cases[] = {
        {1, 0, 240, pic, " Image size 0 x 240 is not valid\n"},
        {2, -5, 10, pic, " Image size -5 x 10 is not valid\n"},
        {0, 70000, 10, pic, " Image size 70000 x 10 is too large for TGA\n"},
        {4, 10, 65501, pic, " Image size 10 x 65501 is too large for JPEG\n"},
        {3, 1000001, 1, pic, " Image size 1000001 x 1 is too large for PNG\n"},
        {1, 2147483647, 2, pic, " Image size 2147483647 x 2 is too large for BMP\n"},
        {2, 65536, 1, pic, " Image size 65536 x 1 is too large: at most 65535 pixels a side\n"},
        {3, 1, 1000000, pic, " Image size 1 x 1000000 is too large: at most 65535 pixels a side\n"},
        {1, 4, 4, missing, " Cannot create image file: " + missing + ".bmp (No such file or directory)\n"},
        {5, 4, 4, pic, " Unknown image type 5\n"},
    };
    for (const auto& c : cases) {
        iImageType = c.type;
        EXPECT_EQ(open(c.base, c.width, c.height), Result(-1, c.message));
        EXPECT_TRUE(dir.empty()) << c.message;
        EXPECT_EQ(writeImageLine(Bytes(30).data(), 0), -1);
        EXPECT_EQ(closeImage(), -1);
    }
}

TEST(Frame, TakesAtMostHalfTheMachinesMemory) {
    const std::size_t limit = frameMemoryLimit();
    const long pages = sysconf(_SC_PHYS_PAGES);
    EXPECT_EQ(limit, std::size_t(pages) / 2 * std::size_t(sysconf(_SC_PAGESIZE)));
    // The first frame of 65535-pixel rows beyond the limit: refused without touching memory.
    const std::size_t rows = (limit / 3 + 1 + 65534) / 65535;
    ASSERT_LE(rows, std::size_t(INT_MAX));
    Frame frame;
    errno = 0;
    EXPECT_FALSE(frame.allocate(65535, int(rows)));
    EXPECT_EQ(errno, ENOMEM);
    EXPECT_EQ(frame.row(0), nullptr);
    ASSERT_TRUE(frame.allocate(65535, 2));
    EXPECT_NE(frame.row(1), nullptr);
}

TEST_F(ImageDispatch, OnlyAnUnfinishedImageIsRemovedForASignal) {
    iImageType = 2;
    ASSERT_EQ(open(dir.path("pic"), 3, 3).first, 0);
    removeUnfinishedOutput();
    EXPECT_TRUE(dir.empty());
    discardImage();
    ASSERT_EQ(open(dir.path("done"), 1, 1).first, 0);
    ASSERT_EQ(writeImageLine(Bytes(3, 7).data(), 0), 0);
    ASSERT_EQ(closeImage(), 0);
    removeUnfinishedOutput();
    EXPECT_EQ(readFileBytes(dir.path("done.ppm")).size(), 11u + 3);
}

TEST_F(ImageDispatch, DiscardRemovesTheFile) {
    for (int type = 0; type < 5; ++type) {
        iImageType = type;
        ASSERT_EQ(open(dir.path("pic"), 3, 3).first, 0);
        ASSERT_EQ(writeImageLine(Bytes(9, 128).data(), 1), 0);
        discardImage();
        EXPECT_TRUE(dir.empty()) << type;
        EXPECT_EQ(writeImageLine(Bytes(9).data(), 1), -1);
    }
}

TEST_F(ImageDispatch, AFailedWriteIsReportedAndLeavesNoFile) {
    rlimit saved{};
    getrlimit(RLIMIT_FSIZE, &saved);
    rlimit limit = saved;
    limit.rlim_cur = 4096;  // writes beyond fail with EFBIG
    auto previous = std::signal(SIGXFSZ, SIG_IGN);
    for (int type = 0; type < 5; ++type) {
        iImageType = type;
        const std::string file = dir.path("pic") + suffixes[type];
        ASSERT_EQ(open(dir.path("pic"), 64, 64).first, 0);
        for (int y = 0; y < 64; ++y) writeImageLine(pictureRow(64, y).data(), y);
        testing::internal::CaptureStderr();
        CaptureStdout();
        setrlimit(RLIMIT_FSIZE, &limit);
        const int closed = closeImage();
        setrlimit(RLIMIT_FSIZE, &saved);
        EXPECT_EQ(Result(closed, GetCapturedStdout()),
                  Result(-1, " Cannot write image file: " + file + " (File too large)\n"));
        EXPECT_EQ(testing::internal::GetCapturedStderr().empty(), type <= 2) << type;  // libpng, libjpeg say why
        EXPECT_TRUE(dir.empty()) << type;
    }
    std::signal(SIGXFSZ, previous);
}

TEST(ImageThreads, RowsFromSeveralThreadsMakeTheSameFile) {
    TempDir dir;
    std::vector<int> order(64);
    for (int y = 0; y < 64; ++y) order[y] = y;
    iImageType = 0;
    const Bytes alone = writePicture(dir.path("alone"), 50, order);
    ASSERT_EQ(alone.size(), 18u + 50 * 64 * 3);
    EXPECT_EQ(writePicture(dir.path("together"), 50, order, 4), alone);
    iImageType = 1;
}
