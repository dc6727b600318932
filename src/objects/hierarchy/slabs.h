// The slab test of a ray against boxes. enterBox is the test itself, one box at a time: the slab
// tree's walk uses it, and so does the query tree's before it counts a primitive's hit.
// quickTest is the query tree's quick test of four boxes at once: multiplications by the
// direction's reciprocals instead of divisions, widened by a few units of rounding, so that it
// passes every box the slab test enters, at an entry distance no greater.
#pragma once

#include <cstddef>
#include <cstring>
#include <limits>

#include "objects/data.h"

// What the box tests of one ray share.
struct RaySlabs {
    double origin[3];
    double direction[3];
    double inverse[3];       // 1 / direction; no number (NaN) where it is 0: that axis rejects nothing
    unsigned upperFirst[3];  // 1 where the ray meets a box's upper bound first (direction < 0), else 0
};

inline RaySlabs raySlabs(const Ray* ray) {
    RaySlabs slabs{{ray->origin.x, ray->origin.y, ray->origin.z},
                   {ray->direction.x, ray->direction.y, ray->direction.z},
                   {},
                   {}};
    for (int i = 0; i < 3; ++i) {
        const double d = slabs.direction[i];
        slabs.inverse[i] = d == 0.0 ? std::numeric_limits<double>::quiet_NaN() : 1.0 / d;
        slabs.upperFirst[i] = d < 0.0 ? 1 : 0;
    }
    return slabs;
}

// The one-box test: true when the ray enters the box (lo, hi) before maxDistance, with the entry
// distance in *near. Stopping at the first axis that rejects changes nothing for a test that
// runs through all three: near only grows, far only shrinks. The test orders the two distances
// of an axis, so a box with its ends the other way round is entered as the ordered one.
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
// Four comparison results (all bits set where true).
using LaneBits = long __attribute__((vector_size(32)));

// Four bounds of a box array as doubles (from floats, exactly), read from `at`.
inline void loadLanes(Lanes& lanes, const double*, const char* at) { std::memcpy(&lanes, at, sizeof lanes); }
inline void loadLanes(Lanes& lanes, const float*, const char* at) {
    float four[4];
    std::memcpy(four, at, sizeof four);
    lanes = Lanes{four[0], four[1], four[2], four[3]};
}

// Bit k set where lane k of m is set: the lanes weighted and folded together as vectors, which
// keeps the comparison a vector one. (The walks use the processor's own instruction where it has
// one.)
inline unsigned laneBits(const LaneBits& m) {
    const LaneBits weighted = m & LaneBits{1, 2, 4, 8};
    const LaneBits half = weighted | __builtin_shufflevector(weighted, weighted, 2, 3, 0, 1);
    return static_cast<unsigned>(half[0] | half[1]);
}

// A multiplication by the rounded reciprocal differs from the division by less than four units of
// rounding (2^-53 each) of the result; nine of them, taken off the entry and added to the exit,
// cover that with room to spare. An infinite bound widens to no number, which rejects nothing.
inline constexpr double quickSlack = 1e-15;

// Widens entries and exits (vectors of doubles) by the slack, lane by lane.
template <class V>
[[gnu::always_inline]] inline void widen(V& near, V& far) {
    using Bits = decltype(near < near);
    const Bits magnitude = Bits{} + 0x7fff'ffff'ffff'ffff;  // all bits but the sign
    near -= __builtin_bit_cast(V, __builtin_bit_cast(Bits, near) & magnitude) * quickSlack;
    far += __builtin_bit_cast(V, __builtin_bit_cast(Bits, far) & magnitude) * quickSlack;
}

// The quick test of four boxes at once, boxes as the query tree's lanes hold them (along each
// axis a lower bound no greater than the upper one, both numbers, infinite or not): lane k of
// `passed` is set when the ray may enter box k (boundMin[i][k], boundMax[i][k], doubles or
// floats) before maxDistance, with lane k of near no greater than its entry distance; every box
// that enterBox enters is among them (enterBox given the box with its ends either way round, or
// with no number at an end of an axis the lane spans). Along each axis the ray meets the bound on
// its own side first, so the entry is the largest of the distances to those bounds and the exit
// the smallest of the others: enterBox's distances up to rounding, which the slack covers. A
// distance with no number (an axis the ray runs along, or zero times an infinite reciprocal) is
// passed over: it rejects nothing. Always inlined, so that it takes the instruction set of the
// walk that calls it.
template <class Boxes>
[[gnu::always_inline]] inline void quickTest(const Boxes& boxes, const RaySlabs& slabs, double maxDistance,
                                             Lanes& near, LaneBits& passed) {
    // The upper bounds follow the lower ones: the bound met first along an axis is `flip` bytes on
    // from the lower one, and the other as far back from the upper one.
    constexpr size_t side = sizeof boxes.boundMin;
    static_assert(offsetof(Boxes, boundMax) == offsetof(Boxes, boundMin) + side);
    const auto* type = &boxes.boundMin[0][0];
    Lanes farL = {maxDistance, maxDistance, maxDistance, maxDistance};
    Lanes nearL = {-1e10, -1e10, -1e10, -1e10};
    for (int i = 0; i < 3; ++i) {
        const size_t flip = slabs.upperFirst[i] * side;
        Lanes first;
        Lanes second;
        loadLanes(first, type, reinterpret_cast<const char*>(&boxes.boundMin[i]) + flip);
        loadLanes(second, type, reinterpret_cast<const char*>(&boxes.boundMax[i]) - flip);
        const Lanes entry = (first - slabs.origin[i]) * slabs.inverse[i];
        const Lanes exit = (second - slabs.origin[i]) * slabs.inverse[i];
        nearL = entry > nearL ? entry : nearL;
        farL = exit < farL ? exit : farL;
    }
    widen(nearL, farL);
    near = nearL;
    passed = ~((nearL > farL) | (farL < 0.001));
}

// The quick test as four bits, with the four entries in near.
template <class Boxes>
inline unsigned mayEnterBoxes(const Boxes& boxes, const RaySlabs& slabs, double maxDistance, double near[4]) {
    Lanes nearL;
    LaneBits passed;
    quickTest(boxes, slabs, maxDistance, nearL, passed);
    std::memcpy(near, &nearL, sizeof nearL);
    return laneBits(passed);
}
