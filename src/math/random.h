// Random numbers for sampling: jitter, lens points, smooth shadows and fuzzy reflection all draw
// from the C library's one process-wide rand() sequence, which the program never seeds.
#pragma once

#include <cstdlib>

#include "math/vector.h"

// A number in [0, 1]: one rand() draw divided by the largest value rand() returns.
inline double randomUnit() { return std::rand() / 2147483647.0; }

// A random offset with each coordinate in [-0.5, 0.5], drawn x, then y, then z.
inline Vector randomOffset() {
    const double x = 0.5 - randomUnit();
    const double y = 0.5 - randomUnit();
    const double z = 0.5 - randomUnit();
    return {x, y, z};
}
