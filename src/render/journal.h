// The journal of a render: the finished rows of one picture, kept in a hidden file beside it while
// it renders, so that a render cut short can carry on with only the rows it lacks.
//
// The file starts with a header that names the render: the journal format, the program version,
// the picture's size and format, SHA-256 digests of the scene files' bytes and of the options that
// decide the pixels, and the seed. Each finished row follows as a record of its own, in the order
// the rows finish: a marker, the row number, a crc32 of the number and the bytes, then the row's
// bytes (3 * width). Every record is appended with one write, so a process that dies leaves at
// most a torn record at the end; the reader checks the header and every record, and a record that
// does not check out counts as missing. Nothing in a journal is trusted: its sizes are only
// compared with those of the render asked for.
#pragma once

#include <semaphore.h>

#include <array>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

struct evp_md_ctx_st;  // OpenSSL's EVP_MD_CTX

using Digest = std::array<unsigned char, 32>;

// SHA-256 computed piece by piece, through OpenSSL's EVP interface.
class Sha256 {
public:
    Sha256();  // std::bad_alloc when OpenSSL cannot set the hash up
    void add(const void* bytes, std::size_t size);
    // The digest of everything added since construction or the last finish.
    Digest finish();

private:
    struct Free {
        void operator()(evp_md_ctx_st* context) const;
    };
    std::unique_ptr<evp_md_ctx_st, Free> context_;
};

inline constexpr int journalFormat = 1;
inline constexpr std::size_t journalHeaderBytes = 136;
inline constexpr std::size_t journalRecordHead = 12;  // marker, row number, crc32
inline constexpr std::size_t journalVersionBytes = 32;
inline constexpr int journalMaxSide = 65535;

// What identifies a render.
struct JournalHeader {
    std::string version;  // the program version, shorter than journalVersionBytes
    std::int32_t width = 0;
    std::int32_t height = 0;
    std::int32_t imageType = 0;
    Digest scene{};    // the bytes of the scene file and of every file it read
    Digest options{};  // the options that decide the pixels
    bool seeded = false;
    std::uint64_t seed = 0;
};

// The bytes of a row record: its head and 3 * width bytes of pixels.
inline std::size_t journalRecordBytes(int width) { return journalRecordHead + 3 * std::size_t(width); }

void encodeJournalHeader(const JournalHeader& header, unsigned char (&bytes)[journalHeaderBytes]);
// The header at the start of bytes, when they hold a whole header of this format that checks out.
bool decodeJournalHeader(const unsigned char* bytes, std::size_t size, JournalHeader* header);

// What a journal's header says against the render asked for: one bit for each thing that differs.
enum JournalDifference : unsigned {
    otherFormat = 1,  // a journal format this program does not read
    otherVersion = 2,
    otherSize = 4,
    otherImageType = 8,
    otherScene = 16,
    otherOptions = 32,
    otherSeed = 64,
};
// The differences in words, e.g. "another scene and other options".
std::string describeDifferences(unsigned differences);

// What readJournal found.
struct JournalScan {
    enum class Kind {
        empty,       // no bytes at all
        notJournal,  // bytes that do not start as a journal does
        damaged,     // a journal whose header does not check out
        foreign,     // the journal of another render
        matching,    // the journal of this render
    };
    Kind kind = Kind::empty;
    unsigned differences = 0;  // foreign: what differs
    int rows = 0;              // matching: the distinct rows found intact
    std::uint64_t end = 0;     // matching: where the last whole record ends, where appends go
};

// Reads the journal open as fd against the header of the render wanted (whose sides are taken as
// given, up to journalMaxSide). In a matching journal each row found intact goes to found(y, row)
// once, from its first intact record; torn or corrupt records, and records of rows beyond the
// picture, are skipped. No read error or content makes it fail: what cannot be read is missing.
// Without `found` only the header is read.
JournalScan readJournal(int fd, const JournalHeader& wanted,
                        const std::function<void(int y, const unsigned char* row)>& found);

