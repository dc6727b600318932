#include "app/cluster_files.h"

#include <mpi.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <new>
#include <string>
#include <vector>

#include "app/cluster.h"
#include "base/console.h"
#include "base/fatal.h"
#include "scene/lexer.h"

namespace {

constexpr std::int64_t fileMissing = -1;
constexpr std::int64_t fileIsDirectory = -2;
constexpr std::int64_t fileIsStream = -3;  // a pipe or a device: its size is known only at its end
constexpr std::int64_t pieceBytes = std::int64_t(1) << 20;
// A piece of a stream starts with the count of its bytes; fewer than pieceBytes end the stream.
constexpr std::size_t countBytes = sizeof(std::int64_t);

// news[0]: the file's size, fileMissing, fileIsDirectory or fileIsStream; news[1]: errno when
// missing.
void shareNews(std::int64_t news[2]) { MPI_Bcast(news, 2, MPI_INT64_T, 0, MPI_COMM_WORLD); }

// The scene files open on this rank. While there are any, a piece of one may be on its way to
// every rank, and a rank that stopped reading would leave the others waiting for it: a rank that
// runs short of memory then ends the whole job.
int openFiles = 0;

[[noreturn]] void endJobShortOfMemory() {
    setConsoleOn(true);  // the failure is this rank's own: it says so, whichever rank it is
    printParseError(comptligne, " memory allocation failed");
    abortJob(-1);
}

void fileOpened() {
    if (openFiles++ > 0) return;
    memoryShortHandler = endJobShortOfMemory;
    std::set_new_handler(endJobShortOfMemory);
}

void fileClosed() {
    if (--openFiles > 0) return;
    memoryShortHandler = nullptr;
    std::set_new_handler(nullptr);
}

// A scene file being read on every rank: the piece the lexer reads and the next one on its way.
struct SharedFile {
    FILE* source;  // rank 0: where the bytes come from; other ranks: null
    std::string name;
    std::int64_t size;       // the bytes rank 0 announced, or fileIsStream
    std::int64_t requested;  // the bytes of the pieces requested so far
    std::vector<char> piece;
    std::size_t at;            // read position in piece
    std::vector<char> coming;  // the next piece, while `arriving`
    bool arriving;
    bool ended;           // a stream whose last piece has been requested
    MPI_Request request;  // its broadcast; null once it has completed
};

[[noreturn]] void sourceChanged(const SharedFile& file) {
    consolePrint("\n Scene file: %s changed while it was read\n", file.name.c_str());
    abortJob(-1);
}

// The next piece of a stream, read by rank 0: its count, then as many bytes as it could read up
// to pieceBytes (fewer only at the end).
void readStreamPiece(SharedFile* file) {
    const std::size_t read = std::fread(file->coming.data() + countBytes, 1, pieceBytes, file->source);
    if (std::ferror(file->source)) sourceChanged(*file);
    const auto count = static_cast<std::int64_t>(read);
    std::memcpy(file->coming.data(), &count, countBytes);
}

// Starts the next piece on its way, if the file has one; rank 0 reads it from its source.
void requestPiece(SharedFile* file) {
    const bool stream = file->size == fileIsStream;
    const std::int64_t count = stream ? (file->ended ? 0 : pieceBytes + countBytes)
                                      : std::min(pieceBytes, file->size - file->requested);
    if (count <= 0) return;
    file->coming.resize(static_cast<std::size_t>(count));
    if (file->source && stream) {
        readStreamPiece(file);
    } else if (file->source &&
               std::fread(file->coming.data(), 1, file->coming.size(), file->source) != file->coming.size()) {
        sourceChanged(*file);
    }
    MPI_Ibcast(file->coming.data(), static_cast<int>(count), MPI_BYTE, 0, MPI_COMM_WORLD, &file->request);
    file->arriving = true;
    file->requested += count;
}

// A piece of a stream that has arrived: its bytes follow its count, and a short one is the last.
void takeStreamPiece(SharedFile* file) {
    std::int64_t count = 0;
    std::memcpy(&count, file->piece.data(), countBytes);
    file->piece.resize(countBytes + static_cast<std::size_t>(std::clamp<std::int64_t>(count, 0, pieceBytes)));
    file->at = countBytes;
    file->ended = count < pieceBytes;
}

ssize_t readSharedFile(void* cookie, char* to, std::size_t size) {
    SharedFile* file = static_cast<SharedFile*>(cookie);
    if (file->at == file->piece.size()) {
        if (!file->arriving) return 0;  // the end of the file
        MPI_Wait(&file->request, MPI_STATUS_IGNORE);
        file->piece.swap(file->coming);
        file->at = 0;
        file->arriving = false;
        if (file->size == fileIsStream) takeStreamPiece(file);
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
    fileClosed();
    return 0;
}

FILE* openSharedFile(FILE* source, const char* name, std::int64_t size) {
    fileOpened();
    SharedFile* file = new SharedFile{source, name, size, 0, {}, 0, {}, false, false, MPI_REQUEST_NULL};
    requestPiece(file);
    FILE* stream = fopencookie(file, "r", {readSharedFile, nullptr, nullptr, closeSharedFile});
    if (!stream) closeSharedFile(file);
    return stream;
}

// The size rank 0 announces for a file it can read: a regular file's, or fileIsStream for
// anything else (a pipe, a device), which goes out in pieces as it is read, however long it is.
std::int64_t announcedSize(FILE* file) {
    struct stat status {};
    if (fstat(fileno(file), &status) == 0 && S_ISREG(status.st_mode)) return status.st_size;
    return fileIsStream;
}

bool isDirectory(FILE* file) {
    struct stat status {};
    return fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
}

}  // namespace

FILE* readAndShareSceneFile(const char* name) {
    std::int64_t news[2] = {fileMissing, 0};
    FILE* file = std::fopen(name, "r");
    if (file && isDirectory(file)) {
        news[0] = fileIsDirectory;
        shareNews(news);
        return file;  // the scene driver reports it
    }
    if (file) news[0] = announcedSize(file);
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
