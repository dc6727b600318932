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
#include <optional>
#include <string>
#include <system_error>
#include <thread>
#include <vector>

#include "app/settings.h"
#include "base/fatal.h"
#include "image/image.h"
#include "render/bands.h"
#include "render/ray.h"
#include "render/resume.h"
#include "render/row_blocks.h"
#include "render/rows_left.h"
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

// The main threads look for messages between sleeps, so that they take no core from the render
// threads: rank 0 every 2 ms, as blocks may come back at any time (each rank holds a block in
// hand, so no thread waits for an answer); another rank every millisecond while it waits for an
// answer or a send, and otherwise only when a block of its own is finished, or every 50 ms to
// see whether a render thread has failed.
constexpr std::chrono::milliseconds rankZeroInterval{2};
constexpr std::chrono::milliseconds pollInterval{1};
constexpr std::chrono::milliseconds idleInterval{50};

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

// A rank that cannot go on ends the whole job, so that no rank waits for a message that will not
// come; rank 0 first removes the image it had begun.
[[noreturn]] void abortJob(int status) {
    journalInterrupted();
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

// Scene files. Rank 0 opens each file the scene driver asks for and tells every other rank what
// it found there: the file's size, that it cannot be opened, or that it is a directory. The
// bytes follow in pieces, each broadcast one piece ahead of the one the lexers read, so that the
// transfer overlaps the parsing. Every rank parses the same bytes in the same order: they open
// the same files, request the same pieces and meet the same errors.

constexpr std::int64_t fileMissing = -1;
constexpr std::int64_t fileIsDirectory = -2;
constexpr std::int64_t pieceBytes = std::int64_t(1) << 20;

// news[0]: the file's size, fileMissing or fileIsDirectory; news[1]: errno when missing.
void shareNews(std::int64_t news[2]) { MPI_Bcast(news, 2, MPI_INT64_T, 0, MPI_COMM_WORLD); }

// A scene file being read on every rank: the piece the lexer reads and the next one on its way.
struct SharedFile {
    FILE* source;  // rank 0: where the bytes come from; other ranks: null
    std::string name;
    std::int64_t size;       // the bytes rank 0 announced
    std::int64_t requested;  // the bytes of the pieces requested so far
    std::vector<char> piece;
    std::size_t at;            // read position in piece
    std::vector<char> coming;  // the next piece, while `arriving`
    bool arriving;
    MPI_Request request;  // its broadcast; null once it has completed
};

// Starts the next piece on its way, if the file has one; rank 0 reads it from its source.
void requestPiece(SharedFile* file) {
    const std::int64_t count = std::min(pieceBytes, file->size - file->requested);
    if (count <= 0) return;
    file->coming.resize(static_cast<std::size_t>(count));
    if (file->source &&
        std::fread(file->coming.data(), 1, file->coming.size(), file->source) != file->coming.size()) {
        std::printf("\n Scene file: %s changed while it was read\n", file->name.c_str());
        abortJob(-1);
    }
    MPI_Ibcast(file->coming.data(), static_cast<int>(count), MPI_BYTE, 0, MPI_COMM_WORLD, &file->request);
    file->arriving = true;
    file->requested += count;
}

ssize_t readSharedFile(void* cookie, char* to, std::size_t size) {
    SharedFile* file = static_cast<SharedFile*>(cookie);
    if (file->at == file->piece.size()) {
        if (!file->arriving) return 0;  // the end of the file
        MPI_Wait(&file->request, MPI_STATUS_IGNORE);
        file->piece.swap(file->coming);
        file->at = 0;
        file->arriving = false;
        requestPiece(file);
    } else if (file->request != MPI_REQUEST_NULL) {
        int arrived = 0;
        MPI_Test(&file->request, &arrived, MPI_STATUS_IGNORE);  // moves the next piece along
    }
    const std::size_t count = std::min(size, file->piece.size() - file->at);
    std::memcpy(to, file->piece.data() + file->at, count);
    file->at += count;
    return static_cast<ssize_t>(count);
}

// Every rank requested the same pieces, so a piece still on its way arrives everywhere.
int closeSharedFile(void* cookie) {
    SharedFile* file = static_cast<SharedFile*>(cookie);
    if (file->request != MPI_REQUEST_NULL) MPI_Wait(&file->request, MPI_STATUS_IGNORE);
    if (file->source) std::fclose(file->source);
    delete file;
    return 0;
}

FILE* openSharedFile(FILE* source, const char* name, std::int64_t size) {
    SharedFile* file = new SharedFile{source, name, size, 0, {}, 0, {}, false, MPI_REQUEST_NULL};
    requestPiece(file);
    FILE* stream = fopencookie(file, "r", {readSharedFile, nullptr, nullptr, closeSharedFile});
    if (!stream) closeSharedFile(file);
    return stream;
}

// A file rank 0 can read, as a stream of known size: a regular file as it is, anything else (a
// pipe, a device) read whole first.
FILE* sizedSource(FILE* file, std::int64_t* size) {
    struct stat status {};
    if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode)) {
        *size = status.st_size;
        return file;
    }
    std::string bytes;
    char buffer[1 << 16];
    for (std::size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) bytes.append(buffer, n);
    std::fclose(file);
    *size = static_cast<std::int64_t>(bytes.size());
    return openSceneBytes(std::move(bytes));
}

