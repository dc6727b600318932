#include "render/resume.h"

#include <signal.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <utility>
#include <vector>

#include "base/console.h"
#include "image/image.h"
#include "image/output_file.h"
#include "objects/data.h"
#include "render/camera.h"
#include "render/progress.h"
#include "render/render_settings.h"

namespace {

// The version a journal is made by: rows of another version are not trusted to be the same.
constexpr const char* programVersion = "0.1 beta 14";

bool keepJournals = false;
std::string finishCommandText;

// The fingerprint of the scene files read so far: for each file, in the order they close, its
// length and its own digest.
std::optional<Sha256> sceneFingerprint;

Sha256& sceneHash() {
    if (!sceneFingerprint) sceneFingerprint.emplace();
    return *sceneFingerprint;
}

// What a signal handler needs of the journal of the render running. The texts are set before fd,
// and fd is cleared before they change, so a handler that finds fd set finds them complete.
struct Interruption {
    std::atomic<int> fd{-1};
    std::atomic<int> rowsKept{0};
    std::string path;
    std::string tail;  // " of H rows kept in PATH; to finish the picture: COMMAND\n"
    std::string line;  // room for the whole line, made before a handler may need it
};
Interruption interruption;

// The writer rows go to while the render runs; cleared when the journal ends or fails.
std::atomic<JournalWriter*> activeWriter{nullptr};

void sayCannotWrite(const std::string& path, const char* reason) {
    consolePrint(" Cannot write journal %s (%s): rendering on without it\n", path.c_str(), reason);
}

struct SceneFile {
    FILE* source;
    Sha256 hash;
    std::uint64_t length;
};

ssize_t readSceneFile(void* cookie, char* to, std::size_t size) {
    SceneFile& file = *static_cast<SceneFile*>(cookie);
    const std::size_t count = std::fread(to, 1, size, file.source);
    if (count == 0 && std::ferror(file.source)) return -1;
    file.hash.add(to, count);
    file.length += count;
    return static_cast<ssize_t>(count);
}

// One file read into the scene's fingerprint: its length and its digest.
void addToFingerprint(std::uint64_t length, const Digest& digest) {
    unsigned char bytes[8];
    for (int k = 0; k < 8; ++k) bytes[k] = static_cast<unsigned char>(length >> (8 * k));
    sceneHash().add(bytes, sizeof bytes);
    sceneHash().add(digest.data(), digest.size());
}

int closeSceneFile(void* cookie) {
    const std::unique_ptr<SceneFile> file(static_cast<SceneFile*>(cookie));
    addToFingerprint(file->length, file->hash.finish());
    return std::fclose(file->source);
}

bool isDirectory(FILE* file) {
    struct stat status {};
    return fileno(file) >= 0 && fstat(fileno(file), &status) == 0 && S_ISDIR(status.st_mode);
}

// The options that decide the pixels besides the picture's size and format and the seed (the
// thread and rank counts and the queue size do not).
Digest optionsDigest() {
    const std::string text = "antialias " + std::to_string(iAntialias) + " threshold " +
                             std::to_string(adapt_dist) + " jitter " + std::to_string(jitter);
    Sha256 hash;
    hash.add(text.data(), text.size());
    return hash.finish();
}

JournalHeader renderHeader(int width, int height) {
    JournalHeader header;
    header.version = programVersion;
    header.width = width;
    header.height = height;
    header.imageType = iImageType;
    header.scene = sceneHash().finish();
    header.options = optionsDigest();
    header.seeded = randomSeed.has_value();
    header.seed = randomSeed.value_or(0);
    return header;
}

bool drawsRandomly(const Object* object) {
    for (; object; object = object->next) {
        if (object->children) {
            if (drawsRandomly(object->children->first)) return true;
            continue;
        }
        const Surface& surface = object->surface;
        if (surface.reflection > 0 && surface.reflectionType == 1 && surface.reflectionSamples > 0)
            return true;
    }
    return false;
}

// Gives back the space of a journal's rows at once (the file itself goes when the render ends).
bool cutAfterHeader(int fd) { return ftruncate(fd, journalHeaderBytes) == 0; }

// What the journal's writing thread reports: a failure ends the journal (said once, in the middle
// of the progress bar), whose rows then go so that the picture has room.
void reportWrites(int, int error) {
    if (error == 0 || !activeWriter.exchange(nullptr)) return;
    if (const int fd = interruption.fd.exchange(-1); fd >= 0) cutAfterHeader(fd);
    consolePrint("\n");
    sayCannotWrite(interruption.path, std::strerror(error));
    consolePrint(" ");
    consoleFlush();
}

void writeText(const char* text, std::size_t size) {
    while (size > 0) {
        const ssize_t n = write(STDOUT_FILENO, text, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return;
        text += n;
        size -= static_cast<std::size_t>(n);
    }
}

}  // namespace

void keepRenderJournals(std::string finishCommand) {
    keepJournals = true;
    finishCommandText = std::move(finishCommand);
}

void resetRenderJournals() {
    keepJournals = false;
    finishCommandText.clear();
    sceneFingerprint.reset();
}

FILE* fingerprintSceneFile(FILE* file) {
    if (!file || isDirectory(file)) return file;
    auto source = std::make_unique<SceneFile>(SceneFile{file, Sha256(), 0});
    FILE* stream = fopencookie(source.get(), "r", {readSceneFile, nullptr, nullptr, closeSceneFile});
    if (!stream) {
        std::fclose(file);
        return nullptr;
    }
    source.release();  // the stream owns it now
    return stream;
}

void fingerprintSceneBytes(const unsigned char* bytes, std::size_t size) {
    Sha256 hash;
    hash.add(bytes, size);
    addToFingerprint(size, hash.finish());
}

bool sceneSamplesRandomly() {
    if (jitter || (myViewPoint.aperture > 0 && myViewPoint.samples >= 1)) return true;
    for (const Light* light = myLightList; light; light = light->next)
        if (light->light.shadowType == 1 && light->light.samples > 0) return true;
    return drawsRandomly(myObjectList);
}

RenderJournal::RenderJournal(const std::string& pictureFile, int width, int height, bool resume)
    : width_(width), left_(height) {
    if (!keepJournals || pictureFile.empty()) return;
    path_ = journalPathFor(pictureFile);
    if (!openFile() || !restore(resume, renderHeader(width, height))) return;

    interruption.path = path_;
    interruption.tail = " of " + std::to_string(height) + " rows kept in " + path_ +
                        "; to finish the picture: " + finishCommandText + "\n";
    interruption.line.assign(interruption.tail.size() + 32, ' ');
    interruption.rowsKept.store(height - left_.count());
    interruption.fd.store(file_.fd());
    activeWriter.store(&writer_);
    writing_ = true;
}

bool RenderJournal::openFile() {
    switch (file_.open(path_)) {
        case JournalFile::Opened::ok: return true;
        case JournalFile::Opened::notRegular: cannotWrite("not a regular file"); break;
        case JournalFile::Opened::inUse: cannotWrite("in use by another render"); break;
        case JournalFile::Opened::failed: cannotWrite(std::strerror(errno)); break;
    }
    return false;
}

bool RenderJournal::restore(bool resume, const JournalHeader& header) {
    const int fd = file_.fd();
    const int height = header.height;
    std::vector<unsigned char> copy(3 * std::size_t(header.width));
    const JournalScan scan =
        resume ? readJournal(fd, header,
                             [&](int y, const unsigned char* row) {
                                 std::memcpy(copy.data(), row, copy.size());  // TGA and BMP swap it
                                 writeImageLine(copy.data(), y);
                                 left_.markDone(y);
                             })
               : readJournal(fd, header, nullptr);
    if (scan.kind == JournalScan::Kind::notJournal) {
        file_.close();  // not ours to replace
        cannotWrite("a file that is no journal has that name");
        return false;
    }
    const char* name = path_.c_str();
    if (resume) {
        switch (scan.kind) {
            case JournalScan::Kind::matching:
                consolePrint(" Resuming from %s: %d of %d rows done\n", name, scan.rows, height);
                if (scan.rows > 0 && !header.seeded && sceneSamplesRandomly())
                    consolePrint(
                        " Random sampling without --seed: the resumed picture differs from an uninterrupted "
                        "one\n");
                break;
            case JournalScan::Kind::foreign:
                consolePrint(" Journal %s is of %s: rendering from the first row\n", name,
                             describeDifferences(scan.differences).c_str());
                break;
            case JournalScan::Kind::damaged:
                consolePrint(" Journal %s is damaged: rendering from the first row\n", name);
                break;
            default: consolePrint(" No journal %s: rendering from the first row\n", name);
        }
    }
    std::uint64_t appendAt = scan.end;
    if (!resume || scan.kind != JournalScan::Kind::matching) {
        appendAt = journalHeaderBytes;
        if (!JournalWriter::writeHeader(fd, header)) {
            cannotWrite(std::strerror(errno));
            file_.remove();
            return false;
        }
    }
    if (!writer_.start(fd, appendAt, 3 * std::size_t(header.width), reportWrites)) {
        cannotWrite(std::strerror(errno));
        finish(false);
        return false;
    }
    return true;
}

RenderJournal::~RenderJournal() { finish(false); }

void RenderJournal::showRestoredProgress() const {
    for (int y = 0; y < left_.height(); ++y)
        if (!left_.isLeft(y)) showProgress(y);
}

void RenderJournal::pictureComplete() {
    if (file_.fd() < 0) return;
    removeWithNextPicture(path_);
    struct statvfs space {};
    if (fstatvfs(file_.fd(), &space) != 0) return;
    // What the largest encoding of the picture can take: its bytes, and a tenth more.
    const std::uint64_t bytes = 3ull * std::uint64_t(width_) * std::uint64_t(left_.height());
    if (std::uint64_t(space.f_bavail) * space.f_frsize < bytes + bytes / 10 + 65536) finish(true);
}

void RenderJournal::pictureWritten() { finish(true); }

void RenderJournal::cannotWrite(const char* reason) { sayCannotWrite(path_, reason); }

void RenderJournal::finish(bool pictureInPlace) {
    if (writing_) {
        activeWriter.store(nullptr);
        interruption.fd.store(-1);
        writer_.stop(!pictureInPlace);
        writing_ = false;
    }
    if (file_.fd() < 0) return;
    const int rows = left_.height() - left_.count() + writer_.written();
    if (pictureInPlace || writer_.failed() || rows == 0) {
        file_.remove();
        return;
    }
    fdatasync(file_.fd());
    file_.close();
}

void journalRow(const unsigned char* row, int y) {
    JournalWriter* writer = activeWriter.load();
    if (writer && writer->append(y, row)) interruption.rowsKept.fetch_add(1);
}

void journalInterrupted() {
    const int fd = interruption.fd.exchange(-1);
    if (fd < 0) return;
    JournalWriter* writer = activeWriter.exchange(nullptr);  // no row is handed over from here on
    const int kept = interruption.rowsKept.load();
    if (kept == 0) {  // nothing to keep: the journal goes, if its name is still this file's
        struct stat mine {
        }, named{};
        if (fstat(fd, &mine) == 0 && lstat(interruption.path.c_str(), &named) == 0 &&
            mine.st_dev == named.st_dev && mine.st_ino == named.st_ino)
            unlink(interruption.path.c_str());
        return;
    }
    // The line is put together in room made beforehand and written at once, past the C library's
    // buffers (a signal may have caught them midway). It goes first, as mpirun sends SIGKILL right
    // behind its SIGTERM; then the rows handed over reach the file, and fdatasync keeps them through
    // a power loss too.
    char digits[12];
    std::size_t at = sizeof digits;
    for (unsigned n = static_cast<unsigned>(kept); at == sizeof digits || n > 0; n /= 10)
        digits[--at] = static_cast<char>('0' + n % 10);
    constexpr char head[] = "\n Interrupted: ";
    char* line = interruption.line.data();
    std::size_t size = 0;
    for (const auto& [part, count] : {std::pair<const char*, std::size_t>{head, sizeof head - 1},
                                      {digits + at, sizeof digits - at},
                                      {interruption.tail.data(), interruption.tail.size()}}) {
        std::memcpy(line + size, part, count);
        size += count;
    }
    // A console that is gone must not end the process by another signal than the one ending it:
    // SIGPIPE stays blocked, as the process is ending.
    sigset_t pipe;
    sigemptyset(&pipe);
    sigaddset(&pipe, SIGPIPE);
    pthread_sigmask(SIG_BLOCK, &pipe, nullptr);
    writeText(line, size);
    if (writer) writer->flush();
    fdatasync(fd);
}
