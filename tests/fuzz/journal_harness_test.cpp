// The journal fuzzer's harness over the seed journals and every input that once failed; the seeds
// are journals the reader takes rows from, so that the fuzzer starts beyond the header's checks.
#include "journal_harness.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

#include "render/journal.h"
#include "support/files.h"

TEST(JournalHarness, TheSeedJournalsAndTheInputsThatOnceFailed) {
    for (const auto& entry : std::filesystem::directory_iterator(ORVEL_SOURCE_DIR "/tests/data/journal")) {
        const std::string bytes = readWholeFile(entry.path());
        const auto* data = reinterpret_cast<const std::uint8_t*>(bytes.data());
        EXPECT_EQ(readJournalInput(data, bytes.size()), "") << entry.path();
        if (entry.path().filename() == "rows.journal") {
            JournalHeader header;
            EXPECT_TRUE(decodeJournalHeader(data, bytes.size(), &header) && header.width == 4 && header.height == 3);
        }
    }
}
