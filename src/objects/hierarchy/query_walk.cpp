#include "objects/hierarchy/query_tree.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#include "base/checked.h"
#include "objects/hierarchy/slabs.h"

namespace {

struct Waiting {
    uint32_t node;
    double key;  // the distance at which the ray enters the node's box
};

// Pushes onto a walk's stack, which invariant 3 keeps within its size.
template <class T>
void push(T* stack, int& size, T entry) {
    expectInvariant(size < stackSize, "invariant 3: the query tree walk's stack overflows");
    stack[size++] = entry;
}

// The slab test itself on a primitive's own box, in its record: whether the slab tree's walk
// enters it, and where.
bool enterRecord(const Object* prim, const RaySlabs& slabs, double maxDistance, double* near) {
    return enterBox(prim->boundMin, prim->boundMax, slabs.origin, slabs.direction, maxDistance, near);
}

// The walks test boxes with the quick test, which passes more boxes than the slab test and takes
// their entry a little early; a primitive's hit counts only once the slab test itself has passed
// its box, no later than the best hit so far. The answers are those of a walk with the slab test
// throughout.
[[gnu::always_inline]] inline QueryAnswer nearestWalk(const QueryTree& tree, const Ray* ray,
                                                      double maxDistance, Hit* hit, const Object* exclude) {
    const QueryNode* const nodes = tree.nodes();
    const RaySlabs slabs = raySlabs(ray);
    Waiting stack[stackSize];
    int size = 0;
    stack[size++] = {0, -1e10};
    double best = maxDistance;
    const Object* winner = nullptr;
    double winnerKey = 0;
    bool tie = false;  // another primitive is hit at exactly the nearest distance
    Hit winnerHit{};
    while (size != 0) {
        const Waiting waiting = stack[--size];
        if (waiting.key > best) continue;
        const QueryNode& node = nodes[waiting.node];
        double near[4];
        const unsigned entered = mayEnterBoxes(node, slabs, maxDistance, near);
        const int pushed = size;
        for (int k = 0; k < 4 && node.ref[k]; ++k) {
            if (!(entered >> k & 1) || near[k] > best) continue;
            if (laneIsNode(node.ref[k])) {
                push(stack, size, {laneNode(node.ref[k]), near[k]});
                continue;
            }
            const Object* prim = lanePrimitive(node.ref[k]);
            Hit local;
            if (prim == exclude || !prim->intersectFn(prim, ray, &local) || local.distance > best) continue;
            double key;
            if (!enterRecord(prim, slabs, maxDistance, &key) || key > best) continue;
            if (local.distance < best) {
                best = local.distance;
                winner = prim;
                winnerKey = key;
                winnerHit = local;
                tie = false;
            } else {
                tie = true;
            }
        }
        // Farthest first, so that the nearest box is taken next.
        for (int k = pushed + 1; k < size; ++k) {
            for (int j = k; j > pushed && stack[j - 1].key < stack[j].key; --j)
                std::swap(stack[j - 1], stack[j]);
        }
    }
    if (!winner) return QueryAnswer::miss;
    if (tie || winnerKey > best) return QueryAnswer::undecided;
    *hit = winnerHit;
    return QueryAnswer::hit;
}

// The primitive found to block the ray, or null.
[[gnu::always_inline]] inline const Object* anyWalk(const QueryTree& tree, const Ray* ray, double maxDistance,
                                                    const Object* exclude) {
    const QueryNode* const nodes = tree.nodes();
    const RaySlabs slabs = raySlabs(ray);
    uint32_t stack[stackSize];
    int size = 0;
    stack[size++] = 0;
    while (size != 0) {
        const QueryNode& node = nodes[stack[--size]];
        double near[4];
        const unsigned entered = mayEnterBoxes(node, slabs, maxDistance, near);
        for (int k = 0; k < 4 && node.ref[k]; ++k) {
            if (!(entered >> k & 1)) continue;
            if (laneIsNode(node.ref[k])) {
                push(stack, size, laneNode(node.ref[k]));
                continue;
            }
            const Object* prim = lanePrimitive(node.ref[k]);
            Hit local;
            double key;
            if (prim != exclude && prim->intersectFn(prim, ray, &local) && local.distance < maxDistance &&
                enterRecord(prim, slabs, maxDistance, &key)) {
                return prim;
            }
        }
    }
    return nullptr;
}

// Packets: W rays side by side in vectors of W doubles.
template <int W>
struct Pack;
template <>
struct Pack<4> {
    using D = double __attribute__((vector_size(32)));
    using I = long long __attribute__((vector_size(32)));
};
template <>
struct Pack<8> {
    using D = double __attribute__((vector_size(64)));
    using I = long long __attribute__((vector_size(64)));
};

// Bit r set where lane r of m (a comparison's result) is set: the lanes weighted and folded
// together as vectors, which keeps the comparison a vector one.
[[gnu::always_inline]] inline unsigned laneBits(const Pack<4>::I& m) {
    const Pack<4>::I weighted = m & Pack<4>::I{1, 2, 4, 8};
    const Pack<4>::I half = weighted | __builtin_shufflevector(weighted, weighted, 2, 3, 0, 1);
    return static_cast<unsigned>(half[0] | half[1]);
}

[[gnu::always_inline]] inline unsigned laneBits(const Pack<8>::I& m) {
    const Pack<8>::I weighted = m & Pack<8>::I{1, 2, 4, 8, 16, 32, 64, 128};
    const Pack<8>::I half = weighted | __builtin_shufflevector(weighted, weighted, 4, 5, 6, 7, 0, 1, 2, 3);
    const Pack<8>::I quarter = half | __builtin_shufflevector(half, half, 2, 3, 0, 1, 4, 5, 6, 7);
    return static_cast<unsigned>(quarter[0] | quarter[1]);
}

// Rays from origins farther apart than this part of the shortest distance asked (shadow rays
// from hits on different objects, say) share too little of their walks: they walk one by one.
inline constexpr double closeOrigins = 0.02;

// What the box tests of a packet share. Ray by ray (lane r of each vector for ray r): the numbers
// of the single walk's quick test. For the whole packet: along each axis the range of the rays'
// origins and of their reciprocal directions, which bound what each ray's quick test computes.
template <int W>
struct PacketSlabs {
    using D = typename Pack<W>::D;
    D origin[3];
    D inverse[3];
    D maxDistance;
    double limit[W];  // the same, ray by ray
    RaySlabs single[W];
    Lanes originLow[3];  // each axis's lowest and highest origin coordinate, as four lanes
    Lanes originHigh[3];
    Lanes inverseLow[3];  // lowest and highest reciprocal
    Lanes inverseHigh[3];
    Lanes farthest;  // the largest maxDistance
    bool sameOrigin = true;
    bool bounded = true;  // every origin, reciprocal and maxDistance is a number, and the reciprocals finite
    bool close = true;    // the origins lie within a small part of the shortest maxDistance

