// Random numbers for sampling: jitter, lens points, smooth shadows and fuzzy reflection all draw
// from the C library's one process-wide rand() sequence, which the program never seeds.
//
// A render band of the multi-threaded driver takes its numbers in runs: a run of consecutive
// values of the shared sequence is drawn at once, under one lock, and handed out one by one.
// (Random sampling spends a third of its time in rand(); bands queueing for it every few numbers
// made two threads slower than one.)
// Which band gets which numbers depends on scheduling either way; taking them a run at a time
// spares the bands from queueing at the generator's lock for every single number. Every other
// thread draws straight from rand(), so a single-threaded render sees the sequence itself.
#pragma once

#include <cstdlib>

#include "math/vector.h"

inline thread_local bool randomInRuns = false;
inline constexpr int randomRunLength = 4096;

// From now on the calling thread draws in runs.
void drawRandomInRuns();
// The next value of the calling thread's run, drawing a new run when it is used up.
int nextRandomOfRun();

// A number in [0, 1]: one rand() draw divided by the largest value rand() returns.
inline double randomUnit() { return (randomInRuns ? nextRandomOfRun() : std::rand()) / 2147483647.0; }

// A random offset with each coordinate in [-0.5, 0.5], drawn x, then y, then z.
inline Vector randomOffset() {
    const double x = 0.5 - randomUnit();
    const double y = 0.5 - randomUnit();
    const double z = 0.5 - randomUnit();
    return {x, y, z};
}
