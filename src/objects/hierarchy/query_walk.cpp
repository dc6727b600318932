#include "objects/hierarchy/query_tree.h"

#include <algorithm>
#include <atomic>
#include <cmath>
#include <cstdint>
#include <cstring>
#include <utility>

#if defined(__x86_64__)
#include <immintrin.h>
#endif

#include "base/checked.h"
#include "objects/hierarchy/slabs.h"

namespace {

// The instruction sets the walks are compiled for. Each walk is a template on one of them, which
// picks how it reads a mask of lanes out of a comparison; the functions that run a walk for an
// instruction set inline everything into themselves (flatten), the processor's own instructions
// included. Other processors than x86-64 have the portable walks alone.
struct Portable {};
#if defined(__x86_64__)
struct Avx2 {};
struct Avx512 {};
#endif

using LaneBits8 = long __attribute__((vector_size(64)));  // eight comparison results

// Bit k set where lane k of m (a comparison's result) is set.
inline unsigned maskOf(Portable, const LaneBits& m) { return laneBits(m); }
#if defined(__x86_64__)
[[gnu::target("avx2")]] inline unsigned maskOf(Avx2, const LaneBits& m) {
    return static_cast<unsigned>(_mm256_movemask_pd(__builtin_bit_cast(__m256d, m)));
}
[[gnu::target("avx512f,avx512dq,avx512vl,avx2")]] inline unsigned maskOf(Avx512, const LaneBits& m) {
    return static_cast<unsigned>(_mm256_movemask_pd(__builtin_bit_cast(__m256d, m)));
}
[[gnu::target("avx512f,avx512dq,avx512vl,avx2")]] inline unsigned maskOf(Avx512, const LaneBits8& m) {
    return _mm512_movepi64_mask(__builtin_bit_cast(__m512i, m));
}
#endif

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

// The slab test itself on the box in a leaf's record: whether the slab tree's walk enters it, and
// where.
inline bool enterLeaf(const QueryLeaf& leaf, const RaySlabs& slabs, double maxDistance, double* near) {
    const Object& record = *leaf.record;
    return enterBox(record.boundMin, record.boundMax, slabs.origin, slabs.direction, maxDistance, near);
}

// The primitive's hit, the record's as its intersection would give it.
inline bool leafHit(const QueryLeaf& leaf, const Ray* ray, Hit* hit) {
    if (!leaf.test(leaf.shape, ray, hit)) return false;
    hit->object = leaf.record;
    return true;
}

// Asks for both cache lines of the node a lane refers to, which the walk takes from its stack soon.
inline void prefetchNode(const QueryNode* nodes, LaneRef ref) {
    const QueryNode& node = nodes[laneNode(ref)];
    __builtin_prefetch(&node.boundMin);
    __builtin_prefetch(&node.ref);
}

// Sorts the stack's entries from `from` on farthest first, so that the nearest is taken next.
template <class T>
void nearestOnTop(T* stack, int from, int size) {
    for (int k = from + 1; k < size; ++k) {
        for (int j = k; j > from && stack[j - 1].key < stack[j].key; --j) std::swap(stack[j - 1], stack[j]);
    }
}

// The walks test boxes with the quick test, which passes more boxes than the slab test and takes
// their entry a little early; a primitive's hit counts only once the slab test itself has passed
// its box, no later than the best hit so far. The answers are those of a walk with the slab test
// throughout.
template <class Isa>
[[gnu::always_inline]] inline QueryAnswer nearestWalk(Isa isa, const QueryTree& tree, const Ray* ray,
                                                      double maxDistance, Hit* hit, const Object* exclude) {
    const QueryNode* const nodes = tree.nodes();
    const RaySlabs slabs = raySlabs(ray);
    Waiting stack[stackSize];
    int size = 0;
    stack[size++] = {0, -1e10};
    double best = maxDistance;
    const QueryLeaf* winner = nullptr;
    double winnerKey = 0;
    bool tie = false;  // another primitive is hit at exactly the nearest distance
    Hit winnerHit{};
    while (size != 0) {
        const Waiting waiting = stack[--size];
        if (waiting.key > best) continue;
        const QueryNode& node = nodes[waiting.node];
        Lanes near;
        LaneBits passed;
        quickTest(node, slabs, maxDistance, near, passed);
        const unsigned entered = maskOf(isa, passed);
        const int pushed = size;
        for (int k = 0; k < 4 && node.ref[k]; ++k) {
            if (!(entered >> k & 1) || near[k] > best) continue;
            if (laneIsNode(node.ref[k])) {
                prefetchNode(nodes, node.ref[k]);
                push(stack, size, {laneNode(node.ref[k]), near[k]});
                continue;
            }
            const QueryLeaf& leaf = *laneLeaf(node.ref[k]);
            Hit local;
            if (leaf.record == exclude || !leafHit(leaf, ray, &local) || local.distance > best) continue;
            double key;
            if (!enterLeaf(leaf, slabs, maxDistance, &key) || key > best) continue;
            if (local.distance < best) {
                best = local.distance;
                winner = &leaf;
                winnerKey = key;
                winnerHit = local;
                tie = false;
            } else {
                tie = true;
            }
        }
        nearestOnTop(stack, pushed, size);
    }
    if (!winner) return QueryAnswer::miss;
    if (tie || winnerKey > best) return QueryAnswer::undecided;
    *hit = winnerHit;
    return QueryAnswer::hit;
}

// Whether leaf's primitive blocks the ray as a walk would find it: hit below maxDistance, its box
// entered.
inline bool leafBlocks(const QueryLeaf& leaf, const Ray* ray, const RaySlabs& slabs, double maxDistance,
                       const Object* exclude) {
    Hit local;
    double key;
    return leaf.record != exclude && leafHit(leaf, ray, &local) && local.distance < maxDistance &&
           enterLeaf(leaf, slabs, maxDistance, &key);
}

// The leaf of the primitive found to block the ray, or null.
template <class Isa>
[[gnu::always_inline]] inline const QueryLeaf* anyWalk(Isa isa, const QueryTree& tree, const Ray* ray,
                                                       double maxDistance, const Object* exclude) {
    const QueryNode* const nodes = tree.nodes();
    const RaySlabs slabs = raySlabs(ray);
    uint32_t stack[stackSize];
    int size = 0;
    stack[size++] = 0;
    while (size != 0) {
        const QueryNode& node = nodes[stack[--size]];
        Lanes near;
        LaneBits passed;
        quickTest(node, slabs, maxDistance, near, passed);
        const unsigned entered = maskOf(isa, passed);
        for (int k = 0; k < 4 && node.ref[k]; ++k) {
            if (!(entered >> k & 1)) continue;
            if (laneIsNode(node.ref[k])) {
                prefetchNode(nodes, node.ref[k]);
                push(stack, size, laneNode(node.ref[k]));
                continue;
            }
            const QueryLeaf& leaf = *laneLeaf(node.ref[k]);
            if (leafBlocks(leaf, ray, slabs, maxDistance, exclude)) return &leaf;
        }
    }
    return nullptr;
}

// Packets: W rays from one origin side by side in vectors of W doubles.
template <int W>
struct Pack;
template <>
struct Pack<4> {
    using D = Lanes;
    using I = LaneBits;
};
template <>
struct Pack<8> {
    using D = double __attribute__((vector_size(64)));
    using I = LaneBits8;
};

// What the box tests of a packet share. Ray by ray (lane r of each vector for ray r): the numbers
// of the single walk's quick test. For the whole packet: along each axis the range of the rays'
// reciprocal directions, which bounds what each ray's quick test computes. The lanes beyond the
// packet's rays repeat the first ray; no walk asks them.
template <int W>
struct PacketSlabs {
    using D = typename Pack<W>::D;
    D origin[3];
    D inverse[3];
    RaySlabs single[W];
    Lanes start[3];  // the origin, in all four lanes
    Lanes inverseLow[3];
    Lanes inverseHigh[3];
    bool walkable = true;  // the rays share their origin, and it and every reciprocal are finite numbers

