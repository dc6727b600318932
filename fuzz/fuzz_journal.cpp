// The libFuzzer entry of the journal: every input is a journal file. A wrong answer of the reader
// counts as a crash, like any sanitizer report.
#include <cstdio>
#include <cstdlib>

#include "journal_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (const std::string fault = readJournalInput(data, size); !fault.empty()) {
        std::fprintf(stderr, "orvel journal fuzz: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
