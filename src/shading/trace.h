// The recursive trace: the colour seen along a ray, from the nearest hit's shading (which traces
// reflected and refracted rays in turn) or the background and haze.
#pragma once

#include <cstdint>

#include "objects/data.h"
#include "shading/shade.h"

// Rays the calling thread has traced (calls of trace, past the recursion limit too): a counter
// of its own, so that the render threads share nothing for it.
[[gnu::tls_model("initial-exec")]] inline thread_local std::uint64_t tracedRays = 0;

// The colour seen along a ray (clamped to at most 1) and the distance to what it hits:
// 1e10 on a miss, 0.0 past the recursion limit.
double trace(const Ray* ray, Color* color, int* level);

// A camera ray whose scene queries were answered before it is traced: its nearest hit, and the
// sharp shadow queries that shading that hit makes.
struct PreparedRay {
    Ray ray;  // set by the caller
    int found = 0;
    Hit hit{};
    ShadowAnswers shadows;
};

// The most rays prepareRays takes at once.
inline constexpr int preparedBatch = 8;

// Answers the queries of count rays (count <= preparedBatch), rays of neighbouring pixels, walking
// them through the scene together: first their nearest hits, then their shadow rays light by
// light. Nothing is drawn from the random numbers.
void prepareRays(PreparedRay rays[], int count);
// trace of a prepared ray at the given level: the same colour and distance, without asking the
// scene again what was answered.
double tracePrepared(const PreparedRay& prepared, Color* color, int* level);
