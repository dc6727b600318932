// The slab test of a ray against boxes. enterBox is the test itself, one box at a time: the slab
// tree's walk uses it, and so does the query tree's before it counts a primitive's hit.
// mayEnterBoxes is the query tree's quick test of four boxes at once: multiplications by the
// direction's reciprocals instead of divisions, widened by a few units of rounding, so that it
// passes every box the slab test enters, at an entry distance no greater.
#pragma once

#include <cstring>

#include "objects/data.h"

// What the box tests of one ray share.
struct RaySlabs {
    double origin[3];
    double direction[3];
    double inverse[3];  // 1 / direction
    bool parallel[3];   // a zero direction component: that axis rejects nothing
};

inline RaySlabs raySlabs(const Ray* ray) {
    RaySlabs slabs{{ray->origin.x, ray->origin.y, ray->origin.z},
                   {ray->direction.x, ray->direction.y, ray->direction.z},
                   {},
                   {}};
    for (int i = 0; i < 3; ++i) {
        slabs.parallel[i] = slabs.direction[i] == 0.0;
        slabs.inverse[i] = 1.0 / slabs.direction[i];
    }
    return slabs;
}

// The one-box test: true when the ray enters the box (lo, hi) before maxDistance, with the entry
// distance in *near. Stopping at the first axis that rejects changes nothing for a test that
// runs through all three: near only grows, far only shrinks.
inline bool enterBox(const double lo[3], const double hi[3], const double origin[3],
                     const double direction[3], double maxDistance, double* near) {
    double far = maxDistance;
    double entry = -1e10;
    for (int i = 0; i < 3; ++i) {
        const double d = direction[i];
        if (d == 0.0) continue;  // parallel to this slab: it rejects nothing
        const double t1 = (lo[i] - origin[i]) / d;
        const double t2 = (hi[i] - origin[i]) / d;
        if (t1 < t2) {
            if (t2 < far) far = t2;
            if (t1 > entry) entry = t1;
        } else {
            if (t1 < far) far = t1;
            if (t2 > entry) entry = t2;
        }
        if (entry > far || far < 0.001) return false;
    }
    *near = entry;
    return true;
}

// Four doubles handled together; on processors without wide registers the compiler splits them.
using Lanes = double __attribute__((vector_size(32)));

// Four bounds of a box array as doubles (from floats, exactly).
inline void loadLanes(Lanes& lanes, const double (&bounds)[4]) { std::memcpy(&lanes, bounds, sizeof lanes); }
inline void loadLanes(Lanes& lanes, const float (&bounds)[4]) {
    lanes = Lanes{bounds[0], bounds[1], bounds[2], bounds[3]};
}

// A multiplication by the rounded reciprocal differs from the division by less than four units of
// rounding (2^-53 each) of the result; nine of them, taken off the entry and added to the exit,
// cover that with room to spare. An infinite bound widens to no number, which rejects nothing.
inline constexpr double quickSlack = 1e-15;

// The quick test of four boxes at once: bit k of the result is set when the ray may enter box k
// (boundMin[i][k], boundMax[i][k], doubles or floats) before maxDistance, with near[k] no greater than its
// entry distance; every box that enterBox enters is among them. Always inlined, so that it takes the
// instruction set of the walk that calls it.
template <class Boxes>
[[gnu::always_inline]] inline unsigned mayEnterBoxes(const Boxes& boxes, const RaySlabs& slabs,
                                                     double maxDistance, double near[4]) {
    Lanes farL = {maxDistance, maxDistance, maxDistance, maxDistance};
    Lanes nearL = {-1e10, -1e10, -1e10, -1e10};
    for (int i = 0; i < 3; ++i) {
        if (slabs.parallel[i]) continue;
        const double o = slabs.origin[i];
        const double inverse = slabs.inverse[i];
        Lanes lower;
        Lanes upper;
        loadLanes(lower, boxes.boundMin[i]);
        loadLanes(upper, boxes.boundMax[i]);
        const Lanes t1 = (lower - o) * inverse;
        const Lanes t2 = (upper - o) * inverse;
        const auto ordered = t1 < t2;
        const Lanes lo = ordered ? t1 : t2;
        const Lanes hi = ordered ? t2 : t1;
        farL = hi < farL ? hi : farL;
        nearL = lo > nearL ? lo : nearL;
    }
    nearL -= (nearL < 0 ? -nearL : nearL) * quickSlack;
    farL += (farL < 0 ? -farL : farL) * quickSlack;
    using Bits = long long __attribute__((vector_size(32)));
    const Bits entered = ~((nearL > farL) | (farL < 0.001)) & Bits{1, 2, 4, 8};
    const Bits folded = entered | __builtin_shufflevector(entered, entered, 2, 3, 0, 1);
    std::memcpy(near, &nearL, sizeof nearL);
    return static_cast<unsigned>(folded[0] | folded[1]);
}
