// The journal file on its own: rows appended in any order, from several threads, come back with
// their bytes; a record or a header that does not check out counts as missing and is never trusted;
// the journal of another render says what differs; a failed write stops the journal; the file is
// never a link, a pipe or another render's.
#include "render/journal.h"

#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "support/files.h"

namespace {

using Row = std::vector<unsigned char>;

JournalHeader sampleHeader() {
    JournalHeader header{"0.1 beta 14", 5, 4, 2, {}, {}, true, 7};
    header.scene[0] = 1;
    header.options[0] = 2;
    return header;
}

Row rowBytes(int y, int salt = 0) {
    Row row(15);
    for (std::size_t i = 0; i < row.size(); ++i) row[i] = static_cast<unsigned char>(y * 40 + i + salt);
    return row;
}

// A journal in memory: the header, then rows 3 and 1 from one thread and 0 from another.
int sampleJournal(bool sealed = false) {
    const int fd = memfd_create("journal", MFD_CLOEXEC | MFD_ALLOW_SEALING);
    EXPECT_TRUE(JournalWriter::writeHeader(fd, sampleHeader()));
    if (sealed) fcntl(fd, F_ADD_SEALS, F_SEAL_GROW);
    JournalWriter writer;
    EXPECT_TRUE(writer.start(fd, journalHeaderBytes, 15));
    std::thread other([&] { writer.append(0, rowBytes(0).data()); });
    writer.append(3, rowBytes(3).data());
    writer.append(1, rowBytes(1).data());
    other.join();
    writer.stop();
    EXPECT_EQ(writer.written(), sealed ? 0 : 3);
    return fd;
}

struct Read {
    JournalScan scan;
    std::map<int, Row> rows;
};

Read readBack(int fd, const JournalHeader& wanted = sampleHeader()) {
    Read read;
    read.scan = readJournal(fd, wanted, [&](int y, const unsigned char* row) {
        EXPECT_FALSE(read.rows.count(y)) << y;
        read.rows[y] = Row(row, row + 15);
    });
    return read;
}

void patch(int fd, off_t at, const std::string& bytes) {
    ASSERT_EQ(pwrite(fd, bytes.data(), bytes.size(), at), ssize_t(bytes.size()));
}

}  // namespace

// Each kind of damage, made to the sample journal (records at 136, 163, 190: rows 3, 1 and 0 in some
// order); what is left is what can be trusted, each row with its bytes.
TEST(Journal, DamageCountsAsMissing) {
    const off_t second = journalHeaderBytes + journalRecordBytes(5), third = second + journalRecordBytes(5);
    struct Case {
        const char* what;
        std::function<void(int fd)> damage;
        JournalScan::Kind kind;
        int rows;
    };
    const Case cases[] = {
        {"none", [](int) {}, JournalScan::Kind::matching, 3},
        {"torn last record", [&](int fd) { ASSERT_EQ(ftruncate(fd, third + 20), 0); }, JournalScan::Kind::matching, 2},
        {"a pixel byte flipped", [&](int fd) { patch(fd, second + 14, "\xff"); }, JournalScan::Kind::matching, 2},
        {"a row number byte flipped", [&](int fd) { patch(fd, second + 4, "\x02"); }, JournalScan::Kind::matching, 2},
        {"a record zeroed", [&](int fd) { patch(fd, second, std::string(27, '\0')); }, JournalScan::Kind::matching, 2},
        {"a record of a row beyond the picture, and a second record of a row",
         [&](int fd) {
             JournalWriter writer;
             ASSERT_TRUE(writer.start(fd, third + journalRecordBytes(5), 15));
             writer.append(4, rowBytes(4).data());
             writer.append(1, rowBytes(1, 9).data());
             writer.stop();
         },
         JournalScan::Kind::matching, 3},
        {"a header byte flipped", [&](int fd) { patch(fd, 50, "\x01"); }, JournalScan::Kind::damaged, 0},
        {"a header cut short", [&](int fd) { ASSERT_EQ(ftruncate(fd, 100), 0); }, JournalScan::Kind::damaged, 0},
        {"the start of a header alone", [&](int fd) { ASSERT_EQ(ftruncate(fd, 5), 0); }, JournalScan::Kind::damaged, 0},
        {"another file", [&](int fd) { patch(fd, 0, "P6\n"); }, JournalScan::Kind::notJournal, 0},
        {"no bytes", [&](int fd) { ASSERT_EQ(ftruncate(fd, 0), 0); }, JournalScan::Kind::empty, 0},
    };
    for (const Case& c : cases) {
        const int fd = sampleJournal();
        c.damage(fd);
        const Read read = readBack(fd);
        EXPECT_EQ(read.scan.kind, c.kind) << c.what;
        EXPECT_EQ(read.scan.rows, c.rows) << c.what;
        for (const auto& [y, row] : read.rows) EXPECT_EQ(row, rowBytes(y)) << c.what << ": row " << y;
        // Appends go behind the last whole record.
        EXPECT_TRUE(c.kind != JournalScan::Kind::matching ||
                    (read.scan.end - journalHeaderBytes) % journalRecordBytes(5) == 0)
            << c.what;
        close(fd);
    }
}

