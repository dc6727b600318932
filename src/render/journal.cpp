#include "render/journal.h"

#include <fcntl.h>
#include <openssl/evp.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/uio.h>
#include <time.h>
#include <unistd.h>
#include <zlib.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <new>
#include <system_error>
#include <utility>
#include <vector>

// SHA-256

void Sha256::Free::operator()(evp_md_ctx_st* context) const { EVP_MD_CTX_free(context); }

Sha256::Sha256() : context_(EVP_MD_CTX_new()) {
    if (!context_ || EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr) != 1) throw std::bad_alloc();
}

void Sha256::add(const void* bytes, std::size_t size) { EVP_DigestUpdate(context_.get(), bytes, size); }

Digest Sha256::finish() {
    Digest digest{};
    EVP_DigestFinal_ex(context_.get(), digest.data(), nullptr);
    EVP_DigestInit_ex(context_.get(), EVP_sha256(), nullptr);
    return digest;
}

namespace {

// The header's layout: offsets of its fields, integers least significant byte first.
constexpr unsigned char journalMagic[8] = {'O', 'R', 'V', 'E', 'L', 'J', 'N', 'L'};
constexpr std::size_t formatAt = 8;
constexpr std::size_t versionAt = 12;
constexpr std::size_t widthAt = versionAt + journalVersionBytes;
constexpr std::size_t heightAt = widthAt + 4;
constexpr std::size_t imageTypeAt = heightAt + 4;
constexpr std::size_t seededAt = imageTypeAt + 4;
constexpr std::size_t seedAt = seededAt + 4;
constexpr std::size_t sceneAt = seedAt + 8;
constexpr std::size_t optionsAt = sceneAt + 32;
constexpr std::size_t headerCrcAt = optionsAt + 32;
static_assert(headerCrcAt + 4 == journalHeaderBytes);

constexpr unsigned char recordMarker[4] = {'R', 'O', 'W', ' '};

void store32(unsigned char* at, std::uint32_t value) {
    for (int k = 0; k < 4; ++k) at[k] = static_cast<unsigned char>(value >> (8 * k));
}

void store64(unsigned char* at, std::uint64_t value) {
    store32(at, static_cast<std::uint32_t>(value));
    store32(at + 4, static_cast<std::uint32_t>(value >> 32));
}

std::uint32_t load32(const unsigned char* at) {
    std::uint32_t value = 0;
    for (int k = 3; k >= 0; --k) value = value << 8 | at[k];
    return value;
}

std::uint64_t load64(const unsigned char* at) { return load32(at) | std::uint64_t(load32(at + 4)) << 32; }

std::uint32_t crcOf(const unsigned char* bytes, std::size_t size, std::uint32_t crc = 0) {
    return static_cast<std::uint32_t>(crc32(crc, bytes, static_cast<uInt>(size)));
}

// The crc32 of a record: its row number's four bytes, then the row.
std::uint32_t recordCrc(const unsigned char* number, const unsigned char* row, std::size_t rowBytes) {
    return crcOf(row, rowBytes, crcOf(number, 4));
}

// Reads up to size bytes at offset; the count read (short only at the end or on an error).
std::size_t readAt(int fd, unsigned char* to, std::size_t size, std::uint64_t offset) {
    std::size_t done = 0;
    while (done < size) {
        const ssize_t n = pread(fd, to + done, size - done, static_cast<off_t>(offset + done));
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) break;
        done += static_cast<std::size_t>(n);
    }
    return done;
}

// Writes every byte of the parts at offset (the parts are advanced past what is written); false,
// errno set, when the system refuses some.
bool writeAt(int fd, iovec* parts, int count, std::uint64_t offset) {
    while (count > 0) {
        const ssize_t n = pwritev(fd, parts, count, static_cast<off_t>(offset));
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) return false;
        if (n == 0) {
            errno = ENOSPC;
            return false;
        }
        offset += static_cast<std::uint64_t>(n);
        std::size_t left = static_cast<std::size_t>(n);
        for (; count > 0 && left >= parts->iov_len; --count, ++parts) left -= parts->iov_len;
        if (count > 0) {
            parts->iov_base = static_cast<unsigned char*>(parts->iov_base) + left;
            parts->iov_len -= left;
        }
    }
    return true;
}

enum class HeaderRead { notJournal, otherFormat, damaged, valid };

