// The query tree: a second hierarchy over the scene's primitives, built for speed (boxes split by
// the surface area heuristic, four lanes per node, walked with a stack instead of a heap).
//
// The slab tree stays the reference for every answer. Its walk tests primitives in order of box
// entry distance and keeps the first of equally near hits, so a query tree answer is taken only
// when it is provably the slab tree's: for shadow rays always (whether anything blocks does not
// depend on the order), for nearest hits unless two primitives tie at the nearest distance or
// the winner's box is entered beyond its own hit (rounding at a box face); intersect then asks the
// slab tree. The walks test four boxes at once with a quick test (objects/hierarchy/slabs.h) that passes
// every box the slab test enters, at an entry no later; a primitive's hit counts only once the
// slab test itself has passed the primitive's own box, no later than the best hit so far. So the
// walks reach every primitive the slab tree's walk reaches, and count no other. That rests on
// three invariants, which checked builds verify (base/checked.h):
//
// 1. A parent box is never entered later than a child box, under rounding too: every lane that
//    refers to a node holds, along each axis, a lower bound no greater and an upper bound no less
//    than every lane of that node. The slab test is monotonic in the bounds, so a ray that enters
//    a box enters every box above it, no later.
// 2. A leaf lane holds its primitive's box as queryPrim gives it: of the record's boundMin and
//    boundMax along each axis the lower rounded down and the higher rounded up to floats (the slab
//    test orders the two distances of an axis, so it enters the ordered box exactly when it enters
//    the record's), and the whole axis where either end has no number (NaN), which the slab test
//    of the record's own box then never rejects earlier; the lane refers to the primitive's leaf,
//    which holds the record and its compact shape and test as shapeForm gives them, bit for bit;
//    and every primitive of the scene stands in exactly one leaf lane. The walks' own slab test
//    of a primitive reads the box in its record, exactly.
// 3. The walk's stack never exceeds its size: no node lies deeper than maxDepth below the root,
//    and a walk keeps at most three waiting lanes per level, so it holds at most
//    3 * maxDepth + 1 < stackSize entries.
#pragma once

#include <cstddef>
#include <cstdint>

#include "base/region.h"
#include "objects/data.h"
#include "objects/primitives/shape.h"

// What the walks read of a primitive, in two cache lines of its own: its compact test and shape
// (objects/primitives/shape.h), and its record, which a hit reports. A walk reads the record only
// for a hit (its box, which the slab test confirms) or for a kind without a compact form.
struct alignas(64) QueryLeaf {
    ShapeTest test;
    const Object* record;
    alignas(8) unsigned char shape[shapeSize];
};
static_assert(sizeof(QueryLeaf) == 128);

// What a lane refers to: 0 for an unused lane, else a primitive's leaf (its address, which is
// even) or a node (its index, tagged with 1 in the lowest bit).
using LaneRef = std::uintptr_t;

inline bool laneIsNode(LaneRef ref) { return (ref & 1) != 0; }
inline uint32_t laneNode(LaneRef ref) { return static_cast<uint32_t>(ref >> 1); }
inline const QueryLeaf* laneLeaf(LaneRef ref) { return reinterpret_cast<const QueryLeaf*>(ref); }
inline LaneRef nodeLane(uint32_t index) { return LaneRef{index} << 1 | 1; }
inline LaneRef leafLane(const QueryLeaf* leaf) { return reinterpret_cast<LaneRef>(leaf); }

// Up to four lanes side by side, each a box (floats: two cache lines a node) and what it holds;
// the used lanes come first.
struct alignas(64) QueryNode {
    float boundMin[3][4];
    float boundMax[3][4];
    LaneRef ref[4];
};
static_assert(sizeof(QueryNode) == 128);

inline constexpr int maxDepth = 80;
inline constexpr int stackSize = 256;
static_assert(3 * maxDepth + 1 < stackSize);

struct QueryTree {
    Region storage;  // the nodes; nodes()[0] is the root
    Region leaves;   // the QueryLeaf of every primitive
    size_t nodeCount = 0;
    size_t leafCount = 0;
    uint64_t id = 0;  // distinct for every tree built (what a walk remembers of a tree is its own)
    const QueryNode* nodes() const { return storage.as<const QueryNode>(); }
};

// A primitive as the build takes it: its box, ends ordered and rounded outwards to floats (an axis
// with no number at either end spans the whole axis, from -infinity to +infinity), and its leaf.
struct QueryPrim {
    float lo[3];
    float hi[3];
    const QueryLeaf* leaf;
};

// The record's box as the build takes it; the leaf is the caller's to give.
QueryPrim queryPrim(const Object* obj);

// The query tree of count primitives (count >= 1), built with up to `threads` threads; the same
// tree whatever the number. It rearranges prims, and takes the region of their count leaves,
// each holding its record already (the slab tree's build gives them in the order of the scene's
// list): it adds each record's compact shape, in that order. Null when memory is short (the slab
// tree then answers alone).
QueryTree* buildQueryTree(QueryPrim* prims, size_t count, Region leaves, int threads);
void freeQueryTree(QueryTree* tree);

// The first of the invariants above that the tree breaks, as a sentence, or null when it keeps
// them all; top is the slab tree (or the one primitive) over the same primitives.
const char* brokenInvariant(const QueryTree& tree, const Object* top);

enum class QueryAnswer { miss, hit, undecided };

// The most rays a packet walk takes at once.
inline constexpr int packetSize = 8;

// The nearest hit below maxDistance (hit filled only for QueryAnswer::hit), or undecided.
QueryAnswer queryNearest(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                         const Object* exclude);
// Whether any primitive but exclude is hit below maxDistance. After a shadow ray that was blocked,
// each thread first tries the last two primitives that blocked its shadow rays in this tree:
// neighbouring shadow rays in shadow are mostly blocked by the same ones, and whether anything
// blocks does not depend on what is tried first.
bool queryAny(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude);

// The packet walk: the camera rays of neighbouring pixels walked through the tree together (up to
// packetSize at once: eight side by side where the processor has AVX-512, four with AVX2 and on
// other processors). A node is loaded once for all the rays that may enter it; each ray keeps its
// own best distance, stack mask and answer, and every primitive is confirmed per ray as the
// single walk confirms it. The box test of a packet bounds, ray by ray, the very numbers of the
// single walk's quick test, so each ray walks a subset of the tree that holds everything its own
// walk would reach: the answers are those of queryNearest (an undecided one may come out decided
// or the other way round where two primitives tie, which intersect then settles with the slab
// tree either way). Rays from different origins are walked one by one.
//
// The nearest hits of count rays (count <= packetSize) below one maxDistance, skipping exclude.
void queryNearestPacket(const QueryTree& tree, const Ray* const rays[], int count, double maxDistance,
                        const Object* exclude, Hit hits[], QueryAnswer answers[]);

// Which walks run: the widest this processor has, or the portable ones (for tests, which check
// both). Returns the previous choice.
bool usePortableWalks(bool portable);