    PacketSlabs(const Ray* const rays[], int count) {
        double o[3][W];
        double inv[3][W];
        single[0] = raySlabs(rays[0]);
        double range[3][2] = {{single[0].inverse[0], single[0].inverse[0]},
                              {single[0].inverse[1], single[0].inverse[1]},
                              {single[0].inverse[2], single[0].inverse[2]}};
        for (int r = 0; r < W; ++r) {
            const RaySlabs& s = single[r] = r < count ? raySlabs(rays[r]) : single[0];
            for (int i = 0; i < 3; ++i) {
                o[i][r] = s.origin[i];
                inv[i][r] = s.inverse[i];
                walkable = walkable && s.origin[i] == single[0].origin[i] && std::isfinite(s.origin[i]) &&
                           std::isfinite(s.inverse[i]);
                range[i][0] = std::min(range[i][0], s.inverse[i]);
                range[i][1] = std::max(range[i][1], s.inverse[i]);
            }
        }
        std::memcpy(origin, o, sizeof origin);
        std::memcpy(inverse, inv, sizeof inverse);
        for (int i = 0; i < 3; ++i) {
            start[i] = Lanes{} + single[0].origin[i];
            inverseLow[i] = Lanes{} + range[i][0];
            inverseHigh[i] = Lanes{} + range[i][1];
        }
    }
};

// The packet's test of a node's four boxes: lane k of `passed` set when some ray of the packet
// may enter box k before maxDistance, with lane k of near no greater than any ray's entry. Each
// ray's quick test computes, along each axis, (bound - origin) * reciprocal; a rounded product
// moves one way with each factor, so over the packet it lies between the products with the ends
// of the reciprocals' range. The lowest of them bounds every ray's entry along the axis from
// below, the highest every exit from above, and the box is passed unless even these bounds
// exclude it: every box that a ray's quick test passes (every box its slab test enters) is
// passed, at an entry no later. (Packets whose numbers are not all finite are walked ray by ray:
// these bounds need numbers.)
template <int W>
[[gnu::always_inline]] inline void packetMayEnter(const QueryNode& node, const PacketSlabs<W>& p,
                                                  double maxDistance, Lanes& near, LaneBits& passed) {
    Lanes farL = Lanes{} + maxDistance;
    Lanes nearL = Lanes{} - 1e10;
    for (int i = 0; i < 3; ++i) {
        Lanes lower;
        Lanes upper;
        loadLanes(lower, &node.boundMin[i][0], reinterpret_cast<const char*>(node.boundMin[i]));
        loadLanes(upper, &node.boundMax[i][0], reinterpret_cast<const char*>(node.boundMax[i]));
        const Lanes a = lower - p.start[i];
        const Lanes b = upper - p.start[i];
        const Lanes& i0 = p.inverseLow[i];
        const Lanes& i1 = p.inverseHigh[i];
        const Lanes a0 = a * i0, a1 = a * i1, b0 = b * i0, b1 = b * i1;
        const Lanes aLow = a0 < a1 ? a0 : a1, aHigh = a0 > a1 ? a0 : a1;
        const Lanes bLow = b0 < b1 ? b0 : b1, bHigh = b0 > b1 ? b0 : b1;
        const Lanes entry = aLow < bLow ? aLow : bLow;
        const Lanes exit = aHigh > bHigh ? aHigh : bHigh;
        farL = exit < farL ? exit : farL;
        nearL = entry > nearL ? entry : nearL;
    }
    widen(nearL, farL);
    near = nearL;
    passed = ~((nearL > farL) | (farL < 0.001));
}

// The quick test of box k of a node ray by ray: bit r of the result is set when it passes the box
// for ray r before maxDistance, exactly as quickTest does (the same operations on the same
// numbers; no ray of such a packet has a zero direction component, and each ray meets first the
// bound of the two that is nearer along its direction), at an entry no farther than best (lane r
// for ray r).
template <int W, class Isa>
[[gnu::always_inline]] inline unsigned raysMayEnter(Isa isa, const QueryNode& node, int k,
                                                    const PacketSlabs<W>& p, double maxDistance,
                                                    const typename Pack<W>::D& best) {
    using D = typename Pack<W>::D;
    D farL = D{} + maxDistance;
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
    widen(nearL, farL);
    // The masks taken apart: joined as vectors, the comparisons would be split lane by lane.
    const unsigned rejected =
        maskOf(isa, nearL > farL) | maskOf(isa, farL < 0.001) | maskOf(isa, nearL > best);
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
template <int W, class Isa>
[[gnu::always_inline]] inline void nearestPacketWalk(Isa isa, const QueryTree& tree, const Ray* const rays[],
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
    const QueryLeaf* winner[W] = {};
    double winnerKey[W] = {};
    bool tie[W] = {};
    Hit winnerHit[W];
    while (size != 0) {
        const PacketWaiting waiting = stack[--size];
        const unsigned walking = waiting.rays & ~maskOf(isa, D{} + waiting.key > bestV);
        if (!walking) continue;
        const QueryNode& node = nodes[waiting.node];
        Lanes near;
        LaneBits passed;
        packetMayEnter<W>(node, p, maxDistance, near, passed);
        const unsigned entered = maskOf(isa, passed);
        const int pushed = size;
        for (int k = 0; k < 4 && node.ref[k]; ++k) {
            if (!(entered >> k & 1)) continue;
            const unsigned lane = walking & ~maskOf(isa, D{} + near[k] > bestV);
            if (!lane) continue;
            if (laneIsNode(node.ref[k])) {
                prefetchNode(nodes, node.ref[k]);
                push(stack, size, {near[k], laneNode(node.ref[k]), lane});
                continue;
            }
            const QueryLeaf& leaf = *laneLeaf(node.ref[k]);
            if (leaf.record == exclude) continue;
            const unsigned confirmed = lane & raysMayEnter<W>(isa, node, k, p, maxDistance, bestV);
            for (unsigned left = confirmed; left; left &= left - 1) {
                const int r = __builtin_ctz(left);
                Hit local;
                if (!leafHit(leaf, rays[r], &local) || local.distance > best[r]) continue;
                double key;
                if (!enterLeaf(leaf, p.single[r], maxDistance, &key) || key > best[r]) continue;
                if (local.distance < best[r]) {
                    best[r] = local.distance;
                    winner[r] = &leaf;
                    winnerKey[r] = key;
                    winnerHit[r] = local;
                    tie[r] = false;
                    std::memcpy(&bestV, best, sizeof bestV);
                } else {
                    tie[r] = true;
                }
            }
        }
        nearestOnTop(stack, pushed, size);
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

// The packet walk for W rays at a time, count <= W. A packet without one origin, or whose numbers
// are not all finite (a zero direction component, say), is walked ray by ray.
template <int W, class Isa>
[[gnu::always_inline]] inline void nearestPacketOf(Isa isa, const QueryTree& tree, const Ray* const rays[],
                                                   int count, double maxDistance, const Object* exclude,
                                                   Hit hits[], QueryAnswer answers[]) {
    const PacketSlabs<W> p(rays, count);
    if (p.walkable)
        return nearestPacketWalk<W>(isa, tree, rays, count, p, maxDistance, exclude, hits, answers);
    for (int r = 0; r < count; ++r)
        answers[r] = nearestWalk(isa, tree, rays[r], maxDistance, &hits[r], exclude);
}

// Up to eight rays as packets of four.
template <class Isa>
[[gnu::always_inline]] inline void nearestPacketsOfFour(Isa isa, const QueryTree& tree,
                                                        const Ray* const rays[], int count,
                                                        double maxDistance, const Object* exclude, Hit hits[],
                                                        QueryAnswer answers[]) {
    for (int first = 0; first < count; first += 4) {
        const int n = count - first < 4 ? count - first : 4;
        nearestPacketOf<4>(isa, tree, rays + first, n, maxDistance, exclude, hits + first, answers + first);
    }
}

std::atomic<bool> portableWalks{false};

#if defined(__x86_64__)
// Whether the processor has AVX2, and AVX-512 (with its double-word and vector-length parts).
// The walks are compiled for each and for any x86-64, and pick theirs here. (No selection at
// load time: that would run before a sanitizer's runtime starts.)
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
[[gnu::target("avx2"), gnu::flatten]] QueryAnswer nearestWide(const QueryTree& tree, const Ray* ray,
                                                              double maxDistance, Hit* hit,
                                                              const Object* exclude) {
    return nearestWalk(Avx2{}, tree, ray, maxDistance, hit, exclude);
}

[[gnu::target("avx2"), gnu::flatten]] const QueryLeaf* anyWide(const QueryTree& tree, const Ray* ray,
                                                               double maxDistance, const Object* exclude) {
    return anyWalk(Avx2{}, tree, ray, maxDistance, exclude);
}

[[gnu::target("avx2"), gnu::flatten]] void nearestPacketWide(const QueryTree& tree, const Ray* const rays[],
                                                             int count, double maxDistance,
                                                             const Object* exclude, Hit hits[],
                                                             QueryAnswer answers[]) {
    nearestPacketsOfFour(Avx2{}, tree, rays, count, maxDistance, exclude, hits, answers);
}

[[gnu::target("avx512f,avx512dq,avx512vl,avx2"), gnu::flatten]] void nearestPacketWidest(
    const QueryTree& tree, const Ray* const rays[], int count, double maxDistance, const Object* exclude,
    Hit hits[], QueryAnswer answers[]) {
    nearestPacketOf<8>(Avx512{}, tree, rays, count, maxDistance, exclude, hits, answers);
}

#endif

QueryAnswer nearestNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                          const Object* exclude) {
    return nearestWalk(Portable{}, tree, ray, maxDistance, hit, exclude);
}

const QueryLeaf* anyNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
    return anyWalk(Portable{}, tree, ray, maxDistance, exclude);
}

void nearestPacketNarrow(const QueryTree& tree, const Ray* const rays[], int count, double maxDistance,
                         const Object* exclude, Hit hits[], QueryAnswer answers[]) {
    nearestPacketsOfFour(Portable{}, tree, rays, count, maxDistance, exclude, hits, answers);
}

QueryAnswer nearestWalkHere(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                            const Object* exclude) {
#if defined(__x86_64__)
    if (wideWalks()) return nearestWide(tree, ray, maxDistance, hit, exclude);
#endif
    return nearestNarrow(tree, ray, maxDistance, hit, exclude);
}

const QueryLeaf* anyWalkHere(const QueryTree& tree, const Ray* ray, double maxDistance,
                             const Object* exclude) {
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

// The leaves of the primitives that last blocked a shadow ray of this thread, newest first, in
// the tree `tree`, and whether its last shadow ray was blocked.
struct Occluders {
    uint64_t tree = 0;
    const QueryLeaf* last[2] = {};
    bool lastBlocked = false;
};

[[gnu::tls_model("initial-exec")]] thread_local Occluders occluders;  // read by every shadow query

// Whether the primitive of leaf (if any) blocks the ray as a walk would find it (the box tested
// only after a hit).
bool blocks(const QueryLeaf* leaf, const Ray* ray, double maxDistance, const Object* exclude) {
    Hit local;
    double key;
    return leaf && leaf->record != exclude && leafHit(*leaf, ray, &local) && local.distance < maxDistance &&
           enterLeaf(*leaf, raySlabs(ray), maxDistance, &key);
}

}  // namespace

QueryAnswer queryNearest(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                         const Object* exclude) {
    return nearestWalkHere(tree, ray, maxDistance, hit, exclude);
}

bool queryAny(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
    Occluders& seen = occluders;
    if (seen.tree != tree.id) seen = {tree.id, {}};
    // In shadow, the next ray is mostly blocked by the same primitives; in the light, trying them
    // costs two tests that hardly ever pay.
    if (seen.lastBlocked) {
        for (int k = 0; k < 2; ++k) {
            if (blocks(seen.last[k], ray, maxDistance, exclude)) {
                if (k == 1) std::swap(seen.last[0], seen.last[1]);
                return true;
            }
        }
    }
    const QueryLeaf* blocker = anyWalkHere(tree, ray, maxDistance, exclude);
    seen.lastBlocked = blocker != nullptr;
    if (!blocker) return false;
    seen.last[1] = seen.last[0];
    seen.last[0] = blocker;
    return true;
}

void queryNearestPacket(const QueryTree& tree, const Ray* const rays[], int count, double maxDistance,
                        const Object* exclude, Hit hits[], QueryAnswer answers[]) {
    if (count > 0) nearestPacketHere(tree, rays, count, maxDistance, exclude, hits, answers);
}

bool usePortableWalks(bool portable) { return portableWalks.exchange(portable); }
