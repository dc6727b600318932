#include "app/cluster_rows.h"

#include <mpi.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <deque>
#include <list>
#include <memory>
#include <system_error>
#include <thread>
#include <vector>

#include "app/cluster.h"
#include "base/console.h"
#include "render/bands.h"
#include "render/driver.h"
#include "render/render_settings.h"
#include "render/row_blocks.h"

namespace {

// Messages of the render: one each way per block of rows.
constexpr int rowsTag = 1;   // to rank 0: a finished block, its span then its rows
constexpr int blockTag = 2;  // from rank 0: the next block to render, an empty span for none

// The main threads look for messages between sleeps, so that they take no core from the render
// threads: rank 0 every 2 ms, as blocks may come back at any time (each rank holds a block in
// hand, so no thread waits for an answer); another rank every millisecond while it waits for an
// answer or a send, and otherwise only when a block of its own is finished, or every 50 ms to
// see whether a render thread has failed.
constexpr std::chrono::milliseconds rankZeroInterval{2};
constexpr std::chrono::milliseconds pollInterval{1};
constexpr std::chrono::milliseconds idleInterval{50};

// Every rank but 0 starts with this many blocks, numThreads to render and one in hand, without
// asking: the first blocks of the sequence, dealt to ranks 1, 2, ... in turn. Each finished
// block it sends back asks for the next one.
int startingBlocks(int ranks) { return (ranks - 1) * (numThreads + 1); }

// One render thread per feed; a rank that cannot start them all ends the job.
std::vector<std::jthread> startRenderThreads(std::vector<RowFeed>& feeds) {
    std::vector<std::jthread> threads;
    try {
        for (RowFeed& feed : feeds) threads.emplace_back(renderThreadRows, &feed);
    } catch (const std::system_error&) {
        consolePrint(" Thread creation failed!!\n\n");
        abortJob(1);
    }
    return threads;
}

void endJobOnBandFailure() {
    if (const int status = bandFailure(); status != 0) abortJob(status);
}

// An answer of rank 0 on its way: the span it sends, kept until the send completes.
struct Answer {
    int span[2];
    MPI_Request request;
};

// Rank 0 answers a finished block with the next block of the sequence, or an empty span.
void answerBlock(int worker, ImageBlocks* blocks, std::deque<Answer>* answers) {
    RowSpan next{0, 0};
    if (!blocks->take(&next)) next = {0, 0};
    Answer& answer = answers->emplace_back(Answer{{next.first, next.end}, MPI_REQUEST_NULL});
    MPI_Isend(answer.span, 2, MPI_INT, worker, blockTag, MPI_COMM_WORLD, &answer.request);
}

void dropSentAnswers(std::deque<Answer>* answers) {
    while (!answers->empty()) {
        int sent = 0;
        MPI_Test(&answers->front().request, &sent, MPI_STATUS_IGNORE);
        if (!sent) return;
        answers->pop_front();
    }
}

// Rank 0: its render threads write their blocks into the image themselves, while its main thread
// writes the blocks the other ranks send back and answers each one, until every row is in.
}  // namespace

