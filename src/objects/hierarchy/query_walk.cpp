#include "objects/hierarchy/query_tree.h"

#include <cstdint>
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

#if defined(__x86_64__)
// Whether the processor has AVX2. The walks are compiled twice, for AVX2 and for any x86-64, and
// pick theirs here. (No selection at load time: that would run before a sanitizer's runtime starts.)
// Other processors have the plain walk alone.
bool processorHasAvx2() {
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
}

// Each walk compiled for AVX2 and for any x86-64.
[[gnu::target("avx2")]] QueryAnswer nearestWide(const QueryTree& tree, const Ray* ray, double maxDistance,
                                                Hit* hit, const Object* exclude) {
    return nearestWalk(tree, ray, maxDistance, hit, exclude);
}

[[gnu::target("avx2")]] const Object* anyWide(const QueryTree& tree, const Ray* ray, double maxDistance,
                                              const Object* exclude) {
    return anyWalk(tree, ray, maxDistance, exclude);
}
#endif

QueryAnswer nearestNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                          const Object* exclude) {
    return nearestWalk(tree, ray, maxDistance, hit, exclude);
}

const Object* anyNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
    return anyWalk(tree, ray, maxDistance, exclude);
}

// The walks this processor runs best.
QueryAnswer nearestWalkHere(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                            const Object* exclude) {
#if defined(__x86_64__)
    if (processorHasAvx2()) return nearestWide(tree, ray, maxDistance, hit, exclude);
#endif
    return nearestNarrow(tree, ray, maxDistance, hit, exclude);
}

const Object* anyWalkHere(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
#if defined(__x86_64__)
    if (processorHasAvx2()) return anyWide(tree, ray, maxDistance, exclude);
#endif
    return anyNarrow(tree, ray, maxDistance, exclude);
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