// Decodes the first `size` bytes of a file as a header.
HeaderRead decodeHeader(const unsigned char* bytes, std::size_t size, JournalHeader* header) {
    const std::size_t magicBytes = std::min(size, sizeof journalMagic);
    if (std::memcmp(bytes, journalMagic, magicBytes) != 0) return HeaderRead::notJournal;
    if (size < formatAt + 4) return HeaderRead::damaged;
    if (load32(bytes + formatAt) != journalFormat) return HeaderRead::otherFormat;
    if (size < journalHeaderBytes || load32(bytes + headerCrcAt) != crcOf(bytes, headerCrcAt))
        return HeaderRead::damaged;
    const unsigned char* version = bytes + versionAt;
    const std::uint32_t width = load32(bytes + widthAt), height = load32(bytes + heightAt);
    const std::uint32_t seeded = load32(bytes + seededAt);
    if (version[journalVersionBytes - 1] != 0 || width < 1 || width > journalMaxSide || height < 1 ||
        height > journalMaxSide || seeded > 1)
        return HeaderRead::damaged;
    header->version = reinterpret_cast<const char*>(version);
    header->width = static_cast<std::int32_t>(width);
    header->height = static_cast<std::int32_t>(height);
    header->imageType = static_cast<std::int32_t>(load32(bytes + imageTypeAt));
    header->seeded = seeded == 1;
    header->seed = load64(bytes + seedAt);
    std::memcpy(header->scene.data(), bytes + sceneAt, header->scene.size());
    std::memcpy(header->options.data(), bytes + optionsAt, header->options.size());
    return HeaderRead::valid;
}

unsigned compareHeaders(const JournalHeader& found, const JournalHeader& wanted) {
    unsigned differences = 0;
    if (found.version != wanted.version) differences |= otherVersion;
    if (found.width != wanted.width || found.height != wanted.height) differences |= otherSize;
    if (found.imageType != wanted.imageType) differences |= otherImageType;
    if (found.scene != wanted.scene) differences |= otherScene;
    if (found.options != wanted.options) differences |= otherOptions;
    if (found.seeded != wanted.seeded || (found.seeded && found.seed != wanted.seed))
        differences |= otherSeed;
    return differences;
}

}  // namespace

void encodeJournalHeader(const JournalHeader& header, unsigned char (&bytes)[journalHeaderBytes]) {
    std::memset(bytes, 0, sizeof bytes);
    std::memcpy(bytes, journalMagic, sizeof journalMagic);
    store32(bytes + formatAt, journalFormat);
    std::memcpy(bytes + versionAt, header.version.data(),
                std::min(header.version.size(), journalVersionBytes - 1));
    store32(bytes + widthAt, static_cast<std::uint32_t>(header.width));
    store32(bytes + heightAt, static_cast<std::uint32_t>(header.height));
    store32(bytes + imageTypeAt, static_cast<std::uint32_t>(header.imageType));
    store32(bytes + seededAt, header.seeded ? 1 : 0);
    store64(bytes + seedAt, header.seed);
    std::memcpy(bytes + sceneAt, header.scene.data(), header.scene.size());
    std::memcpy(bytes + optionsAt, header.options.data(), header.options.size());
    store32(bytes + headerCrcAt, crcOf(bytes, headerCrcAt));
}

bool decodeJournalHeader(const unsigned char* bytes, std::size_t size, JournalHeader* header) {
    return size > 0 && decodeHeader(bytes, size, header) == HeaderRead::valid;
}

std::string describeDifferences(unsigned differences) {
    constexpr std::pair<unsigned, const char*> words[] = {
        {otherFormat, "another journal format"},
        {otherVersion, "another program version"},
        {otherSize, "another picture size"},
        {otherImageType, "another picture format"},
        {otherScene, "another scene"},
        {otherOptions, "other options"},
        {otherSeed, "another seed"},
    };
    std::vector<const char*> named;
    for (const auto& [bit, text] : words)
        if (differences & bit) named.push_back(text);
    std::string text;
    for (std::size_t k = 0; k < named.size(); ++k) {
        if (k > 0) text += k + 1 == named.size() ? " and " : ", ";
        text += named[k];
    }
    return text;
}

