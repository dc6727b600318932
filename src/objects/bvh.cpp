#include "objects/bvh.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <limits>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "objects/slabs.h"

// Lane k of a node: its box and either a node (ref >= 0) or the primitive -1 - ref.
struct alignas(32) QueryNode {
    double boundMin[3][4];
    double boundMax[3][4];
    int32_t ref[4];
    int32_t lanes;  // lanes in use, 1 to 4
};

struct QueryTree {
    std::vector<QueryNode> nodes;  // nodes[0] is the root
    std::vector<const Object*> prims;
};

namespace {

constexpr int binCount = 16;
// Deeper than this, splits halve the count, so a node is never deeper than 48 + 31 levels and
// the walk's stack (at most three waiting lanes a level) has a fixed size.
constexpr int sahDepth = 48;
constexpr int stackSize = 256;

struct Box {
    double lo[3];
    double hi[3];
};

// A box grown to hold another. An axis where either box has no number (NaN) keeps no number on
// both sides: the slab test then never rejects along it, so a box holding a primitive is entered
// by every ray that enters the primitive's own box.
void grow(Box& box, const Box& other) {
    for (int i = 0; i < 3; ++i) {
        if (std::isnan(box.lo[i]) || std::isnan(other.lo[i]) || std::isnan(other.hi[i])) {
            box.lo[i] = box.hi[i] = std::numeric_limits<double>::quiet_NaN();
            continue;
        }
        box.lo[i] = std::min(box.lo[i], other.lo[i]);
        box.hi[i] = std::max(box.hi[i], other.hi[i]);
    }
}

double area(const Box& box) {
    const double dx = box.hi[0] - box.lo[0], dy = box.hi[1] - box.lo[1], dz = box.hi[2] - box.lo[2];
    return dx * dy + dy * dz + dz * dx;
}

struct PrimRef {
    Box box;
    double centre[3];  // doubled: lo + hi
    int32_t index;     // into QueryTree::prims
};

// Orders centres with the ones that are no number first, so that sorting stays well defined.
double sortKey(double centre) { return std::isnan(centre) ? -std::numeric_limits<double>::infinity() : centre; }

class Builder {
public:
    Builder(QueryTree& tree, std::vector<PrimRef>& refs) : tree_(tree), refs_(refs) {}

    int32_t node(size_t first, size_t last, int depth) {
        const auto index = static_cast<int32_t>(tree_.nodes.size());
        tree_.nodes.emplace_back();
        std::pair<size_t, size_t> parts[4];
        int count = 0;
        if (last - first <= 4) {
            for (size_t k = first; k < last; ++k) parts[count++] = {k, k + 1};
        } else {
            const size_t mid = split(first, last, depth);
            for (const auto& [a, b] : {std::pair{first, mid}, std::pair{mid, last}}) {
                if (b - a >= 2) {
                    const size_t m = split(a, b, depth);
                    parts[count++] = {a, m};
                    parts[count++] = {m, b};
                } else {
                    parts[count++] = {a, b};
                }
            }
        }
        int32_t refs[4];
        Box boxes[4];
        for (int k = 0; k < count; ++k) {
            const auto [a, b] = parts[k];
            boxes[k] = refs_[a].box;
            for (size_t p = a + 1; p < b; ++p) grow(boxes[k], refs_[p].box);
            refs[k] = b - a == 1 ? -1 - refs_[a].index : node(a, b, depth + 1);
        }
        QueryNode& made = tree_.nodes[index];
        made.lanes = count;
        for (int k = 0; k < count; ++k) {
            made.ref[k] = refs[k];
            for (int i = 0; i < 3; ++i) {
                made.boundMin[i][k] = boxes[k].lo[i];
                made.boundMax[i][k] = boxes[k].hi[i];
            }
        }
        return index;
    }

private:
    // Splits [first, last) (two records or more) into two non-empty parts; returns where the
    // second begins.
    size_t split(size_t first, size_t last, int depth) {
        double lo[3], hi[3];
        centreRange(first, last, lo, hi);
        if (depth < sahDepth) {
            Plane best;
            for (int axis = 0; axis < 3; ++axis) {
                if (!(hi[axis] - lo[axis] > 0)) continue;
                const Plane plane = cheapestPlane(first, last, axis, lo[axis], hi[axis]);
                if (plane.cost < best.cost) best = plane;
            }
            if (best.bin > 0) {
                const auto mid = std::partition(refs_.begin() + first, refs_.begin() + last,
                                                [&](const PrimRef& r) { return best.binOf(r) < best.bin; });
                return static_cast<size_t>(mid - refs_.begin());
            }
        }
        int axis = 0;
        for (int i = 1; i < 3; ++i) {
            if (hi[i] - lo[i] > hi[axis] - lo[axis]) axis = i;
        }
        const size_t mid = first + (last - first) / 2;
        std::nth_element(refs_.begin() + first, refs_.begin() + mid, refs_.begin() + last,
                         [axis](const PrimRef& a, const PrimRef& b) {
                             return sortKey(a.centre[axis]) < sortKey(b.centre[axis]);
                         });
        return mid;
    }