void renderOnRankZero(int ranks, const RowsLeft& left) {
    const int workers = ranks * numThreads;
    ImageBlocks blocks(myDisplay.height, workers, 3 * std::size_t(myDisplay.width), &left);
    for (int k = 0; k < startingBlocks(ranks); ++k) {
        RowSpan theirs;
        blocks.take(&theirs);
    }
    std::vector<RowFeed> feeds(numThreads, blocks.feed());
    std::vector<std::jthread> threads = startRenderThreads(feeds);
    std::deque<Answer> answers;
    std::vector<unsigned char> message;
    while (blocks.rowsWritten() < myDisplay.height) {
        int arrived = 0;
        MPI_Status status;
        MPI_Iprobe(MPI_ANY_SOURCE, rowsTag, MPI_COMM_WORLD, &arrived, &status);
        if (arrived) {
            int bytes = 0;
            MPI_Get_count(&status, MPI_BYTE, &bytes);
            message.resize(static_cast<std::size_t>(bytes));
            MPI_Recv(message.data(), bytes, MPI_BYTE, status.MPI_SOURCE, rowsTag, MPI_COMM_WORLD,
                     MPI_STATUS_IGNORE);
            answerBlock(status.MPI_SOURCE, &blocks, &answers);
            RowSpan span;
            std::memcpy(&span, message.data(), sizeof span);
            blocks.write(span, message.data() + sizeof span);
            continue;
        }
        dropSentAnswers(&answers);
        endJobOnBandFailure();
        std::this_thread::sleep_for(rankZeroInterval);
    }
    threads.clear();  // joined: they stop once the sequence is used up
    for (Answer& answer : answers) MPI_Wait(&answer.request, MPI_STATUS_IGNORE);
}

namespace {

// A finished block on its way to rank 0: the span and the rows in one message.
struct Delivery {
    std::vector<unsigned char> message;
    MPI_Request request;
};

void sendBlock(const RowBlock& block, std::list<Delivery>* deliveries) {
    Delivery& delivery = deliveries->emplace_back();
    delivery.message.resize(sizeof block.span + block.rows.size());
    std::memcpy(delivery.message.data(), &block.span, sizeof block.span);
    std::memcpy(delivery.message.data() + sizeof block.span, block.rows.data(), block.rows.size());
    MPI_Isend(delivery.message.data(), static_cast<int>(delivery.message.size()), MPI_BYTE, 0, rowsTag,
              MPI_COMM_WORLD, &delivery.request);
}

void dropDelivered(std::list<Delivery>* deliveries) {
    std::erase_if(*deliveries, [](Delivery& delivery) {
        int sent = 0;
        MPI_Test(&delivery.request, &sent, MPI_STATUS_IGNORE);
        return sent != 0;
    });
}

// The answers that have come, handed to the queue; how many.
int takeAnswers(BlockQueue* queue) {
    for (int count = 0;; ++count) {
        int arrived = 0;
        MPI_Iprobe(0, blockTag, MPI_COMM_WORLD, &arrived, MPI_STATUS_IGNORE);
        if (!arrived) return count;
        int span[2] = {0, 0};
        MPI_Recv(span, 2, MPI_INT, 0, blockTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        const RowSpan next{span[0], span[1]};
        queue->answer(next.first < next.end ? &next : nullptr);
    }
}

}  // namespace

// Any other rank: its render threads fill blocks; its main thread sends each finished block to
// rank 0 and queues the block that comes back in answer, until no more can come.
void renderOnWorker(int rank, int ranks, const RowsLeft& left) {
    const int workers = ranks * numThreads;
    BlockQueue queue(3 * std::size_t(myDisplay.width));
    RowBlocks sequence(myDisplay.height, workers, &left);
    RowSpan span;
    for (int k = 0; k < startingBlocks(ranks) && sequence.next(&span); ++k) {
        if (k % (ranks - 1) == rank - 1) queue.add(span);
    }
    std::deque<BlockQueue::Taker> takers;
    std::vector<RowFeed> feeds;
    for (int k = 0; k < numThreads; ++k) {
        feeds.push_back(BlockQueue::feed(&takers.emplace_back(BlockQueue::Taker{&queue, nullptr})));
    }
    std::vector<std::jthread> threads = startRenderThreads(feeds);
    std::list<Delivery> deliveries;
    int unanswered = 0;
    while (!queue.drained() || !deliveries.empty()) {
        const bool expecting = unanswered > 0 || !deliveries.empty();
        if (const std::unique_ptr<RowBlock> block =
                queue.takeFinished(expecting ? pollInterval : idleInterval)) {
            sendBlock(*block, &deliveries);
            ++unanswered;
        }
        dropDelivered(&deliveries);
        unanswered -= takeAnswers(&queue);
        endJobOnBandFailure();
    }
}