JournalScan readJournal(int fd, const JournalHeader& wanted,
                        const std::function<void(int y, const unsigned char* row)>& found) {
    JournalScan scan;
    unsigned char head[journalHeaderBytes];
    const std::size_t headSize = readAt(fd, head, sizeof head, 0);
    if (headSize == 0) return scan;
    JournalHeader header;
    switch (decodeHeader(head, headSize, &header)) {
        case HeaderRead::notJournal: scan.kind = JournalScan::Kind::notJournal; return scan;
        case HeaderRead::damaged: scan.kind = JournalScan::Kind::damaged; return scan;
        case HeaderRead::otherFormat:
            scan.kind = JournalScan::Kind::foreign;
            scan.differences = otherFormat;
            return scan;
        case HeaderRead::valid: break;
    }
    scan.differences = compareHeaders(header, wanted);
    if (scan.differences != 0) {
        scan.kind = JournalScan::Kind::foreign;
        return scan;
    }
    scan.kind = JournalScan::Kind::matching;
    scan.end = journalHeaderBytes;
    if (!found) return scan;

    // The header matched, so its sides are those of the picture asked for; a record is read only
    // where the file holds one.
    const std::size_t rowBytes = 3 * std::size_t(header.width);
    const std::size_t recordBytes = journalRecordBytes(header.width);
    struct stat status {};
    if (fstat(fd, &status) != 0 || std::uint64_t(status.st_size) < journalHeaderBytes + recordBytes)
        return scan;
    std::vector<unsigned char> record(recordBytes);
    std::vector<bool> seen(std::size_t(header.height), false);
    while (readAt(fd, record.data(), recordBytes, scan.end) == recordBytes) {
        scan.end += recordBytes;
        const unsigned char* row = record.data() + journalRecordHead;
        const std::uint32_t y = load32(record.data() + 4);
        if (std::memcmp(record.data(), recordMarker, sizeof recordMarker) != 0 ||
            load32(record.data() + 8) != recordCrc(record.data() + 4, row, rowBytes) ||
            y >= std::uint32_t(header.height) || seen[y])
            continue;
        seen[y] = true;
        ++scan.rows;
        found(static_cast<int>(y), row);
    }
    return scan;
}

// Writing

bool JournalWriter::writeHeader(int fd, const JournalHeader& header) {
    unsigned char bytes[journalHeaderBytes];
    encodeJournalHeader(header, bytes);
    iovec part{bytes, sizeof bytes};
    return writeAt(fd, &part, 1, 0);
}

JournalWriter::JournalWriter() { sem_init(&wake_, 0, 0); }

JournalWriter::~JournalWriter() {
    stop();
    sem_destroy(&wake_);
}

bool JournalWriter::start(int fd, std::uint64_t end, std::size_t rowBytes, Report report,
                          std::chrono::milliseconds syncEvery) {
    stop(false);
    if (ftruncate(fd, static_cast<off_t>(end)) != 0) return false;
    fd_ = fd;
    rowBytes_ = rowBytes;
    end_ = end;
    report_ = std::move(report);
    // Rows may wait for the file up to some 8 MB, and at least a few of them.
    capacity_ = std::clamp<std::size_t>((std::size_t(8) << 20) / (journalRecordHead + rowBytes), 4, 256);
    written_.store(0);
    error_.store(0);
    flushesAsked_.store(0);
    flushesDone_.store(0);
    stopping_.store(false);
    while (sem_trywait(&wake_) == 0) continue;  // posts left from an earlier run
    running_.store(true);
    try {
        thread_ = std::thread(&JournalWriter::writeWhileRunning, this, syncEvery);
    } catch (const std::system_error& error) {
        running_.store(false);
        errno = error.code().value();
        return false;
    }
    return true;
}

bool JournalWriter::append(int y, const unsigned char* row) {
    std::vector<unsigned char> record;
    {
        std::unique_lock<std::mutex> lock(mutex_);
        room_.wait(lock,
                   [this] { return waiting_.size() < capacity_ || error_.load() != 0 || stopping_.load(); });
        if (const int error = error_.load(); error != 0 || stopping_.load()) {
            errno = error != 0 ? error : EBADF;
            return false;
        }
        if (!spare_.empty()) {
            record.swap(spare_.back());
            spare_.pop_back();
        }
    }
    record.resize(journalRecordHead + rowBytes_);
    std::memcpy(record.data(), recordMarker, sizeof recordMarker);
    store32(record.data() + 4, static_cast<std::uint32_t>(y));
    std::memcpy(record.data() + journalRecordHead, row, rowBytes_);
    bool pilingUp = false;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        waiting_.push_back(std::move(record));
        pilingUp = waiting_.size() >= capacity_ / 2;
    }
    if (pilingUp) sem_post(&wake_);
    return true;
}

void JournalWriter::flush(std::chrono::milliseconds patience) {
    if (!running_.load()) return;
    const int asked = flushesAsked_.fetch_add(1) + 1;
    sem_post(&wake_);
    constexpr timespec millisecond{0, 1'000'000};
    for (auto waited = patience.count(); waited > 0 && flushesDone_.load() < asked && running_.load();
         --waited)
        nanosleep(&millisecond, nullptr);
}