    // The packet of count rays (the lanes beyond count repeat the first ray; no walk asks them).
    PacketSlabs(const Ray* const rays[], int count, const double maxDistances[]) {
        double o[3][W];
        double inv[3][W];
        double lo[3][2] = {};  // origin range
        double in[3][2] = {};  // reciprocal range
        double far = maxDistances[0];
        for (int r = 0; r < W; ++r) {
            const int from = r < count ? r : 0;
            const RaySlabs& s = single[r] = raySlabs(rays[from]);
            limit[r] = maxDistances[from];
            bounded = bounded && limit[r] == limit[r];
            if (limit[r] > far) far = limit[r];
            for (int i = 0; i < 3; ++i) {
                o[i][r] = s.origin[i];
                inv[i][r] = s.inverse[i];
                bounded = bounded && std::isfinite(s.origin[i]) && std::isfinite(s.inverse[i]);
                sameOrigin = sameOrigin && s.origin[i] == single[0].origin[i];
                if (r == 0) {
                    lo[i][0] = lo[i][1] = s.origin[i];
                    in[i][0] = in[i][1] = s.inverse[i];
                }
                lo[i][0] = std::min(lo[i][0], s.origin[i]);
                lo[i][1] = std::max(lo[i][1], s.origin[i]);
                in[i][0] = std::min(in[i][0], s.inverse[i]);
                in[i][1] = std::max(in[i][1], s.inverse[i]);
            }
        }
        std::memcpy(origin, o, sizeof origin);
        std::memcpy(inverse, inv, sizeof inverse);
        std::memcpy(&maxDistance, limit, sizeof maxDistance);
        for (int i = 0; i < 3; ++i) {
            originLow[i] = Lanes{} + lo[i][0];
            originHigh[i] = Lanes{} + lo[i][1];
            inverseLow[i] = Lanes{} + in[i][0];
            inverseHigh[i] = Lanes{} + in[i][1];
        }
        farthest = Lanes{} + far;
        double nearest = limit[0];
        for (const double l : limit) nearest = std::min(nearest, l);
        for (int i = 0; i < 3; ++i) close = close && lo[i][1] - lo[i][0] <= closeOrigins * nearest;
    }
};

// The packet's test of a node's four boxes: bit k set when some ray of the packet may enter box
// k, with near[k] no greater than any ray's entry. Each ray's quick test computes, along each
// axis, (bound - origin) * reciprocal; a rounded product moves one way with each factor, so over
// the packet it lies between the products of the ranges' ends. The lowest of them bounds every
// ray's entry along the axis from below, the highest every exit from above, and the box is
// passed unless even these bounds exclude it: every box that a ray's quick test passes (every
// box its slab test enters) is passed, at an entry no later. (Packets whose numbers are not all
// finite are walked ray by ray: these bounds need numbers.)
template <int W, bool sameOrigin>
[[gnu::always_inline]] inline unsigned packetMayEnter(const QueryNode& node, const PacketSlabs<W>& p,
                                                      double near[4]) {
    Lanes farL = p.farthest;
    Lanes nearL = Lanes{} - 1e10;
    for (int i = 0; i < 3; ++i) {
        Lanes lower;
        Lanes upper;
        loadLanes(lower, node.boundMin[i]);
        loadLanes(upper, node.boundMax[i]);
        const Lanes& i0 = p.inverseLow[i];
        const Lanes& i1 = p.inverseHigh[i];
        Lanes entry;
        Lanes exit;
        if constexpr (sameOrigin) {
            const Lanes a = lower - p.originLow[i];
            const Lanes b = upper - p.originLow[i];
            const Lanes a0 = a * i0, a1 = a * i1, b0 = b * i0, b1 = b * i1;
            const Lanes aLow = a0 < a1 ? a0 : a1, aHigh = a0 > a1 ? a0 : a1;
            const Lanes bLow = b0 < b1 ? b0 : b1, bHigh = b0 > b1 ? b0 : b1;
            entry = aLow < bLow ? aLow : bLow;
            exit = aHigh > bHigh ? aHigh : bHigh;
        } else {
            const Lanes aLow = lower - p.originHigh[i], aHigh = lower - p.originLow[i];
            const Lanes bLow = upper - p.originHigh[i], bHigh = upper - p.originLow[i];
            const Lanes products[8] = {aLow * i0, aLow * i1, aHigh * i0, aHigh * i1,
                                       bLow * i0, bLow * i1, bHigh * i0, bHigh * i1};
            entry = products[0];
            exit = products[0];
            for (int j = 1; j < 8; ++j) {
                entry = products[j] < entry ? products[j] : entry;
                exit = products[j] > exit ? products[j] : exit;
            }
        }
        farL = exit < farL ? exit : farL;
        nearL = entry > nearL ? entry : nearL;
    }
    nearL -= (nearL < 0 ? -nearL : nearL) * quickSlack;
    farL += (farL < 0 ? -farL : farL) * quickSlack;
    using Bits = long long __attribute__((vector_size(32)));
    const Bits rejected = (nearL > farL) | (farL < 0.001);
    const Bits entered = ~rejected & Bits{1, 2, 4, 8};
    const Bits folded = entered | __builtin_shufflevector(entered, entered, 2, 3, 0, 1);
    std::memcpy(near, &nearL, sizeof nearL);
    return static_cast<unsigned>(folded[0] | folded[1]);
}

// The quick test of box k of a node ray by ray: bit r of the result is set, and lane r of near
// holds the entry, exactly as mayEnterBoxes gives them for ray r (the same operations on the same
// numbers; no ray of such a packet has a zero direction component).
template <int W>
[[gnu::always_inline]] inline unsigned raysMayEnter(const QueryNode& node, int k, const PacketSlabs<W>& p,
                                                    typename Pack<W>::D& near) {
    using D = typename Pack<W>::D;
    D farL = p.maxDistance;
    D nearL = D{} - 1e10;
    for (int i = 0; i < 3; ++i) {
        const D lower = D{} + static_cast<double>(node.boundMin[i][k]);
        const D upper = D{} + static_cast<double>(node.boundMax[i][k]);
        const D t1 = (lower - p.origin[i]) * p.inverse[i];
        const D t2 = (upper - p.origin[i]) * p.inverse[i];
        const auto ordered = t1 < t2;
        const D lo = ordered ? t1 : t2;
        const D hi = ordered ? t2 : t1;
        farL = hi < farL ? hi : farL;
        nearL = lo > nearL ? lo : nearL;
    }
    nearL -= (nearL < 0 ? -nearL : nearL) * quickSlack;
    farL += (farL < 0 ? -farL : farL) * quickSlack;
    near = nearL;
    // Two masks taken apart: joined as vectors, the two comparisons would be split lane by lane.
    const unsigned rejected = laneBits(nearL > farL) | laneBits(farL < 0.001);
    return ~rejected & ((1u << W) - 1);
}

struct PacketWaiting {
    double key;  // no later than where any of its rays enters the node's box
    uint32_t node;
    unsigned rays;  // the rays that walk it
};

// The nearest-hit walk of a packet: nearestWalk's decisions, ray by ray. The packet walks a node
// when its test passes the node's box no later than some ray's best hit; a primitive's box is
// then tested ray by ray, and each ray counts its hits as nearestWalk does.
template <int W, bool sameOrigin>
[[gnu::always_inline]] inline void nearestPacketWalk(const QueryTree& tree, const Ray* const rays[],
                                                     int count, const PacketSlabs<W>& p, double maxDistance,
                                                     const Object* exclude, Hit hits[],
                                                     QueryAnswer answers[]) {
    using D = typename Pack<W>::D;
    const QueryNode* const nodes = tree.nodes();
    PacketWaiting stack[stackSize];
    int size = 0;
    stack[size++] = {-1e10, 0, (1u << count) - 1};
    // Each ray's best distance; the vector copy follows it (element writes to a vector would
    // split every vector operation on it into single ones).
    double best[W];
    for (double& b : best) b = maxDistance;
    D bestV = D{} + maxDistance;
    const Object* winner[W] = {};
    double winnerKey[W] = {};
    bool tie[W] = {};
    Hit winnerHit[W];
    while (size != 0) {
        const PacketWaiting waiting = stack[--size];
        const unsigned walking = waiting.rays & ~laneBits(D{} + waiting.key > bestV);
        if (!walking) continue;
        const QueryNode& node = nodes[waiting.node];
        double near[4];
        const unsigned entered = packetMayEnter<W, sameOrigin>(node, p, near);
        const int pushed = size;
        for (int k = 0; k < 4 && node.ref[k]; ++k) {
            if (!(entered >> k & 1)) continue;
            const unsigned lane = walking & ~laneBits(D{} + near[k] > bestV);
            if (!lane) continue;
            if (laneIsNode(node.ref[k])) {
                push(stack, size, {near[k], laneNode(node.ref[k]), lane});
                continue;
            }
            const Object* prim = lanePrimitive(node.ref[k]);
            if (prim == exclude) continue;
            D rayNear;
            const unsigned confirmed =
                lane & raysMayEnter<W>(node, k, p, rayNear) & ~laneBits(rayNear > bestV);
            for (unsigned left = confirmed; left; left &= left - 1) {
                const int r = __builtin_ctz(left);
                Hit local;
                if (!prim->intersectFn(prim, rays[r], &local) || local.distance > best[r]) continue;
                double key;
                if (!enterRecord(prim, p.single[r], maxDistance, &key) || key > best[r]) continue;
                if (local.distance < best[r]) {
                    best[r] = local.distance;
                    winner[r] = prim;
                    winnerKey[r] = key;
                    winnerHit[r] = local;
                    tie[r] = false;
                    std::memcpy(&bestV, best, sizeof bestV);
                } else {
                    tie[r] = true;
                }
            }
        }
        // Farthest first, so that the nearest box is taken next.
        for (int k = pushed + 1; k < size; ++k) {
            for (int j = k; j > pushed && stack[j - 1].key < stack[j].key; --j)
                std::swap(stack[j - 1], stack[j]);
        }
    }
    for (int r = 0; r < count; ++r) {
        if (!winner[r]) {
            answers[r] = QueryAnswer::miss;
        } else if (tie[r] || winnerKey[r] > best[r]) {
            answers[r] = QueryAnswer::undecided;
        } else {
            hits[r] = winnerHit[r];
            answers[r] = QueryAnswer::hit;
        }
    }
}

// The shadow walk of a packet: anyWalk's decisions, ray by ray; blocker[r] is the primitive found
// to block ray r, or stays null. The rays in `done` are not walked.
template <int W, bool sameOrigin>
[[gnu::always_inline]] inline void anyPacketWalk(const QueryTree& tree, const Ray* const rays[],
                                                 unsigned done, const PacketSlabs<W>& p,
                                                 const Object* const exclude[], const Object* blocker[]) {
    using D = typename Pack<W>::D;
    const QueryNode* const nodes = tree.nodes();
    uint32_t stack[stackSize];
    int size = 0;
    unsigned live = ((1u << W) - 1) & ~done;
    if (!live) return;
    stack[size++] = 0;
    while (size != 0) {
        const QueryNode& node = nodes[stack[--size]];
        double near[4];
        const unsigned entered = packetMayEnter<W, sameOrigin>(node, p, near);
        for (int k = 0; k < 4 && node.ref[k]; ++k) {
            if (!(entered >> k & 1)) continue;
            if (laneIsNode(node.ref[k])) {
                push(stack, size, laneNode(node.ref[k]));
                continue;
            }
            const Object* prim = lanePrimitive(node.ref[k]);
            D rayNear;
            const unsigned confirmed = live & raysMayEnter<W>(node, k, p, rayNear);
            for (unsigned left = confirmed; left; left &= left - 1) {
                const int r = __builtin_ctz(left);
                Hit local;
                double key;
                const double limit = p.limit[r];
                if (prim != exclude[r] && prim->intersectFn(prim, rays[r], &local) &&
                    local.distance < limit && enterRecord(prim, p.single[r], limit, &key)) {
                    blocker[r] = prim;
                    live &= ~(1u << r);
                }
            }
            if (!live) return;
        }
    }
}

// The packet walks for W rays at a time, count <= W. A packet whose numbers are not all finite
// (a zero direction component, say) is walked ray by ray.
template <int W>
[[gnu::always_inline]] inline void nearestPacketOf(const QueryTree& tree, const Ray* const rays[], int count,
                                                   double maxDistance, const Object* exclude, Hit hits[],
                                                   QueryAnswer answers[]) {
    double limits[W];
    for (double& limit : limits) limit = maxDistance;
    const PacketSlabs<W> p(rays, count, limits);
    if (!p.bounded) {
        for (int r = 0; r < count; ++r)
            answers[r] = nearestWalk(tree, rays[r], maxDistance, &hits[r], exclude);
    } else if (p.sameOrigin) {
        nearestPacketWalk<W, true>(tree, rays, count, p, maxDistance, exclude, hits, answers);
    } else {
        nearestPacketWalk<W, false>(tree, rays, count, p, maxDistance, exclude, hits, answers);
    }
}

template <int W>
[[gnu::always_inline]] inline void anyPacketOf(const QueryTree& tree, const Ray* const rays[], int count,
                                               const double maxDistance[], const Object* const exclude[],
                                               unsigned done, const Object* blocker[]) {
    const PacketSlabs<W> p(rays, count, maxDistance);
    if (!p.bounded || !p.close) {
        for (int r = 0; r < count; ++r)
            if (!(done >> r & 1)) blocker[r] = anyWalk(tree, rays[r], maxDistance[r], exclude[r]);
        return;
    }
    const Object* excludes[W];
    for (int r = 0; r < W; ++r) excludes[r] = r < count ? exclude[r] : nullptr;
    done |= ((1u << W) - 1) & ~((1u << count) - 1);
    if (p.sameOrigin) {
        anyPacketWalk<W, true>(tree, rays, done, p, excludes, blocker);
    } else {
        anyPacketWalk<W, false>(tree, rays, done, p, excludes, blocker);
    }
}

// Up to eight rays as packets of four.
[[gnu::always_inline]] inline void nearestPacketsOfFour(const QueryTree& tree, const Ray* const rays[],
                                                        int count, double maxDistance, const Object* exclude,
                                                        Hit hits[], QueryAnswer answers[]) {
    for (int first = 0; first < count; first += 4) {
        const int n = count - first < 4 ? count - first : 4;
        nearestPacketOf<4>(tree, rays + first, n, maxDistance, exclude, hits + first, answers + first);
    }
}

[[gnu::always_inline]] inline void anyPacketsOfFour(const QueryTree& tree, const Ray* const rays[], int count,
                                                    const double maxDistance[], const Object* const exclude[],
                                                    unsigned done, const Object* blocker[]) {
    for (int first = 0; first < count; first += 4) {
        const int n = count - first < 4 ? count - first : 4;
        anyPacketOf<4>(tree, rays + first, n, maxDistance + first, exclude + first, done >> first & 15,
                       blocker + first);
    }
}

std::atomic<bool> portableWalks{false};

#if defined(__x86_64__)
// Whether the processor has AVX2, and AVX-512 (with its double-word and vector-length parts).
// The walks are compiled for each and for any x86-64, and pick theirs here. (No selection at
// load time: that would run before a sanitizer's runtime starts.) Other processors have the
// portable walks alone.
bool processorHasAvx2() {
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
}

bool processorHasAvx512() {
    static const bool avx512 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx512f") && __builtin_cpu_supports("avx512dq") &&
               __builtin_cpu_supports("avx512vl");
    }();
    return avx512;
}