// Appends row records to a journal from a thread of its own, so that the render threads never wait
// for the file (a slow disk, a file system over the network): they hand each finished row over (a
// copy), and the thread, woken every 20 ms or when many rows wait, computes their
// crc32, writes them in one go and makes them durable with fdatasync at most once every
// `syncEvery`. After the first failed write nothing more is written.
class JournalWriter {
public:
    // After every write the thread reports the records it wrote, or 0 and the errno of a write
    // that failed.
    using Report = std::function<void(int written, int error)>;

    JournalWriter();
    JournalWriter(const JournalWriter&) = delete;
    JournalWriter& operator=(const JournalWriter&) = delete;
    ~JournalWriter();

    // Writes header at the start of fd (start then cuts the file after it): a fresh journal. False,
    // errno set, when that fails.
    static bool writeHeader(int fd, const JournalHeader& header);

    // Starts the thread: records of rowBytes-byte rows go from offset end on (header and whole
    // records before it stay, anything after is cut off). False, errno set, when the file cannot
    // be cut or the thread cannot be started.
    bool start(int fd, std::uint64_t end, std::size_t rowBytes, Report report = {},
               std::chrono::milliseconds syncEvery = std::chrono::seconds(1));
    // Hands row y over (waiting while many rows wait for the file); false, errno set to the first
    // failure's, once a write has failed. Any thread.
    bool append(int y, const unsigned char* row);
    // Has the thread write the rows handed over so far, waiting for it at most `patience`. Safe in
    // a signal handler, which never runs on the writing thread (it blocks signals).
    void flush(std::chrono::milliseconds patience = std::chrono::seconds(1));
    // The records in the file so far.
    int written() const { return written_.load(); }
    bool failed() const { return error_.load() != 0; }
    // Stops the thread once the rows handed over are written (`drain`), or dropping them.
    void stop(bool drain = true);

private:
    void writeWhileRunning(std::chrono::milliseconds syncEvery);
    bool writeRecords(std::vector<std::vector<unsigned char>>& records);

    int fd_ = -1;
    std::size_t rowBytes_ = 0;
    std::uint64_t end_ = 0;
    Report report_;
    std::size_t capacity_ = 0;  // the rows that may wait for the file
    std::atomic<int> written_{0};
    std::atomic<int> error_{0};  // errno of the first failed write
    std::atomic<bool> running_{false};
    std::atomic<bool> stopping_{false};
    std::atomic<int> flushesAsked_{0};
    std::atomic<int> flushesDone_{0};
    sem_t wake_;  // posted for the thread: rows pile up, a flush or the stop is asked for
    std::mutex mutex_;
    std::condition_variable room_;                     // for rows waiting to be handed over
    std::vector<std::vector<unsigned char>> waiting_;  // records handed over, not yet written
    std::vector<std::vector<unsigned char>> spare_;    // their buffers, once written
    bool drain_ = true;
    std::thread thread_;
};

// The journal of a picture file: hidden, in the same directory, ".NAME.EXT.journal" (of a long
// name only its first 200 bytes).
std::string journalPathFor(const std::string& picture);

// A journal file open for reading and writing.
class JournalFile {
public:
    enum class Opened {
        ok,
        notRegular,  // the name is a link, a directory, a device or a pipe
        inUse,       // another render holds it
        failed,      // errno tells why
    };

    JournalFile() = default;
    JournalFile(const JournalFile&) = delete;
    JournalFile& operator=(const JournalFile&) = delete;
    ~JournalFile() { close(); }

    // Opens the journal at path, made if there is none; never through a symbolic link, never
    // anything but a regular file, and never one that another render holds (an advisory lock,
    // kept while it is open).
    Opened open(const std::string& path);
    int fd() const { return fd_; }
    // Removes the journal's name if it still names this file, and closes it.
    void remove();
    void close();

private:
    int fd_ = -1;
    std::string path_;
};
