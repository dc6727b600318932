#include "math/sample_stream.h"

#include <gtest/gtest.h>

#include <cmath>

#include "math/random.h"

namespace {

// Draw d of the sample at (gx, gy) under the seed, as randomUnit hands it out in seeded mode.
double draw(std::uint64_t seed, int gx, int gy, int d) {
    const SeededDraws draws(seed);
    startSample(gx, gy);
    double u = 0;
    for (int i = 0; i <= d; ++i) u = randomUnit();
    return u;
}

}  // namespace

// The published Philox4x32-10 answers (key, counter -> block), the key being the seed and the
// counter the grid position and block index; a sample hands out block 0 word by word, then block 1.
TEST(SampleStream, PublishedPhiloxBlocksInDrawOrder) {
    struct Case {
        std::uint64_t seed;
        std::uint32_t counter[4];
        std::uint32_t block[4];
    };
    for (const Case& c : {Case{0, {0, 0, 0, 0}, {0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8}},
                          Case{~0ull, {~0u, ~0u, ~0u, ~0u}, {0x408f276d, 0x41c83b0e, 0xa20bc7c6, 0x6d5451fd}},
                          Case{0x299f31d0a4093822,
                               {0x243f6a88, 0x85a308d3, 0x13198a2e, 0x03707344},
                               {0xd16cfe09, 0x94fdcceb, 0x5001e420, 0x24126ea1}}}) {
        std::uint32_t words[4];
        sampleBlock(c.seed, c.counter[0], c.counter[1], c.counter[2] | std::uint64_t{c.counter[3]} << 32, words);
        for (int i = 0; i < 4; ++i) EXPECT_EQ(words[i], c.block[i]) << std::hex << c.seed << " word " << i;
    }
    std::uint32_t next[4];
    sampleBlock(0, 0, 0, 1, next);
    const std::uint32_t order[] = {0x6627e8d5, 0xe169c58d, 0xbc57ac4c, 0x9b00dbd8, next[0]};
    for (int k = 0; k < 5; ++k) EXPECT_EQ(draw(0, 0, 0, k), (order[k] >> 1) / 2147483647.0) << k;  // top 31 bits
}

// Over many samples: mean 1/2, variance 1/12, and no likeness between a draw and
// the same draw of the sample to the right.
TEST(SampleStream, SeededDrawsAreUniformAndUnrelated) {
    constexpr int n = 1 << 18;
    double sum = 0, spread = 0, withNeighbour = 0;
    for (int k = 0; k < n; ++k) {
        const int gx = k % 1024 - 4, gy = k / 1024 - 4, d = k % 6;
        const double u = draw(7, gx, gy, d);
        sum += u;
        spread += (u - 0.5) * (u - 0.5);
        withNeighbour += (u - 0.5) * (draw(7, gx + 1, gy, d) - 0.5);
    }
    EXPECT_NEAR(sum / n, 0.5, 5 * std::sqrt(1.0 / 12 / n));
    EXPECT_NEAR(spread / n, 1.0 / 12, 5 * std::sqrt(1.0 / 180 / n));
    EXPECT_NEAR(withNeighbour / n, 0.0, 5 * std::sqrt(1.0 / 144 / n));
    EXPECT_EQ(seededStream, nullptr);  // back to rand() when the draws end
}