// The walks this processor runs best.
bool wideWalks() { return processorHasAvx2() && !portableWalks.load(std::memory_order_relaxed); }
bool widestWalks() { return wideWalks() && processorHasAvx512(); }

// Each walk compiled for AVX2 and for any x86-64; the packet walks also for AVX-512, eight rays
// at a time.
[[gnu::target("avx2")]] QueryAnswer nearestWide(const QueryTree& tree, const Ray* ray, double maxDistance,
                                                Hit* hit, const Object* exclude) {
    return nearestWalk(tree, ray, maxDistance, hit, exclude);
}

[[gnu::target("avx2")]] const Object* anyWide(const QueryTree& tree, const Ray* ray, double maxDistance,
                                              const Object* exclude) {
    return anyWalk(tree, ray, maxDistance, exclude);
}

[[gnu::target("avx2")]] void nearestPacketWide(const QueryTree& tree, const Ray* const rays[], int count,
                                               double maxDistance, const Object* exclude, Hit hits[],
                                               QueryAnswer answers[]) {
    nearestPacketsOfFour(tree, rays, count, maxDistance, exclude, hits, answers);
}

[[gnu::target("avx2")]] void anyPacketWide(const QueryTree& tree, const Ray* const rays[], int count,
                                           const double maxDistance[], const Object* const exclude[],
                                           unsigned done, const Object* blocker[]) {
    anyPacketsOfFour(tree, rays, count, maxDistance, exclude, done, blocker);
}