bool JournalWriter::writeRecords(std::vector<std::vector<unsigned char>>& records) {
    std::vector<iovec> parts;
    for (std::vector<unsigned char>& record : records) {
        store32(record.data() + 8,
                recordCrc(record.data() + 4, record.data() + journalRecordHead, rowBytes_));
        parts.push_back({record.data(), record.size()});
    }
    for (std::size_t at = 0; at < parts.size(); at += IOV_MAX) {
        const int count = static_cast<int>(std::min<std::size_t>(IOV_MAX, parts.size() - at));
        if (!writeAt(fd_, &parts[at], count, end_)) return false;
        end_ += std::uint64_t(count) * (journalRecordHead + rowBytes_);
    }
    return true;
}

void JournalWriter::writeWhileRunning(std::chrono::milliseconds syncEvery) {
    // The signal handlers that flush the journal wait for this thread: they must run on another.
    sigset_t signals;
    sigfillset(&signals);
    pthread_sigmask(SIG_BLOCK, &signals, nullptr);
    // A kill -9 loses at most the rows of the last 20 ms.
    const auto writeEvery = std::min(syncEvery, std::chrono::milliseconds(20));
    auto synced = std::chrono::steady_clock::now();
    bool unsynced = false;
    std::vector<std::vector<unsigned char>> records;
    for (bool ok = true; ok;) {
        timespec until{};
        clock_gettime(CLOCK_MONOTONIC, &until);
        const long long nanoseconds = until.tv_nsec + std::chrono::nanoseconds(writeEvery).count();
        until.tv_sec += static_cast<time_t>(nanoseconds / 1'000'000'000);
        until.tv_nsec = static_cast<long>(nanoseconds % 1'000'000'000);
        sem_clockwait(&wake_, CLOCK_MONOTONIC, &until);
        const int asked = flushesAsked_.load();
        const bool stopping = stopping_.load();
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            if (!stopping || drain_) records.swap(waiting_);
            room_.notify_all();
        }
        ok = records.empty() || writeRecords(records);
        const int error = ok ? 0 : (errno != 0 ? errno : EIO);
        if (ok && !records.empty()) {
            written_ += static_cast<int>(records.size());
            unsynced = true;
        }
        if (report_ && !records.empty()) report_(ok ? static_cast<int>(records.size()) : 0, error);
        if (ok && unsynced && std::chrono::steady_clock::now() - synced >= syncEvery) {
            fdatasync(fd_);
            synced = std::chrono::steady_clock::now();
            unsynced = false;
        }
        {
            const std::lock_guard<std::mutex> lock(mutex_);
            for (std::vector<unsigned char>& record : records) spare_.push_back(std::move(record));
            records.clear();
            if (!ok) error_.store(error);
            room_.notify_all();
        }
        flushesDone_.store(asked);
        if (stopping) break;
    }
    running_.store(false);
}

void JournalWriter::stop(bool drain) {
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        drain_ = drain;
        stopping_.store(true);
        room_.notify_all();
    }
    sem_post(&wake_);
    if (thread_.joinable()) thread_.join();
    const std::lock_guard<std::mutex> lock(mutex_);
    waiting_.clear();
    spare_.clear();
}

// The file

std::string journalPathFor(const std::string& picture) {
    const std::size_t slash = picture.rfind('/');
    const std::size_t base = slash == std::string::npos ? 0 : slash + 1;
    return picture.substr(0, base) + "." + picture.substr(base, 200) + ".journal";
}

JournalFile::Opened JournalFile::open(const std::string& path) {
    close();
    // O_NONBLOCK: a pipe of that name must not hold the render up; it is refused below.
    const int fd = ::open(path.c_str(), O_RDWR | O_CREAT | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0)
        return errno == ELOOP || errno == EISDIR || errno == ENXIO ? Opened::notRegular : Opened::failed;
    struct stat status {};
    if (fstat(fd, &status) != 0 || !S_ISREG(status.st_mode)) {
        ::close(fd);
        return Opened::notRegular;
    }
    // Where the file system has no locks, the journal goes without one.
    if (flock(fd, LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK) {
        ::close(fd);
        return Opened::inUse;
    }
    fd_ = fd;
    path_ = path;
    return Opened::ok;
}

void JournalFile::remove() {
    if (fd_ < 0) return;
    struct stat mine {
    }, named{};
    if (fstat(fd_, &mine) == 0 && lstat(path_.c_str(), &named) == 0 && mine.st_dev == named.st_dev &&
        mine.st_ino == named.st_ino)
        unlink(path_.c_str());
    close();
}

void JournalFile::close() {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    path_.clear();
}
