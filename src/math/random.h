// Random numbers for sampling: jitter, lens points, smooth shadows and fuzzy reflection all draw
// from the C library's one process-wide rand() sequence, which the program never seeds. Given a
// seed (--seed), every render thread draws instead from sample streams of its own (below).
//
// A render band of the multi-threaded driver takes its numbers in runs: a run of consecutive
// values of the shared sequence is drawn at once, under one lock, and handed out one by one.
// (Random sampling spends a third of its time in rand(); bands queueing for it every few numbers
// made two threads slower than one.)
// Which band gets which numbers depends on scheduling either way; taking them a run at a time
// spares the bands from queueing at the generator's lock for every single number. Every other
// thread draws straight from rand(), so a single-threaded render sees the sequence itself.
#pragma once

#include <cstdint>
#include <cstdlib>
#include <optional>

#include "math/sample_stream.h"
#include "math/vector.h"

// The small per-thread values the render reads for every sample are kept in the static TLS block
// (initial-exec): a program reads them as directly as without the shared library, and the shared
// library, even when loaded at run time, with one indirection.
[[gnu::tls_model("initial-exec")]] inline thread_local bool randomInRuns = false;
inline constexpr int randomRunLength = 4096;

// From now on the calling thread draws in runs.
void drawRandomInRuns();
// The next value of the calling thread's run, drawing a new run when it is used up.
int nextRandomOfRun();

// Seeded mode: the calling thread's sample stream, null when numbers come from rand(). The scans
// set it for their band and point it at each sample before the sample is traced, so a number
// depends only on the seed, the sample's place and how many the sample drew before it.
[[gnu::tls_model("initial-exec")]] inline constinit thread_local SampleStream* seededStream = nullptr;

// While it lives, the calling thread draws from a stream of its own keyed by the seed; without a
// seed nothing changes.
class SeededDraws {
public:
    explicit SeededDraws(std::optional<std::uint64_t> seed) : previous_(seededStream) {
        if (!seed) return;
        stream_.seed = *seed;
        seededStream = &stream_;
    }
    ~SeededDraws() { seededStream = previous_; }
    SeededDraws(const SeededDraws&) = delete;
    SeededDraws& operator=(const SeededDraws&) = delete;

private:
    SampleStream stream_{};
    SampleStream* previous_;
};

// In seeded mode, the draws from here on are those of the sample at quarter-pixel grid position
// (gx, gy): x and y in quarter pixels from the image's top-left corner.
inline void startSample(int gx, int gy) {
    if (seededStream) streamToSample(seededStream, gx, gy);
}

// A number in [0, 1]: one rand() draw divided by the largest value rand() returns. A seeded draw
// keeps its top 31 bits, so it takes the same 2^31 values.
inline double randomUnit() {
    if (seededStream) return (nextStreamWord(seededStream) >> 1) / 2147483647.0;
    return (randomInRuns ? nextRandomOfRun() : std::rand()) / 2147483647.0;
}

// A random offset with each coordinate in [-0.5, 0.5], drawn x, then y, then z.
inline Vector randomOffset() {
    const double x = 0.5 - randomUnit();
    const double y = 0.5 - randomUnit();
    const double z = 0.5 - randomUnit();
    return {x, y, z};
}