[[gnu::target("avx512f,avx512dq,avx512vl,avx2")]] void nearestPacketWidest(const QueryTree& tree,
                                                                           const Ray* const rays[], int count,
                                                                           double maxDistance,
                                                                           const Object* exclude, Hit hits[],
                                                                           QueryAnswer answers[]) {
    nearestPacketOf<8>(tree, rays, count, maxDistance, exclude, hits, answers);
}

[[gnu::target("avx512f,avx512dq,avx512vl,avx2")]] void anyPacketWidest(
    const QueryTree& tree, const Ray* const rays[], int count, const double maxDistance[],
    const Object* const exclude[], unsigned done, const Object* blocker[]) {
    anyPacketOf<8>(tree, rays, count, maxDistance, exclude, done, blocker);
}
#endif

QueryAnswer nearestNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                          const Object* exclude) {
    return nearestWalk(tree, ray, maxDistance, hit, exclude);
}

const Object* anyNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
    return anyWalk(tree, ray, maxDistance, exclude);
}

void nearestPacketNarrow(const QueryTree& tree, const Ray* const rays[], int count, double maxDistance,
                         const Object* exclude, Hit hits[], QueryAnswer answers[]) {
    nearestPacketsOfFour(tree, rays, count, maxDistance, exclude, hits, answers);
}

