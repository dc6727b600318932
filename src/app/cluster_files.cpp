#include "app/cluster_files.h"

#include <mpi.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include "app/cluster.h"
#include "base/console.h"
#include "base/fatal.h"
#include "scene/memory_file.h"

namespace {

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
        consolePrint("\n Scene file: %s changed while it was read\n", file->name.c_str());
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

}  // namespace

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