    void centreRange(size_t first, size_t last, double lo[3], double hi[3]) const {
        for (int i = 0; i < 3; ++i) {
            lo[i] = std::numeric_limits<double>::infinity();
            hi[i] = -std::numeric_limits<double>::infinity();
        }
        for (size_t p = first; p < last; ++p) {
            for (int i = 0; i < 3; ++i) {
                const double c = refs_[p].centre[i];
                if (c < lo[i]) lo[i] = c;
                if (c > hi[i]) hi[i] = c;
            }
        }
    }

    // A split plane between two of binCount bins along one axis: the records of the bins below
    // `bin` go first. bin 0 is no plane at all.
    struct Plane {
        int axis = 0;
        double lo = 0;
        double scale = 0;
        int bin = 0;
        double cost = std::numeric_limits<double>::infinity();

        int binOf(const PrimRef& r) const {
            const double f = (r.centre[axis] - lo) * scale;
            if (!(f > 0)) return 0;
            return f >= binCount ? binCount - 1 : static_cast<int>(f);
        }
    };

    // The plane of least cost by the surface area heuristic along one axis, the centres of the
    // records spreading from lo to hi there.
    Plane cheapestPlane(size_t first, size_t last, int axis, double lo, double hi) const {
        Plane plane{axis, lo, binCount / (hi - lo)};
        Box bins[binCount];
        long counts[binCount] = {};
        for (size_t p = first; p < last; ++p) {
            const int b = plane.binOf(refs_[p]);
            if (counts[b]++ == 0) {
                bins[b] = refs_[p].box;
            } else {
                grow(bins[b], refs_[p].box);
            }
        }
        // Plane k (1 .. binCount - 1) puts the bins below k first.
        double leftCost[binCount];
        long leftCount[binCount];
        Box box{};
        long count = 0;
        for (int b = 0; b < binCount - 1; ++b) {
            if (counts[b]) {
                if (count == 0) box = bins[b]; else grow(box, bins[b]);
                count += counts[b];
            }
            leftCount[b + 1] = count;
            leftCost[b + 1] = count ? area(box) * count : 0;
        }
        count = 0;
        for (int b = binCount - 1; b > 0; --b) {
            if (counts[b]) {
                if (count == 0) box = bins[b]; else grow(box, bins[b]);
                count += counts[b];
            }
            if (count == 0 || leftCount[b] == 0) continue;
            const double cost = leftCost[b] + area(box) * count;
            if (cost < plane.cost) {
                plane.cost = cost;
                plane.bin = b;
            }
        }
        return plane;
    }

    QueryTree& tree_;
    std::vector<PrimRef>& refs_;
};

void collect(const Object* obj, QueryTree& tree, std::vector<PrimRef>& refs) {
    if (obj->kind == kindNode) {
        for (const Object* child = obj->children->first; child; child = child->next) collect(child, tree, refs);
        return;
    }
    PrimRef ref{};
    for (int i = 0; i < 3; ++i) {
        ref.box.lo[i] = obj->boundMin[i];
        ref.box.hi[i] = obj->boundMax[i];
        ref.centre[i] = obj->boundMin[i] + obj->boundMax[i];
    }
    ref.index = static_cast<int32_t>(tree.prims.size());
    tree.prims.push_back(obj);
    refs.push_back(ref);
}

struct Waiting {
    int32_t node;
    double key;  // the distance at which the ray enters the node's box
};

}  // namespace

