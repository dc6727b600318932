// The --seed option: the values it takes, and the pictures both programs render with it.
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

TEST(SeedOption, DecimalDigitsUpToTheLargest64BitNumber) {
    TempDir dir;
    for (const bool multi : {false, true}) {
        const std::string usage = runScene(multi, {"-x"}, dir).out;
        for (const char* good : {"0", "18446744073709551615"})
            EXPECT_EQ(runScene(multi, {"-r", "4", "3", "--seed", good}, dir).status, 0) << good;
        for (const Args& bad : {Args{"--seed"},
                                {"--seed", "-1"},
                                {"--seed", "+1"},
                                {"--seed", " 1"},
                                {"--seed", "1e3"},
                                {"--seed", "18446744073709551616"}}) {
            const ProgramRun run = runScene(multi, bad, dir);
            EXPECT_TRUE(run.status == 255 && run.out == usage) << bad.back();
        }
    }
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
}

}  // namespace
