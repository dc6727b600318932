// The recursive trace: the colour seen along a ray, from the nearest hit's shading (which traces
// reflected and refracted rays in turn) or the background and haze.
#pragma once

#include <cstdint>

#include "objects/data.h"

// Rays the calling thread has traced (calls of trace, past the recursion limit too): a counter
// of its own, so that the render threads share nothing for it.
[[gnu::tls_model("initial-exec")]] inline thread_local std::uint64_t tracedRays = 0;

// The colour seen along a ray (clamped to at most 1) and the distance to what it hits:
// 1e10 on a miss, 0.0 past the recursion limit.
double trace(const Ray* ray, Color* color, int* level);
