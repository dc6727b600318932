#include "journal_harness.h"

#include <sys/mman.h>
#include <unistd.h>

#include <map>
#include <vector>

#include "render/journal.h"

namespace {

using Rows = std::map<int, std::vector<unsigned char>>;

class MemoryFile {
public:
    MemoryFile(const std::uint8_t* data, std::size_t size) : fd_(memfd_create("journal", MFD_CLOEXEC)) {
        if (fd_ >= 0 && size > 0 && pwrite(fd_, data, size, 0) != ssize_t(size)) {
            close(fd_);
            fd_ = -1;
        }
    }
    ~MemoryFile() {
        if (fd_ >= 0) close(fd_);
    }
    MemoryFile(const MemoryFile&) = delete;
    MemoryFile& operator=(const MemoryFile&) = delete;
    int fd() const { return fd_; }

private:
    int fd_;
};

// Reads the journal against `wanted`; the rows found, or the fault of the reader's answer.
std::string check(int fd, const JournalHeader& wanted, std::uint64_t size, JournalScan* scan, Rows* rows) {
    std::string fault;
    const std::size_t rowBytes = 3 * std::size_t(wanted.width);
    *scan = readJournal(fd, wanted, [&](int y, const unsigned char* row) {
        if (y < 0 || y >= wanted.height || rows->count(y)) fault = "a row outside the picture or found twice";
        (*rows)[y] = std::vector<unsigned char>(row, row + rowBytes);
    });
    if (!fault.empty()) return fault;
    if (scan->rows != int(rows->size())) return "a row count other than the rows found";
    if (scan->kind == JournalScan::Kind::foreign && scan->differences == 0)
        return "a foreign journal without difference";
    if (scan->kind != JournalScan::Kind::matching)
        return rows->empty() ? "" : "rows from a journal that does not match";
    const std::uint64_t records = scan->end - journalHeaderBytes;
    if (scan->end < journalHeaderBytes || scan->end > size || records % journalRecordBytes(wanted.width) != 0)
        return "an end that is no record boundary within the file";
    return "";
}

// A matching journal, cut where the reader says and given one more row, reads back with that row.
std::string resume(int fd, const JournalHeader& header, const JournalScan& scan, const Rows& rows) {
    int y = 0;
    while (y < header.height && rows.count(y)) ++y;
    if (y == header.height) return "";
    std::vector<unsigned char> row(3 * std::size_t(header.width), static_cast<unsigned char>(y));
    JournalWriter writer;
    if (!writer.start(fd, scan.end, row.size(), {}, std::chrono::milliseconds(1)) ||
        !writer.append(y, row.data()))
        return "";  // no thread to be had: nothing to check
    writer.stop();
    JournalScan again;
    Rows after;
    const std::string fault = check(fd, header, scan.end + journalRecordBytes(header.width), &again, &after);
    if (!fault.empty()) return "after an append: " + fault;
    Rows expected = rows;
    expected[y] = row;
    return after == expected ? "" : "an appended row, or the rows before it, read back otherwise";
}

}  // namespace

std::string readJournalInput(const std::uint8_t* data, std::size_t size) {
    const MemoryFile file(data, size);
    if (file.fd() < 0) return "";
    JournalHeader other{"0.1 beta 14", 4, 3, 2, {}, {}, false, 0};
    JournalScan scan;
    Rows rows;
    if (std::string fault = check(file.fd(), other, size, &scan, &rows); !fault.empty()) return fault;
    JournalHeader own;
    if (!decodeJournalHeader(data, size, &own)) return "";
    rows.clear();
    if (std::string fault = check(file.fd(), own, size, &scan, &rows); !fault.empty()) return fault;
    if (scan.kind != JournalScan::Kind::matching) return "the journal does not match its own header";
    return resume(file.fd(), own, scan, rows);
}
