// The pictures both programs render with --seed (its bad values are among the command-line failures).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"

namespace {

using Args = std::vector<std::string>;

// The scene of every random feature: jittered samples, a lens, smooth shadows, fuzzy reflection.
ProgramRun runScene(bool multi, Args options, const TempDir& dir) {
    options.insert(options.begin(), {"-i", std::string(ORVEL_SOURCE_DIR) + "/tests/data/threads.orv", "-o", "pic", "-ppm"});
    return runProgram(orvelProgram(multi), options, dir.path());
}

// In each anti-aliasing mode, orvel-mt in 2, 4 and 8 bands renders the bytes of orvel (18 rows:
// bands start at odd and even rows), run after run; the last seed given counts, and another
// seed gives other noise.
TEST(SeedThreads, EveryBandCountRendersTheBytesOfOneBand) {
    TempDir dir;
    auto render = [&](bool multi, const Args& mode, const Args& more) {
        Args options = {"-r", "24", "18"};
        options.insert(options.end(), mode.begin(), mode.end());
        options.insert(options.end(), more.begin(), more.end());
        EXPECT_EQ(runScene(multi, options, dir).status, 0);
        return readWholeFile(dir.path("pic.ppm"));
    };
    for (const Args& mode : {Args{"-aan"}, Args{"-aaq"}, Args{"-aaa", "8"}}) {
        const std::string one = render(false, mode, {"--seed", "7"});
        ASSERT_EQ(one.size(), 13u + 24 * 18 * 3);
        for (const char* bands : {"2", "4", "8"})
            EXPECT_EQ(render(true, mode, {"--seed", "7", "-t", bands}), one) << mode[0] << " in " << bands << " bands";
        EXPECT_EQ(render(false, mode, {"--seed", "8", "--seed", "007"}), one) << mode[0];
        EXPECT_NE(render(false, mode, {"--seed", "8"}), one) << mode[0];
    }
    for (const bool multi : {false, true}) {  // decimal digits up to the largest 64-bit number
        for (const char* good : {"0", "18446744073709551615"})
            EXPECT_EQ(runScene(multi, {"-r", "4", "3", "--seed", good}, dir).status, 0) << good;
    }
}

}  // namespace
