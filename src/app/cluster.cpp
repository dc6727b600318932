#include "app/cluster.h"

#include <fcntl.h>
#include <mpi.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <deque>
#include <list>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "base/fatal.h"
#include "image/image.h"
#include "render/bands.h"
#include "render/ray.h"
#include "render/row_blocks.h"
#include "render/trace.h"
#include "scene/memory_file.h"
#include "scene/parser.h"

namespace {

int rank = 0;
int ranks = 1;
int savedOutput = -1;       // the standard output of a rank other than 0 while it is silenced
bool statusAgreed = false;  // the ranks have compared how their runs went

// Messages of the render: one each way per block of rows.
constexpr int rowsTag = 1;   // to rank 0: a finished block, its span then its rows
constexpr int blockTag = 2;  // from rank 0: the next block to render, an empty span for none

// An idle main thread sleeps this long between looks for messages, so that it takes no core
// from the render threads.
constexpr std::chrono::milliseconds pollInterval{1};

// Ranks other than 0 print nothing of the run they share with rank 0; once the render starts,
// what they print is their own failure.
void silenceOutput() {
    std::fflush(stdout);
    savedOutput = dup(STDOUT_FILENO);
    const int nowhere = open("/dev/null", O_WRONLY);
    if (nowhere < 0) return;
    dup2(nowhere, STDOUT_FILENO);
    close(nowhere);
}

void restoreOutput() {
    if (savedOutput < 0) return;
    std::fflush(stdout);
    dup2(savedOutput, STDOUT_FILENO);
    close(savedOutput);
    savedOutput = -1;
}

// A rank that cannot deliver its rows ends the whole job, so that no rank waits for rows that
// will not come; rank 0 first removes the image it had begun.
[[noreturn]] void abortJob(int status) {
    discardImage();
    std::fflush(stdout);
    MPI_Abort(MPI_COMM_WORLD, status);
    std::_Exit(status);  // not reached: MPI_Abort ends this process with the others
}

// Whether every rank's run has gone the same way so far (the same status everywhere).
bool ranksAgree(int status) {
    const int mine[2] = {status, -status};
    int most[2] = {0, 0};
    MPI_Allreduce(mine, most, 2, MPI_INT, MPI_MAX, MPI_COMM_WORLD);
    statusAgreed = true;
    return most[0] == -most[1];
}

// Ranks that ended their reading of the scene differently (a rank short of memory, say) cannot
// render together: the job ends.
void requireAgreement(int status) {
    if (ranksAgree(status)) return;
    if (rank == 0 && status == 0) std::printf("\n The scene could not be read on every rank\n");
    abortJob(status != 0 ? status : 1);
}

// Scene files. Rank 0 opens each file the scene driver asks for and sends every other rank what
// it found there: the bytes, a file that cannot be read, or a directory. The other ranks parse
// the same bytes in the same order, so they open the same files and meet the same errors.

constexpr std::int64_t fileMissing = -1;
constexpr std::int64_t fileIsDirectory = -2;
constexpr std::int64_t pieceBytes = std::int64_t(1) << 30;  // the bytes go out in pieces an int counts

// news[0]: the byte count, fileMissing or fileIsDirectory; news[1]: errno when missing.
void shareNews(std::int64_t news[2]) { MPI_Bcast(news, 2, MPI_INT64_T, 0, MPI_COMM_WORLD); }

void shareBytes(char* bytes, std::int64_t size) {
    for (std::int64_t at = 0; at < size; at += pieceBytes)
        MPI_Bcast(bytes + at, static_cast<int>(std::min(pieceBytes, size - at)), MPI_BYTE, 0, MPI_COMM_WORLD);
}

bool isDirectory(FILE* file) {
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
}

// The rest of the file; false, errno set, when reading fails.
bool readWhole(FILE* file, std::string* bytes) {
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes->append(buffer, n);
    return !std::ferror(file);
}

FILE* readAndShareSceneFile(const char* name) {
    std::int64_t news[2] = {fileMissing, 0};
    std::string bytes;
    FILE* file = std::fopen(name, "r");
    if (!file) {
        news[1] = errno;
    } else if (isDirectory(file)) {
        news[0] = fileIsDirectory;
        shareNews(news);
        return file;  // the scene driver reports it
    } else {
        if (readWhole(file, &bytes)) {
            news[0] = static_cast<std::int64_t>(bytes.size());
        } else {
            news[1] = errno;
        }
        std::fclose(file);
    }
    shareNews(news);
    if (news[0] == fileMissing) {
        errno = static_cast<int>(news[1]);
        return nullptr;
    }
    shareBytes(bytes.data(), news[0]);
    return openSceneBytes(std::move(bytes));
}

FILE* receiveSceneFile(const char*) {
    std::int64_t news[2] = {fileMissing, 0};
    shareNews(news);
    if (news[0] == fileIsDirectory) abortRun(-1);  // as rank 0 ends, after saying so
    if (news[0] == fileMissing) {
        errno = static_cast<int>(news[1]);
        return nullptr;
    }
    std::string bytes(static_cast<std::size_t>(news[0]), '\0');
    shareBytes(bytes.data(), news[0]);
    return openSceneBytes(std::move(bytes));
}

// The render.

// Every rank but 0 starts with this many blocks, numThreads to render and one in hand, without
// asking: the first blocks of the sequence, dealt to ranks 1, 2, ... in turn. Each finished
// block it sends back asks for the next one.
int startingBlocks() { return (ranks - 1) * (numThreads + 1); }

// One render thread per feed; a rank that cannot start them all ends the job.
std::vector<std::jthread> startRenderThreads(std::vector<RowFeed>& feeds) {
    std::vector<std::jthread> threads;
    try {
        for (RowFeed& feed : feeds) threads.emplace_back(renderThreadRows, &feed);
    } catch (const std::system_error&) {
        std::printf(" Thread creation failed!!\n\n");
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
void renderOnRankZero(int workers) {
    ImageBlocks blocks(myDisplay.height, workers, 3 * std::size_t(myDisplay.width));
    for (int k = 0; k < startingBlocks(); ++k) {
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
            MPI_Recv(message.data(), bytes, MPI_BYTE, status.MPI_SOURCE, rowsTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
            answerBlock(status.MPI_SOURCE, &blocks, &answers);
            RowSpan span;
            std::memcpy(&span, message.data(), sizeof span);
            blocks.write(span, message.data() + sizeof span);
            continue;
        }
        dropSentAnswers(&answers);
        endJobOnBandFailure();
        std::this_thread::sleep_for(pollInterval);
    }
    threads.clear();  // joined: they stop once the sequence is used up
    for (Answer& answer : answers) MPI_Wait(&answer.request, MPI_STATUS_IGNORE);
}

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

void takeAnswers(BlockQueue* queue) {
    for (;;) {
        int arrived = 0;
        MPI_Iprobe(0, blockTag, MPI_COMM_WORLD, &arrived, MPI_STATUS_IGNORE);
        if (!arrived) return;
        int span[2] = {0, 0};
        MPI_Recv(span, 2, MPI_INT, 0, blockTag, MPI_COMM_WORLD, MPI_STATUS_IGNORE);
        const RowSpan next{span[0], span[1]};
        queue->answer(next.first < next.end ? &next : nullptr);
    }
}

// Any other rank: its render threads fill blocks; its main thread sends each finished block to
// rank 0 and queues the block that comes back in answer, until no more can come.
void renderOnWorker(int workers) {
    BlockQueue queue(3 * std::size_t(myDisplay.width));
    RowBlocks sequence(myDisplay.height, workers);
    RowSpan span;
    for (int k = 0; k < startingBlocks() && sequence.next(&span); ++k) {
        if (k % (ranks - 1) == rank - 1) queue.add(span);
    }
    std::deque<BlockQueue::Taker> takers;
    std::vector<RowFeed> feeds;
    for (int k = 0; k < numThreads; ++k) {
        feeds.push_back(BlockQueue::feed(&takers.emplace_back(BlockQueue::Taker{&queue, nullptr})));
    }
    std::vector<std::jthread> threads = startRenderThreads(feeds);
    std::list<Delivery> deliveries;
    while (!queue.drained() || !deliveries.empty()) {
        if (const std::unique_ptr<RowBlock> block = queue.takeFinished(pollInterval)) sendBlock(*block, &deliveries);
        dropDelivered(&deliveries);
        takeAnswers(&queue);
        endJobOnBandFailure();
    }
}

}  // namespace

void startCluster(int* argc, char*** argv) {
    int provided = MPI_THREAD_SINGLE;
    MPI_Init_thread(argc, argv, MPI_THREAD_FUNNELED, &provided);
    MPI_Comm_rank(MPI_COMM_WORLD, &rank);
    MPI_Comm_size(MPI_COMM_WORLD, &ranks);
    if (provided < MPI_THREAD_FUNNELED) {
        if (rank == 0) std::printf("\n This MPI cannot run render threads beside the thread that calls it\n");
        abortJob(1);
    }
    sceneFileOpener = rank == 0 ? readAndShareSceneFile : receiveSceneFile;
    if (rank != 0) silenceOutput();
}

void clusterTrace() {
    requireAgreement(0);
    restoreOutput();
    resetBands();
    int status = 0;
    if (rank == 0) {
        std::printf(" MPI version of ORVEL running.\n\n");
        std::printf(" Running %d rank(s) of %d thread(s)\n", ranks, numThreads);
        if (openImage(myDisplay.outputName, myDisplay.width, myDisplay.height) == -1) status = 1;
    }
    MPI_Bcast(&status, 1, MPI_INT, 0, MPI_COMM_WORLD);
    if (status != 0) abortRun(status);

    const auto start = std::chrono::steady_clock::now();
    if (rank == 0) showProgressInit();
    cameraSetup();
    if (rank != 0) std::srand(static_cast<unsigned>(rank) + 1);  // a random sequence of its own
    const int workers = ranks * numThreads;
    if (rank != 0) {
        renderOnWorker(workers);
        return;
    }
    renderOnRankZero(workers);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("\n\n Rendering time: %4.2f second(s) elapsed on %d rank(s)\n", elapsed.count(), ranks);
    if (closeImage() == -1) abortRun(1);
}

int finishCluster(int status) {
    if (!statusAgreed) requireAgreement(status);
    restoreOutput();
    MPI_Finalize();
    return status;
}