void anyPacketNarrow(const QueryTree& tree, const Ray* const rays[], int count, const double maxDistance[],
                     const Object* const exclude[], unsigned done, const Object* blocker[]) {
    anyPacketsOfFour(tree, rays, count, maxDistance, exclude, done, blocker);
}

QueryAnswer nearestWalkHere(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                            const Object* exclude) {
#if defined(__x86_64__)
    if (wideWalks()) return nearestWide(tree, ray, maxDistance, hit, exclude);
#endif
    return nearestNarrow(tree, ray, maxDistance, hit, exclude);
}

const Object* anyWalkHere(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
#if defined(__x86_64__)
    if (wideWalks()) return anyWide(tree, ray, maxDistance, exclude);
#endif
    return anyNarrow(tree, ray, maxDistance, exclude);
}

void nearestPacketHere(const QueryTree& tree, const Ray* const rays[], int count, double maxDistance,
                       const Object* exclude, Hit hits[], QueryAnswer answers[]) {
#if defined(__x86_64__)
    if (widestWalks()) return nearestPacketWidest(tree, rays, count, maxDistance, exclude, hits, answers);
    if (wideWalks()) return nearestPacketWide(tree, rays, count, maxDistance, exclude, hits, answers);
#endif
    nearestPacketNarrow(tree, rays, count, maxDistance, exclude, hits, answers);
}

