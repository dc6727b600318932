// The libFuzzer entry for the model readers (fuzz/model_harness.h). ORVEL_FUZZ_FORMAT (1 to 5)
// pins every input to one format, so that each reader can be fuzzed on its own; the first byte
// then only picks the thread count.
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "model_harness.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static const char* const pinned = std::getenv("ORVEL_FUZZ_FORMAT");
    std::string fault;
    if (pinned && size > 0) {
        std::vector<std::uint8_t> input(data, data + size);
        input[0] = static_cast<std::uint8_t>(std::atoi(pinned) % 6 + 6 * (data[0] % 2));
        fault = runModelInput(input.data(), input.size());
    } else {
        fault = runModelInput(data, size);
    }
    if (!fault.empty()) {
        std::fprintf(stderr, "orvel model fuzz: %s\n", fault.c_str());
        std::abort();
    }
    return 0;
}
