// The rows a render still has to make: every row of a fresh render, the rows its journal lacks
// when it resumes. Render threads take them in shares, each a stretch of the picture with as many
// rows left as the others (with every row left, the shares are the thread bands), and render the
// rows left of a stretch as spans of consecutive rows.
#pragma once

#include <vector>

#include "render/rows.h"

class RowsLeft {
public:
    explicit RowsLeft(int height) : left_(height > 0 ? height : 0, 1), count_(height > 0 ? height : 0) {}

    int height() const { return static_cast<int>(left_.size()); }
    int count() const { return count_; }
    bool isLeft(int y) const { return left_[y] != 0; }
    void markDone(int y);

    // Share k of n: the stretch of rows from the (k * count / n)-th row left up to the
    // ((k + 1) * count / n)-th, the last share running to the bottom of the picture.
    RowSpan share(int k, int n) const;
    // The next span of consecutive rows left in stretch from its first row on; false when the
    // stretch has none. The stretch then starts behind the span.
    bool nextSpan(RowSpan* stretch, RowSpan* span) const;

    // One byte per row, 1 for a row left: for handing the rows left to another process, which
    // then calls recount.
    unsigned char* bytes() { return left_.data(); }
    void recount();

private:
    // The row of the i-th row left, or the height when there are no more.
    int rowOfLeft(long long i) const;

    std::vector<unsigned char> left_;
    int count_;
};
