// Seeded random numbers that depend only on where they are drawn, not on when or by which thread.
//
// Every number is a word of a Philox4x32-10 block (a counter-based generator: a block is a keyed
// bijection of a 128-bit counter, so no state passes from one number to the next). The key is
// the 64-bit seed, low half first. The counter is the sample's place on the quarter-pixel grid,
// gx and gy as 32-bit two's complement, then the block's index within the sample, low half
// first; draw k of a sample is word k % 4 of block k / 4. No two draws of one picture share a
// word, and a sample computed twice (a corner shared by two bands) gets the same numbers.
#pragma once

#include <cstdint>

// The draws of one sample: a plain record, owned by one thread.
struct SampleStream {
    std::uint64_t seed;
    std::uint32_t gx;
    std::uint32_t gy;
    std::uint64_t draws;     // taken since the sample started
    std::uint32_t block[4];  // the block the last draw came from
};

// Block `index` of the sample at (gx, gy) under the seed.
void sampleBlock(std::uint64_t seed, std::uint32_t gx, std::uint32_t gy, std::uint64_t index,
                 std::uint32_t words[4]);

// Points the stream at the first draw of the sample at quarter-pixel grid position (gx, gy).
inline void streamToSample(SampleStream* stream, int gx, int gy) {
    stream->gx = static_cast<std::uint32_t>(gx);
    stream->gy = static_cast<std::uint32_t>(gy);
    stream->draws = 0;
}

// The sample's next 32-bit draw.
inline std::uint32_t nextStreamWord(SampleStream* stream) {
    const auto word = static_cast<unsigned>(stream->draws % 4);
    if (word == 0) sampleBlock(stream->seed, stream->gx, stream->gy, stream->draws / 4, stream->block);
    ++stream->draws;
    return stream->block[word];
}
