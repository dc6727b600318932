// Rows cut into spans and blocks: the scans give the same bytes however the rows are cut and
// whoever renders them, and the block handout gives every row exactly once.
#include <algorithm>
#include <chrono>
#include <numeric>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "image/image.h"
#include "objects/bound.h"
#include "objects/plane.h"
#include "objects/sphere.h"
#include "render/row_blocks.h"
#include "support/files.h"
#include "support/render_fixture.h"

namespace {

using Picture = std::vector<std::vector<unsigned char>>;  // row by row

// A feed that gives the spans of a list in turn and keeps the rows it is handed.
struct ListFeed {
    std::vector<RowSpan> spans;
    Picture rows;
    std::size_t next = 0;
    int handed = 0;  // rows handed over, counting repeats

    static bool nextSpan(void* owner, RowSpan* span) {
        ListFeed& feed = *static_cast<ListFeed*>(owner);
        if (feed.next == feed.spans.size()) return false;
        *span = feed.spans[feed.next++];
        return true;
    }
    static void keepRow(void* owner, unsigned char* row, int y) {
        ListFeed& feed = *static_cast<ListFeed*>(owner);
        feed.rows[y].assign(row, row + 3 * myDisplay.width);
        ++feed.handed;
    }
};

void (*const scans[])(RowFeed*) = {scanNone, scanCorners, scanAdaptive};

class Rows : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        makeScene();
        myDisplay = {29, 23, {}};
        adapt_dist = 6;
    }
    // Two spheres over a floor, lit: edges everywhere for the anti-aliasing to work on.
    static void makeScene() {
        nPrims = 0;
        makePlane({0, 0, -1}, 1.0)->surface = matte({0.8, 0.6, 0.4}, 0.1, 0.7);
        makeSphere({-1, 6, 0}, 1)->surface = matte({0.2, 0.9, 0.3}, 0.1, 0.8);
        makeSphere({1.2, 7, 0.4}, 0.9)->surface = matte({0.9, 0.2, 0.2}, 0.2, 0.7);
        buildBoundingSlabs();
        makeLight({3, 2, 5}, {1, 1, 1}, 0, 1, 0, 0, 1, 0, 0, {0, 1, 0});
    }

    static Picture scanList(void (*scan)(RowFeed*), std::vector<RowSpan> spans) {
        ListFeed list{std::move(spans), Picture(myDisplay.height)};
        RowFeed feed{ListFeed::nextSpan, ListFeed::keepRow, &list};
        scan(&feed);
        EXPECT_EQ(list.handed, myDisplay.height);
        return list.rows;
    }
};

using RowsThreads = Rows;

// Spans of one to five rows in a shuffled order, one span of the whole picture, and the band
// feed of the driver all give the same rows, in each mode.
TEST_F(Rows, AnyCutOfTheRowsGivesTheSameBytes) {
    std::vector<RowSpan> pieces;
    for (int first = 0, size = 1; first < myDisplay.height; first += size, size = size % 5 + 1)
        pieces.push_back({first, std::min(first + size, myDisplay.height)});
    std::shuffle(pieces.begin(), pieces.end(), std::mt19937(7));
    for (int mode = 0; mode < 3; ++mode) {
        iAntialias = mode;
        const Picture whole = scanList(scans[mode], {{0, myDisplay.height}});
        EXPECT_EQ(scanList(scans[mode], pieces), whole) << "mode " << mode;
        EXPECT_NE(whole.front(), whole.back());  // the picture is not uniform
    }
    BandRows band{{3, 9}, false};
    RowFeed feed = bandFeed(&band);
    RowSpan span{};
    EXPECT_TRUE(feed.next(feed.owner, &span) && span.first == 3 && span.end == 9);
    EXPECT_FALSE(feed.next(feed.owner, &span));
}

TEST(RowBlocks, CoverTheRowsOnceLargeFirstThenSmall) {
    struct Case {
        int height;
        int workers;
        std::vector<int> sizes;
    };
    for (const Case& t :
         {Case{480, 2, {60, 53, 46, 41, 35, 31, 27, 24, 21, 18, 16, 14, 12, 11, 9, 8, 7, 6, 6, 5, 4, 4, 4, 4, 4, 4, 4, 2}},
          Case{10, 4, {4, 4, 2}}, Case{1, 1, {1}}, Case{0, 3, {}}, Case{40, 0, {10, 8, 6, 4, 4, 4, 4}}}) {
        RowBlocks blocks(t.height, t.workers);
        std::vector<int> sizes;
        int end = 0;
        for (RowSpan span; blocks.next(&span); end = span.end) {
            EXPECT_EQ(span.first, end);
            sizes.push_back(span.end - span.first);
        }
        EXPECT_EQ(end, t.height);
        EXPECT_EQ(sizes, t.sizes) << t.height << " rows, " << t.workers << " workers";
    }
    for (int workers : {1, 8, 64}) {  // a 4K picture: every block within the bounds but the last
        RowBlocks blocks(2160, workers);
        int small = 0;
        for (RowSpan span; blocks.next(&span);) {
            EXPECT_LE(span.end - span.first, maxBlockRows);
            small += span.end - span.first < minBlockRows;
        }
        EXPECT_LE(small, 1) << workers;
    }
}

// The cluster program's handout without the messages: the test's thread plays the main threads
// of two processes. One writes the image with two render threads taking blocks from the sequence
// (ImageBlocks); the other renders with three threads from a queue (BlockQueue) whose finished
// blocks the first writes, answering each with the next block. The image is the single band's.
TEST_F(RowsThreads, BlocksRenderedAnywhereMakeTheSingleBandsImage) {
    TempDir dir;
    iImageType = 2;
    for (int mode = 0; mode < 3; ++mode) {
        iAntialias = mode;
        std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", dir.path("single").c_str());
        testing::internal::CaptureStdout();
        doTrace(RenderDriver::callingThread);
        makeScene();  // doTrace released it

        std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", dir.path("blocks").c_str());
        ASSERT_EQ(openImage(myDisplay.outputName, myDisplay.width, myDisplay.height), 0);
        const std::size_t rowBytes = 3 * std::size_t(myDisplay.width);
        ImageBlocks image(myDisplay.height, 5, rowBytes);
        BlockQueue queue(rowBytes);
        for (int k = 0; k < 4; ++k) {  // the queue's first blocks, taken without asking
            RowSpan span;
            ASSERT_TRUE(image.take(&span));
            queue.add(span);
        }
        std::vector<RowFeed> feeds(2, image.feed());
        std::vector<BlockQueue::Taker> takers(3);
        for (BlockQueue::Taker& taker : takers) {
            taker.queue = &queue;
            feeds.push_back(BlockQueue::feed(&taker));
        }
        std::vector<std::jthread> threads;
        for (RowFeed& feed : feeds) threads.emplace_back(renderThreadRows, &feed);
        int answers = 0;
        while (!queue.drained()) {
            if (const auto block = queue.takeFinished(std::chrono::milliseconds(1))) {
                RowSpan next;
                const bool more = image.take(&next);
                queue.answer(more ? &next : nullptr);
                image.write(block->span, block->rows.data());
                ++answers;
            }
        }
        threads.clear();
        EXPECT_EQ(image.rowsWritten(), myDisplay.height);
        EXPECT_GE(answers, 4);
        EXPECT_EQ(closeImage(), 0);
        testing::internal::GetCapturedStdout();
        EXPECT_EQ(readWholeFile(dir.path("blocks.ppm")), readWholeFile(dir.path("single.ppm"))) << "mode " << mode;
    }
}

}  // namespace
