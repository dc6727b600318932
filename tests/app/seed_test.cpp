// The pictures both programs render with --seed (its bad values and the largest one are among the
// command-line rows).
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "support/files.h"

namespace {

using Args = std::vector<std::string>;

// In each anti-aliasing mode, orvel-mt in 2, 4 and 8 bands renders the bytes of orvel (18 rows:
// bands start at odd and even rows), run after run; the last seed and the last anti-aliasing
// option given count, and another seed gives other noise.
TEST(SeedThreads, EveryBandCountRendersTheBytesOfOneBand) {
    TempDir dir;
    auto render = [&](bool multi, const Args& mode, Args options) {
        options.insert(options.end(), mode.begin(), mode.end());  // after any other anti-aliasing option
        // The scene of every random feature: jittered samples, a lens, smooth shadows, fuzzy reflection.
        options.insert(options.end(),
                       {"-i", ORVEL_SOURCE_DIR "/tests/data/threads.orv", "-o", "pic", "-ppm", "-r", "24", "18"});
        EXPECT_EQ(runProgram(orvelProgram(multi), options, dir.path()).status, 0);
        return readWholeFile(dir.path("pic.ppm"));
    };
    for (const Args& mode : {Args{"-aan"}, Args{"-aaq"}, Args{"-aaa", "8"}}) {
        const std::string one = render(false, mode, {"--seed", "7"});
        ASSERT_EQ(one.size(), 13u + 24 * 18 * 3);
        for (const char* bands : {"2", "4", "8"})
            EXPECT_EQ(render(true, mode, {"--seed", "7", "-t", bands}), one) << mode[0] << " in " << bands << " bands";
        EXPECT_EQ(render(false, mode, {"-aaa", "2", "--seed", "8", "--seed", "007"}), one) << mode[0];
        EXPECT_NE(render(false, mode, {"--seed", "8"}), one) << mode[0];
    }
}

}  // namespace
