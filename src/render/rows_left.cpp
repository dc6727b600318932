#include "render/rows_left.h"

#include <algorithm>

void RowsLeft::markDone(int y) {
    if (left_[y]) --count_;
    left_[y] = 0;
}

int RowsLeft::rowOfLeft(long long i) const {
    for (int y = 0; y < height(); ++y)
        if (left_[y] && i-- == 0) return y;
    return height();
}

RowSpan RowsLeft::share(int k, int n) const {
    const int first = k == 0 ? 0 : rowOfLeft(k * static_cast<long long>(count_) / n);
    const int end = k + 1 == n ? height() : rowOfLeft((k + 1) * static_cast<long long>(count_) / n);
    return {first, end};
}

bool RowsLeft::nextSpan(RowSpan* stretch, RowSpan* span) const {
    int first = stretch->first;
    while (first < stretch->end && !left_[first]) ++first;
    if (first >= stretch->end) {
        stretch->first = stretch->end;
        return false;
    }
    int end = first;
    while (end < stretch->end && left_[end]) ++end;
    *span = {first, end};
    stretch->first = end;
    return true;
}

void RowsLeft::recount() {
    for (unsigned char& row : left_) row = row != 0;
    count_ = static_cast<int>(std::count(left_.begin(), left_.end(), 1));
}