void anyPacketHere(const QueryTree& tree, const Ray* const rays[], int count, const double maxDistance[],
                   const Object* const exclude[], unsigned done, const Object* blocker[]) {
#if defined(__x86_64__)
    if (widestWalks()) return anyPacketWidest(tree, rays, count, maxDistance, exclude, done, blocker);
    if (wideWalks()) return anyPacketWide(tree, rays, count, maxDistance, exclude, done, blocker);
#endif
    anyPacketNarrow(tree, rays, count, maxDistance, exclude, done, blocker);
}

// The primitives that last blocked a shadow ray of this thread, newest first, in the tree `tree`.
struct Occluders {
    uint64_t tree = 0;
    const Object* last[2] = {};
};

[[gnu::tls_model("initial-exec")]] thread_local Occluders occluders;  // read by every shadow query

// Whether prim blocks the ray as a walk would find it: hit below maxDistance, its box entered.
bool blocks(const Object* prim, const Ray* ray, double maxDistance, const Object* exclude) {
    Hit local;
    if (!prim || prim == exclude || !prim->intersectFn(prim, ray, &local) ||
        !(local.distance < maxDistance)) {
        return false;
    }
    double near;
    return enterRecord(prim, raySlabs(ray), maxDistance, &near);
}

}  // namespace