bool isDirectory(FILE* file) {
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
}

FILE* readAndShareSceneFile(const char* name) {
    std::int64_t news[2] = {fileMissing, 0};
    FILE* file = std::fopen(name, "r");
    if (file && isDirectory(file)) {
        news[0] = fileIsDirectory;
        shareNews(news);
        return file;  // the scene driver reports it
    }
    if (file) file = sizedSource(file, &news[0]);
    if (!file) news[1] = errno;
    shareNews(news);
    if (!file) {
        errno = static_cast<int>(news[1]);
        return nullptr;
    }
    return openSharedFile(file, name, news[0]);
}

FILE* receiveSceneFile(const char* name) {
    std::int64_t news[2] = {fileMissing, 0};
    shareNews(news);
    if (news[0] == fileIsDirectory) abortRun(-1);  // as rank 0 ends, after saying so
    if (news[0] == fileMissing) {
        errno = static_cast<int>(news[1]);
        return nullptr;
    }
    return openSharedFile(nullptr, name, news[0]);
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
void renderOnRankZero(int workers, const RowsLeft& left) {
    ImageBlocks blocks(myDisplay.height, workers, 3 * std::size_t(myDisplay.width), &left);
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

// Any other rank: its render threads fill blocks; its main thread sends each finished block to
// rank 0 and queues the block that comes back in answer, until no more can come.
void renderOnWorker(int workers, const RowsLeft& left) {
    BlockQueue queue(3 * std::size_t(myDisplay.width));
    RowBlocks sequence(myDisplay.height, workers, &left);
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
    // Rank 0 keeps the journal; every rank renders the rows it lacks.
    std::optional<RenderJournal> journal;
    if (rank == 0) journal.emplace(openImageName(), myDisplay.width, myDisplay.height, resumeRender);
    RowsLeft left = rank == 0 ? journal->rowsLeft() : RowsLeft(myDisplay.height);
    MPI_Bcast(left.bytes(), left.height(), MPI_BYTE, 0, MPI_COMM_WORLD);
    left.recount();

    const auto start = std::chrono::steady_clock::now();
    if (rank == 0) {
        showProgressInit();
        journal->showRestoredProgress();
    }
    cameraSetup();
    if (rank != 0) std::srand(static_cast<unsigned>(rank) + 1);  // a random sequence of its own
    const int workers = ranks * numThreads;
    if (rank != 0) {
        renderOnWorker(workers, left);
        return;
    }
    renderOnRankZero(workers, left);
    const std::chrono::duration<double> elapsed = std::chrono::steady_clock::now() - start;
    std::printf("\n\n Rendering time: %4.2f second(s) elapsed on %d rank(s)\n", elapsed.count(), ranks);
    journal->makeRoomForPicture();
    if (closeImage() == -1) abortRun(1);
    journal->pictureWritten();
}

int finishCluster(int status) {
    // What rank 0 printed goes out before any rank can end: mpirun stops forwarding output once a
    // rank has ended with an error.
    std::fflush(stdout);
    if (!statusAgreed) requireAgreement(status);
    restoreOutput();
    MPI_Finalize();
    return status;
}
