// The slab test of a ray against four boxes at once, shared by the two hierarchies' walks.
// Lane by lane it performs the very operations of the one-box test of checkAndEnqueue (the same
// subtractions, divisions and comparisons in the same order), so every entry distance and every
// rejection is bit for bit the same; four lanes only make it cheaper.
#pragma once

#include <cstring>

#include "objects/data.h"

// What the box tests of one ray share.
struct RaySlabs {
    double origin[3];
    double direction[3];
    bool parallel[3];  // a zero direction component: that axis rejects nothing
};

inline RaySlabs raySlabs(const Ray* ray) {
    RaySlabs slabs{{ray->origin.x, ray->origin.y, ray->origin.z},
                   {ray->direction.x, ray->direction.y, ray->direction.z},
                   {}};
    for (int i = 0; i < 3; ++i) slabs.parallel[i] = slabs.direction[i] == 0.0;
    return slabs;
}

// Four doubles handled together; on processors without wide registers the compiler splits them.
using Lanes = double __attribute__((vector_size(32)));

// Bit k of the result is set when the ray enters box k (boundMin[i][k], boundMax[i][k]) before
// maxDistance, and near[k] is its entry distance. (Stopping at the first axis that rejects a box,
// as the one-box test does, changes nothing: near only grows, far only shrinks.) Always inlined,
// so that it takes the instruction set of the walk that calls it.
template <class Boxes>
[[gnu::always_inline]] inline unsigned enterBoxes(const Boxes& boxes, const RaySlabs& slabs, double maxDistance,
                                                  double near[4]) {
    Lanes farL = {maxDistance, maxDistance, maxDistance, maxDistance};
    Lanes nearL = {-1e10, -1e10, -1e10, -1e10};
    for (int i = 0; i < 3; ++i) {
        if (slabs.parallel[i]) continue;
        const double o = slabs.origin[i];
        const double d = slabs.direction[i];
        Lanes lower;
        Lanes upper;
        std::memcpy(&lower, boxes.boundMin[i], sizeof lower);
        std::memcpy(&upper, boxes.boundMax[i], sizeof upper);
        const Lanes t1 = (lower - o) / d;
        const Lanes t2 = (upper - o) / d;
        const auto ordered = t1 < t2;
        const Lanes lo = ordered ? t1 : t2;
        const Lanes hi = ordered ? t2 : t1;
        farL = hi < farL ? hi : farL;
        nearL = lo > nearL ? lo : nearL;
    }
    const auto rejected = (nearL > farL) | (farL < 0.001);
    std::memcpy(near, &nearL, sizeof nearL);
    unsigned entered = 0;
    for (int k = 0; k < 4; ++k) entered |= rejected[k] ? 0u : 1u << k;
    return entered;
}