TEST(Journal, ForeignJournalsSayWhatDiffers) {
    struct Case {
        std::function<void(JournalHeader&)> change;
        const char* differs;
    };
    const Case cases[] = {
        {[](JournalHeader& h) { h.version = "0.1 beta 15"; }, "another program version"},
        {[](JournalHeader& h) { h.seeded = false; }, "another seed"},
        {[](JournalHeader& h) { h.height = 5, h.imageType = 3; }, "another picture size and another picture format"},
        {[](JournalHeader& h) { h.scene[0] = 0, h.options[1] = 1, h.seed = 0; },
         "another scene, other options and another seed"},
    };
    const int fd = sampleJournal();
    for (const Case& c : cases) {
        JournalHeader wanted = sampleHeader();
        c.change(wanted);
        const Read read = readBack(fd, wanted);
        EXPECT_EQ(read.scan.kind, JournalScan::Kind::foreign) << c.differs;
        EXPECT_TRUE(read.rows.empty()) << c.differs;
        EXPECT_EQ(describeDifferences(read.scan.differences), c.differs);
    }
    patch(fd, 8, "\x02");  // a format this program does not know, whatever follows
    EXPECT_EQ(describeDifferences(readBack(fd).scan.differences), "another journal format");
    close(fd);
}

// A write the file system refuses (here: a file sealed against growing) ends the journal, once,
// and says why.
TEST(Journal, TheFirstFailedWriteEndsTheJournal) {
    const int fd = sampleJournal(true);
    EXPECT_EQ(readBack(fd).scan.rows, 0);
    std::vector<std::pair<int, int>> reports;
    JournalWriter writer;
    ASSERT_TRUE(
        writer.start(fd, journalHeaderBytes, 15, [&](int written, int error) { reports.emplace_back(written, error); }));
    EXPECT_TRUE(writer.append(2, rowBytes(2).data()));  // handed over; the file refuses it later
    writer.stop();
    EXPECT_EQ(reports, (std::vector<std::pair<int, int>>{{0, EPERM}}));
    EXPECT_FALSE(writer.append(3, rowBytes(3).data()));
    EXPECT_TRUE(writer.failed() && writer.written() == 0);
    close(fd);
}

TEST(JournalFile, NamesAndWhatItRefuses) {
    EXPECT_EQ(journalPathFor("pic.png"), ".pic.png.journal");
    EXPECT_EQ(journalPathFor("out/sub/pic.png"), "out/sub/.pic.png.journal");
    EXPECT_EQ(journalPathFor("/" + std::string(240, 'a') + ".ppm"), "/." + std::string(200, 'a') + ".journal");

    TempDir dir;
    std::ofstream(dir.path("picture")) << "mine";
    std::filesystem::create_symlink(dir.path("picture"), dir.path("link"));
    std::filesystem::create_directory(dir.path("directory"));
    mkfifo(dir.path("pipe").c_str(), 0600);
    JournalFile file;
    for (const char* name : {"link", "directory", "pipe"})
        EXPECT_EQ(file.open(dir.path(name)), JournalFile::Opened::notRegular) << name;
    EXPECT_EQ(readWholeFile(dir.path("picture")), "mine");

    ASSERT_EQ(file.open(dir.path("journal")), JournalFile::Opened::ok);
    JournalFile other;
    EXPECT_EQ(other.open(dir.path("journal")), JournalFile::Opened::inUse);
    // The name now names another file: removing the journal leaves that file alone.
    std::filesystem::rename(dir.path("picture"), dir.path("journal"));
    file.remove();
    EXPECT_EQ(readWholeFile(dir.path("journal")), "mine");
    ASSERT_EQ(file.open(dir.path("journal")), JournalFile::Opened::ok);
    file.remove();
    EXPECT_FALSE(std::filesystem::exists(dir.path("journal")));
}