QueryAnswer queryNearest(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                         const Object* exclude) {
    return nearestWalkHere(tree, ray, maxDistance, hit, exclude);
}

bool queryAny(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
    Occluders& seen = occluders;
    if (seen.tree != tree.id) seen = {tree.id, {}};
    for (int k = 0; k < 2; ++k) {
        if (blocks(seen.last[k], ray, maxDistance, exclude)) {
            if (k == 1) std::swap(seen.last[0], seen.last[1]);
            return true;
        }
    }
    const Object* blocker = anyWalkHere(tree, ray, maxDistance, exclude);
    if (!blocker) return false;
    seen.last[1] = seen.last[0];
    seen.last[0] = blocker;
    return true;
}

void queryNearestPacket(const QueryTree& tree, const Ray* const rays[], int count, double maxDistance,
                        const Object* exclude, Hit hits[], QueryAnswer answers[]) {
    if (count > 0) nearestPacketHere(tree, rays, count, maxDistance, exclude, hits, answers);
}

void queryAnyPacket(const QueryTree& tree, const Ray* const rays[], int count, const double maxDistance[],
                    const Object* const exclude[], bool blocked[]) {
    if (count <= 0) return;
    Occluders& seen = occluders;
    if (seen.tree != tree.id) seen = {tree.id, {}};
    // The rays that the last blockers block need no walk.
    unsigned done = 0;
    const Object* blocker[packetSize] = {};
    for (int r = 0; r < count; ++r) {
        for (const Object* last : seen.last) {
            if (blocks(last, rays[r], maxDistance[r], exclude[r])) {
                done |= 1u << r;
                break;
            }
        }
    }
    anyPacketHere(tree, rays, count, maxDistance, exclude, done, blocker);
    for (int r = 0; r < count; ++r) {
        blocked[r] = (done >> r & 1) || blocker[r];
        if (blocker[r] && blocker[r] != seen.last[0]) {
            seen.last[1] = seen.last[0];
            seen.last[0] = blocker[r];
        }
    }
}

bool usePortableWalks(bool portable) { return portableWalks.exchange(portable); }
