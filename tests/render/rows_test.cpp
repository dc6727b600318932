// The block handout gives every row exactly once. (Blocks rendered by any thread of any process
// making the single band's bytes is the cluster program's identity test.)
#include <gtest/gtest.h>

#include "render/row_blocks.h"

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
