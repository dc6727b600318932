#include "math/sample_stream.h"

#include <Random123/philox.h>

void sampleBlock(std::uint64_t seed, std::uint32_t gx, std::uint32_t gy, std::uint64_t index,
                 std::uint32_t words[4]) {
    using Philox = r123::Philox4x32_R<10>;
    const Philox::key_type key = {{static_cast<std::uint32_t>(seed), static_cast<std::uint32_t>(seed >> 32)}};
    const Philox::ctr_type counter = {
        {gx, gy, static_cast<std::uint32_t>(index), static_cast<std::uint32_t>(index >> 32)}};
    const Philox::ctr_type block = Philox()(counter, key);
    for (int i = 0; i < 4; ++i) words[i] = block[i];
}
