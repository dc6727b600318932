// The block handout gives every row exactly once, and so do the shares of the rows a resumed render
// lacks. (Blocks rendered by any thread of any process making the single band's bytes is the
// cluster program's identity test.)
#include <gtest/gtest.h>

#include <vector>

#include "render/row_blocks.h"
#include "render/rows_left.h"

TEST(RowBlocks, CoverEveryRowOnceInShrinkingBlocks) {
    for (int height : {0, 1, 10, 480, 2160}) {
        for (int workers : {0, 1, 4, 64}) {
            RowBlocks blocks(height, workers);
            int end = 0, last = maxBlockRows;
            for (RowSpan span; blocks.next(&span); end = span.end) {
                const int size = span.end - span.first;
                EXPECT_EQ(span.first, end) << height << " rows, " << workers << " workers";
                EXPECT_TRUE(size <= last && (size >= minBlockRows || span.end == height))
                    << height << " rows, " << workers << " workers: " << span.first << ".." << span.end;
                last = size;
            }
            EXPECT_EQ(end, height) << workers << " workers";
        }
    }
}

// With every row left the shares are the thread bands; with rows done, each share holds the same
// number of rows left (give or take one), and the spans and blocks hold each row left once and no
// row done.
TEST(RowsLeft, SharesSpansAndBlocksHoldEachRowLeftOnce) {
    for (const auto& [height, n] : {std::pair{245, 4}, {100, 8}, {7, 8}}) {
        const RowsLeft all(height);
        for (int k = 0; k < n; ++k) {
            const RowSpan band = all.share(k, n);
            EXPECT_TRUE(band.first == k * height / n && band.end == (k + 1) * height / n) << height << " rows, share " << k;
        }
    }
    RowsLeft left(100);
    for (int y : {0, 1, 2, 3, 10, 11, 50, 51, 52, 98, 99}) left.markDone(y);
    left.markDone(10);  // once done, always done
    ASSERT_EQ(left.count(), 89);
    std::vector<int> seen(100, 0);
    for (int k = 0; k < 4; ++k) {
        RowSpan stretch = left.share(k, 4), span{};
        int rows = 0;
        for (RowSpan rest = stretch; left.nextSpan(&rest, &span); rows += span.end - span.first)
            for (int y = span.first; y < span.end; ++y) ++seen[y];
        EXPECT_TRUE(rows == 89 / 4 || rows == 89 / 4 + 1) << "share " << k << ": " << rows;
    }
    RowBlocks blocks(100, 3, &left);
    for (RowSpan span; blocks.next(&span);)
        for (int y = span.first; y < span.end; ++y) seen[y] += 10;
    for (int y = 0; y < 100; ++y) EXPECT_EQ(seen[y], left.isLeft(y) ? 11 : 0) << "row " << y;
}
