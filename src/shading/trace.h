// The recursive trace: the colour seen along a ray, from the nearest hit's shading (which traces
// reflected and refracted rays in turn) or the background and haze.
#pragma once

#include "objects/data.h"

// The colour seen along a ray (clamped to at most 1) and the distance to what it hits:
// 1e10 on a miss, 0.0 past the recursion limit.
double trace(const Ray* ray, Color* color, int* level);