QueryTree* buildQueryTree(const Object* top) {
    try {
        auto tree = std::make_unique<QueryTree>();
        std::vector<PrimRef> refs;
        collect(top, *tree, refs);
        if (refs.empty() || refs.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
            return nullptr;
        }
        Builder(*tree, refs).node(0, refs.size(), 0);
        return tree.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void freeQueryTree(QueryTree* tree) { delete tree; }

namespace {

[[gnu::always_inline]] inline QueryAnswer nearestWalk(const QueryTree& tree, const Ray* ray, double maxDistance,
                                                      Hit* hit, const Object* exclude) {
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
        const QueryNode& node = tree.nodes[waiting.node];
        double near[4];
        const unsigned entered = enterBoxes(node, slabs, maxDistance, near);
        const int pushed = size;
        for (int k = 0; k < node.lanes; ++k) {
            if (!(entered >> k & 1) || near[k] > best) continue;
            if (node.ref[k] >= 0) {
                stack[size++] = {node.ref[k], near[k]};
                continue;
            }
            const Object* prim = tree.prims[-1 - node.ref[k]];
            Hit local;
            if (prim == exclude || !prim->intersectFn(prim, ray, &local)) continue;
            if (local.distance < best) {
                best = local.distance;
                winner = prim;
                winnerKey = near[k];
                winnerHit = local;
                tie = false;
            } else if (local.distance == best) {
                tie = true;
            }
        }
        // Farthest first, so that the nearest box is taken next.
        for (int k = pushed + 1; k < size; ++k) {
            for (int j = k; j > pushed && stack[j - 1].key < stack[j].key; --j) std::swap(stack[j - 1], stack[j]);
        }
    }
    if (!winner) return QueryAnswer::miss;
    if (tie || winnerKey > best) return QueryAnswer::undecided;
    *hit = winnerHit;
    return QueryAnswer::hit;
}

[[gnu::always_inline]] inline bool anyWalk(const QueryTree& tree, const Ray* ray, double maxDistance,
                                           const Object* exclude) {
    const RaySlabs slabs = raySlabs(ray);
    int32_t stack[stackSize];
    int size = 0;
    stack[size++] = 0;
    while (size != 0) {
        const QueryNode& node = tree.nodes[stack[--size]];
        double near[4];
        const unsigned entered = enterBoxes(node, slabs, maxDistance, near);
        for (int k = 0; k < node.lanes; ++k) {
            if (!(entered >> k & 1)) continue;
            if (node.ref[k] >= 0) {
                stack[size++] = node.ref[k];
                continue;
            }
            const Object* prim = tree.prims[-1 - node.ref[k]];
            Hit local;
            if (prim != exclude && prim->intersectFn(prim, ray, &local) && local.distance < maxDistance) return true;
        }
    }
    return false;
}

// Each walk compiled for AVX2 and for any x86-64.
[[gnu::target("avx2")]] QueryAnswer nearestWide(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                                                const Object* exclude) {
    return nearestWalk(tree, ray, maxDistance, hit, exclude);
}

QueryAnswer nearestNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                          const Object* exclude) {
    return nearestWalk(tree, ray, maxDistance, hit, exclude);
}

[[gnu::target("avx2")]] bool anyWide(const QueryTree& tree, const Ray* ray, double maxDistance,
                                     const Object* exclude) {
    return anyWalk(tree, ray, maxDistance, exclude);
}

bool anyNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
    return anyWalk(tree, ray, maxDistance, exclude);
}

}  // namespace

QueryAnswer queryNearest(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                         const Object* exclude) {
    return wideLanes() ? nearestWide(tree, ray, maxDistance, hit, exclude)
                       : nearestNarrow(tree, ray, maxDistance, hit, exclude);
}

bool queryAny(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
    return wideLanes() ? anyWide(tree, ray, maxDistance, exclude) : anyNarrow(tree, ray, maxDistance, exclude);
}
