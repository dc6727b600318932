// Rows handed out in blocks to workers that come back for more as they finish: the processes of
// the cluster program and the render threads inside each. The blocks run down the image from the
// top, each a share of the rows still left, so they start large and shrink towards the end:
// most rows go out in few blocks, and workers that finish at different moments still end
// together.
#pragma once

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <deque>
#include <memory>
#include <mutex>
#include <vector>

#include "render/rows.h"
#include "render/rows_left.h"

inline constexpr int minBlockRows = 4;
inline constexpr int maxBlockRows = 64;

// The blocks for `workers` render threads in all over `height` rows: each takes the rows left
// divided by four times the workers, rounded up and held between minBlockRows and maxBlockRows
// (the last takes what is left). Near the end every block, those waiting in a process's hand
// included, is then a small part of the rows left, so the workers end close together. The same
// arguments give the same blocks in every process. Given the rows a render still has to make
// (`left`), the blocks hold only those: a block ends early at a row that is done.
class RowBlocks {
public:
    RowBlocks(int height, int workers, const RowsLeft* left = nullptr)
        : height_(height),
          workers_(workers < 1 ? 1 : workers),
          left_(left),
          rowsLeft_(left ? left->count() : height) {}
    // The next block down the image; false once every row has been handed out.
    bool next(RowSpan* span);

private:
    bool isLeft(int y) const { return !left_ || left_->isLeft(y); }

    int height_;
    int workers_;
    const RowsLeft* left_;
    int rowsLeft_;  // in the rows from nextRow_ on
    int nextRow_ = 0;
};

// The blocks of the process that writes the image: its render threads take blocks from the
// sequence and write their rows to the image themselves; its main thread takes blocks from the
// same sequence for other processes and writes the rows they send back.
class ImageBlocks {
public:
    ImageBlocks(int height, int workers, std::size_t rowBytes, const RowsLeft* left = nullptr)
        : blocks_(height, workers, left), rowBytes_(rowBytes), written_(left ? height - left->count() : 0) {}
    ImageBlocks(const ImageBlocks&) = delete;
    ImageBlocks& operator=(const ImageBlocks&) = delete;

    // The next block of the sequence (from any thread); false when none is left.
    bool take(RowSpan* span);
    // The span's rows, rendered elsewhere and held top first, into the image.
    void write(RowSpan span, unsigned char* rows);
    // The rows written so far, by the render threads and by write (with those that were done).
    int rowsWritten() const { return written_.load(); }
    // The feed of every render thread of this process.
    RowFeed feed() { return {takeRows, writeRow, this}; }

private:
    static bool takeRows(void* owner, RowSpan* span);
    static void writeRow(void* owner, unsigned char* row, int y);

    std::mutex mutex_;
    RowBlocks blocks_;
    std::size_t rowBytes_;
    std::atomic<int> written_;
};

// A block rendered in one process for another: its span and its rows, top first.
struct RowBlock {
    RowSpan span;
    std::vector<unsigned char> rows;
};

// The blocks of a process that renders for another: its render threads take blocks from the
// queue and fill their rows; each finished block waits for the main thread, which sends it away
// and later answers it with one new block or with none. New blocks come only as answers, so once
// nothing is queued, in work, finished or waiting for its answer, the process is done.
class BlockQueue {
public:
    explicit BlockQueue(std::size_t rowBytes) : rowBytes_(rowBytes) {}
    BlockQueue(const BlockQueue&) = delete;
    BlockQueue& operator=(const BlockQueue&) = delete;

    // Main thread: a block to render.
    void add(RowSpan span);
    // Main thread: a finished block, waiting at most `patience` for one; null when none came.
    // Each block taken is answered once.
    std::unique_ptr<RowBlock> takeFinished(std::chrono::milliseconds patience);
    // Main thread: the answer to a block taken, the next block to render or none (null).
    void answer(const RowSpan* next);
    // Whether the process is done: no block queued, in work, finished or waiting for its answer.
    bool drained();

    // What one render thread holds: the queue and the block it is filling.
    struct Taker {
        BlockQueue* queue;
        std::unique_ptr<RowBlock> block;
    };
    // The feed of one render thread.
    static RowFeed feed(Taker* taker) { return {takeRows, fillRow, taker}; }

private:
    static bool takeRows(void* owner, RowSpan* span);
    static void fillRow(void* owner, unsigned char* row, int y);
    bool isDrained() const { return queued_.empty() && inWork_ == 0 && finished_.empty() && awaiting_ == 0; }

    std::size_t rowBytes_;
    std::mutex mutex_;
    std::condition_variable changed_;
    std::deque<RowSpan> queued_;
    std::vector<std::unique_ptr<RowBlock>> finished_;
    int inWork_ = 0;    // blocks the threads are filling
    int awaiting_ = 0;  // blocks taken by the main thread and not yet answered
};
