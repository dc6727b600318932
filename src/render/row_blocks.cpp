#include "render/row_blocks.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <new>

#include "base/console.h"
#include "base/fatal.h"

namespace {

constexpr int blockShareDivisor = 4;  // a block is the rows left over four times the workers

}  // namespace

bool RowBlocks::next(RowSpan* span) {
    const int left = rowsLeft_;
    if (left <= 0) return false;
    const int share = (left + blockShareDivisor * workers_ - 1) / (blockShareDivisor * workers_);
    const int rows = std::min(left, std::clamp(share, minBlockRows, maxBlockRows));
    while (!isLeft(nextRow_)) ++nextRow_;
    int end = nextRow_ + 1;
    while (end < height_ && end - nextRow_ < rows && isLeft(end)) ++end;
    *span = {nextRow_, end};
    rowsLeft_ -= end - nextRow_;
    nextRow_ = end;
    return true;
}

bool ImageBlocks::take(RowSpan* span) {
    const std::lock_guard<std::mutex> lock(mutex_);
    return blocks_.next(span);
}

void ImageBlocks::write(RowSpan span, unsigned char* rows) {
    for (int y = span.first; y < span.end; ++y) writeRowToImage(rows + (y - span.first) * rowBytes_, y);
    written_ += span.end - span.first;
}

bool ImageBlocks::takeRows(void* owner, RowSpan* span) {
    return static_cast<ImageBlocks*>(owner)->take(span);
}

void ImageBlocks::writeRow(void* owner, unsigned char* row, int y) {
    writeRowToImage(row, y);
    ++static_cast<ImageBlocks*>(owner)->written_;
}

void BlockQueue::add(RowSpan span) {
    const std::lock_guard<std::mutex> lock(mutex_);
    queued_.push_back(span);
    changed_.notify_all();
}

std::unique_ptr<RowBlock> BlockQueue::takeFinished(std::chrono::milliseconds patience) {
    std::unique_lock<std::mutex> lock(mutex_);
    if (!changed_.wait_for(lock, patience, [this] { return !finished_.empty(); })) return nullptr;
    std::unique_ptr<RowBlock> block = std::move(finished_.back());
    finished_.pop_back();
    ++awaiting_;
    return block;
}

void BlockQueue::answer(const RowSpan* next) {
    const std::lock_guard<std::mutex> lock(mutex_);
    --awaiting_;
    if (next) queued_.push_back(*next);
    changed_.notify_all();
}

bool BlockQueue::drained() {
    const std::lock_guard<std::mutex> lock(mutex_);
    return isDrained();
}

bool BlockQueue::takeRows(void* owner, RowSpan* span) {
    Taker* taker = static_cast<Taker*>(owner);
    BlockQueue& queue = *taker->queue;
    std::unique_lock<std::mutex> lock(queue.mutex_);
    if (taker->block) {  // left unfinished by a scan that was stopped
        taker->block.reset();
        --queue.inWork_;
        queue.changed_.notify_all();
    }
    // A thread without a block waits while blocks may still come: a block finishing elsewhere
    // in the process is answered with a new one.
    queue.changed_.wait(lock, [&queue] { return !queue.queued_.empty() || queue.isDrained(); });
    if (queue.queued_.empty()) return false;
    *span = queue.queued_.front();
    queue.queued_.pop_front();
    ++queue.inWork_;
    lock.unlock();
    try {
        const std::size_t bytes = std::size_t(span->end - span->first) * queue.rowBytes_;
        taker->block = std::make_unique<RowBlock>(RowBlock{*span, std::vector<unsigned char>(bytes)});
    } catch (const std::bad_alloc&) {
        consoleLine("Memory alloction failed.");
        abortRun(1);
    }
    return true;
}

void BlockQueue::fillRow(void* owner, unsigned char* row, int y) {
    Taker* taker = static_cast<Taker*>(owner);
    BlockQueue& queue = *taker->queue;
    RowBlock& block = *taker->block;
    std::memcpy(&block.rows[std::size_t(y - block.span.first) * queue.rowBytes_], row, queue.rowBytes_);
    if (y + 1 < block.span.end) return;
    const std::lock_guard<std::mutex> lock(queue.mutex_);
    queue.finished_.push_back(std::move(taker->block));
    --queue.inWork_;
    queue.changed_.notify_all();
}
