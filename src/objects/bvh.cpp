#include "objects/bvh.h"

#include <algorithm>
#include <array>
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
// Runs of up to this many records weigh planes along all three axes; longer ones, near the top,
// only along the widest spread of their centres (most of the building time, little of the gain).
constexpr size_t allAxesUpTo = 1024;
// Deeper than this, splits halve the count, so a node is never deeper than 48 + 31 levels and
// the walk's stack (at most three waiting lanes a level) has a fixed size.
constexpr int sahDepth = 48;
constexpr int stackSize = 256;

struct Box {
    double lo[3];
    double hi[3];
};

constexpr double infinity = std::numeric_limits<double>::infinity();
constexpr Box emptyBox{{infinity, infinity, infinity}, {-infinity, -infinity, -infinity}};

double area(const Box& box) {
    const double dx = box.hi[0] - box.lo[0], dy = box.hi[1] - box.lo[1], dz = box.hi[2] - box.lo[2];
    return dx * dy + dy * dz + dz * dx;
}

struct PrimRef {
    Box box;
    double centre[3];  // doubled: lo + hi
    int32_t index;     // into QueryTree::prims
};

// A run of records of the building array, the box around them and the bounds of their centres.
// An axis where some record's box has no number (NaN) gets no number on both sides of the box: the
// slab test then never rejects along it, so a box holding a primitive is entered by every ray that
// enters the primitive's own box.
struct Range {
    size_t first = 0;
    size_t last = 0;
    Box box = emptyBox;
    Box centres = emptyBox;
    bool noNumber[3] = {};

    size_t size() const { return last - first; }

    void add(const PrimRef& r) {
        for (int i = 0; i < 3; ++i) {
            noNumber[i] = noNumber[i] || std::isnan(r.box.lo[i]) || std::isnan(r.box.hi[i]);
            box.lo[i] = std::min(box.lo[i], r.box.lo[i]);
            box.hi[i] = std::max(box.hi[i], r.box.hi[i]);
            centres.lo[i] = std::min(centres.lo[i], r.centre[i]);
            centres.hi[i] = std::max(centres.hi[i], r.centre[i]);
        }
    }
    // The box as the nodes keep it.
    Box finished() const {
        Box b = box;
        for (int i = 0; i < 3; ++i) {
            if (noNumber[i]) b.lo[i] = b.hi[i] = std::numeric_limits<double>::quiet_NaN();
        }
        return b;
    }
};

// Orders centres with the ones that are no number first, so that sorting stays well defined.
double sortKey(double centre) { return std::isnan(centre) ? -infinity : centre; }

// The axis along which the centres spread widest (x before y before z on ties).
int widest(const Box& centres) {
    int axis = 0;
    for (int i = 1; i < 3; ++i) {
        if (centres.hi[i] - centres.lo[i] > centres.hi[axis] - centres.lo[axis]) axis = i;
    }
    return axis;
}

// A split plane between two of `bins` bins along one axis: the records of the bins below `bin` go
// first. bin 0 is no plane at all.
struct Plane {
    int axis = 0;
    int bins = binCount;
    double lo = 0;
    double scale = 0;
    int bin = 0;
    double cost = infinity;

    int binOf(const PrimRef& r) const {
        // Held between 0 and the last bin, a centre that is no number in the first.
        return static_cast<int>(std::min(std::max(0.0, (r.centre[axis] - lo) * scale), bins - 1.0));
    }
};

// The records of each bin along one axis: how many, and the box around them (for the cost only,
// so a bound that is no number is simply passed over).
struct Bins {
    long count[binCount] = {};
    Box box[binCount];

    explicit Bins(int used) {
        for (int b = 0; b < used; ++b) box[b] = emptyBox;
    }
    void add(int b, const Box& other) {
        ++count[b];
        for (int i = 0; i < 3; ++i) {
            box[b].lo[i] = std::min(box[b].lo[i], other.lo[i]);
            box[b].hi[i] = std::max(box[b].hi[i], other.hi[i]);
        }
    }
};

void enclose(Box& box, const Box& other) {
    for (int i = 0; i < 3; ++i) {
        box.lo[i] = std::min(box.lo[i], other.lo[i]);
        box.hi[i] = std::max(box.hi[i], other.hi[i]);
    }
}

// Prices every plane between the bins; the cheapest goes into plane.
void sweep(const Bins& bins, Plane& plane) {
    double leftCost[binCount];  // plane k puts the bins below k first
    long leftCount[binCount];
    Box box = emptyBox;
    long count = 0;
    for (int b = 0; b < plane.bins - 1; ++b) {
        enclose(box, bins.box[b]);
        count += bins.count[b];
        leftCount[b + 1] = count;
        leftCost[b + 1] = count ? area(box) * count : 0;
    }
    box = emptyBox;
    count = 0;
    for (int b = plane.bins - 1; b > 0; --b) {
        enclose(box, bins.box[b]);
        count += bins.count[b];
        if (count == 0 || leftCount[b] == 0) continue;
        const double cost = leftCost[b] + area(box) * count;
        if (cost < plane.cost) {
            plane.cost = cost;
            plane.bin = b;
        }
    }
}

class Builder {
public:
    Builder(QueryTree& tree, std::vector<PrimRef>& refs) : tree_(tree), refs_(refs) {}

    int32_t node(const Range& range, int depth) {
        const auto index = static_cast<int32_t>(tree_.nodes.size());
        tree_.nodes.emplace_back();
        Range parts[4];
        int count = 0;
        if (range.size() <= 4) {
            for (size_t k = range.first; k < range.last; ++k) parts[count++] = single(k);
        } else {
            for (const Range& half : split(range, depth)) {
                if (half.size() >= 2) {
                    const auto [a, b] = split(half, depth);
                    parts[count++] = a;
                    parts[count++] = b;
                } else {
                    parts[count++] = half;
                }
            }
        }
        int32_t refs[4];
        for (int k = 0; k < count; ++k) {
            refs[k] = parts[k].size() == 1 ? -1 - refs_[parts[k].first].index : node(parts[k], depth + 1);
        }
        QueryNode& made = tree_.nodes[index];
        made.lanes = count;
        for (int k = 0; k < count; ++k) {
            made.ref[k] = refs[k];
            const Box box = parts[k].finished();
            for (int i = 0; i < 3; ++i) {
                made.boundMin[i][k] = box.lo[i];
                made.boundMax[i][k] = box.hi[i];
            }
        }
        return index;
    }

private:
    Range single(size_t k) const {
        Range r{k, k + 1};
        r.add(refs_[k]);
        return r;
    }

    // Splits a range of two records or more into two non-empty ranges.
    std::array<Range, 2> split(const Range& range, int depth) {
        if (depth < sahDepth) {
            const int only = range.size() > allAxesUpTo ? widest(range.centres) : -1;
            const Plane plane = cheapestPlane(range, only);
            if (plane.bin > 0) return partition(range, [&](const PrimRef& r) { return plane.binOf(r) < plane.bin; });
        }
        const int axis = widest(range.centres);
        const size_t mid = range.first + range.size() / 2;
        std::nth_element(refs_.begin() + range.first, refs_.begin() + mid, refs_.begin() + range.last,
                         [axis](const PrimRef& a, const PrimRef& b) {
                             return sortKey(a.centre[axis]) < sortKey(b.centre[axis]);
                         });
        std::array<Range, 2> halves{Range{range.first, mid}, Range{mid, range.last}};
        for (size_t p = range.first; p < range.last; ++p) halves[p < mid ? 0 : 1].add(refs_[p]);
        return halves;
    }

    // Moves the records for which first(record) holds to the front, measuring both sides as it goes.
    template <class First>
    std::array<Range, 2> partition(const Range& range, First first) {
        std::array<Range, 2> halves;
        size_t mid = range.first;
        for (size_t p = range.first; p < range.last; ++p) {
            if (first(refs_[p])) {
                std::swap(refs_[p], refs_[mid++]);
                halves[0].add(refs_[mid - 1]);
            } else {
                halves[1].add(refs_[p]);
            }
        }
        halves[0].first = range.first;
        halves[0].last = halves[1].first = mid;
        halves[1].last = range.last;
        return halves;
    }

    // The plane of least cost by the surface area heuristic along `only` or, when it is -1, along
    // any axis where the centres spread, the records binned in one pass. Few records, few bins.
    Plane cheapestPlane(const Range& range, int only) const {
        const int used = static_cast<int>(std::clamp<size_t>(range.size(), 4, binCount));
        const int axes = only < 0 ? 3 : 1;
        Plane planes[3];
        Bins bins[3] = {Bins(used), Bins(used), Bins(used)};
        for (int a = 0; a < axes; ++a) {
            const int axis = only < 0 ? a : only;
            const double spread = range.centres.hi[axis] - range.centres.lo[axis];
            planes[a] = {axis, used, range.centres.lo[axis], spread > 0 ? used / spread : 0};
        }
        for (size_t p = range.first; p < range.last; ++p) {
            for (int a = 0; a < axes; ++a) bins[a].add(planes[a].binOf(refs_[p]), refs_[p].box);
        }
        Plane best;
        for (int a = 0; a < axes; ++a) {
            if (!(planes[a].scale > 0) || std::isinf(planes[a].scale)) continue;
            sweep(bins[a], planes[a]);
            if (planes[a].cost < best.cost) best = planes[a];
        }
        return best;
    }

    QueryTree& tree_;
    std::vector<PrimRef>& refs_;
};

// The primitives of the list starting at first, bounding nodes standing for the primitives below them.
void collect(const Object* first, QueryTree& tree, std::vector<PrimRef>& refs, Range& all) {
    for (const Object* obj = first; obj; obj = obj->next) {
        if (obj->kind == kindNode) {
            collect(obj->children->first, tree, refs, all);
            continue;
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
        all.add(ref);
    }
}

struct Waiting {
    int32_t node;
    double key;  // the distance at which the ray enters the node's box
};

}  // namespace

QueryTree* buildQueryTree(const Object* first) {
    try {
        auto tree = std::make_unique<QueryTree>();
        std::vector<PrimRef> refs;
        const auto records = static_cast<size_t>(std::max(nPrims, 1L));  // at least the primitives
        refs.reserve(records);
        tree->prims.reserve(records);
        tree->nodes.reserve(records / 2 + 1);
        Range all;
        collect(first, *tree, refs, all);
        if (refs.empty() || refs.size() > static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
            return nullptr;
        }
        all.last = refs.size();
        Builder(*tree, refs).node(all, 0);
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

#if defined(__x86_64__)
// Whether the processor has AVX2. The walks are compiled twice, for AVX2 and for any x86-64, and
// pick theirs here. (No selection at load time: that would run before a sanitizer's runtime starts.)
// Other processors have the plain walk alone.
bool wideLanes() {
    static const bool avx2 = [] {
        __builtin_cpu_init();
        return __builtin_cpu_supports("avx2") != 0;
    }();
    return avx2;
}

// Each walk compiled for AVX2 and, below, for any processor.
[[gnu::target("avx2")]] QueryAnswer nearestWide(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                                                const Object* exclude) {
    return nearestWalk(tree, ray, maxDistance, hit, exclude);
}

[[gnu::target("avx2")]] bool anyWide(const QueryTree& tree, const Ray* ray, double maxDistance,
                                     const Object* exclude) {
    return anyWalk(tree, ray, maxDistance, exclude);
}
#endif

QueryAnswer nearestNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                          const Object* exclude) {
    return nearestWalk(tree, ray, maxDistance, hit, exclude);
}

bool anyNarrow(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
    return anyWalk(tree, ray, maxDistance, exclude);
}

}  // namespace

QueryAnswer queryNearest(const QueryTree& tree, const Ray* ray, double maxDistance, Hit* hit,
                         const Object* exclude) {
#if defined(__x86_64__)
    if (wideLanes()) return nearestWide(tree, ray, maxDistance, hit, exclude);
#endif
    return nearestNarrow(tree, ray, maxDistance, hit, exclude);
}

bool queryAny(const QueryTree& tree, const Ray* ray, double maxDistance, const Object* exclude) {
#if defined(__x86_64__)
    if (wideLanes()) return anyWide(tree, ray, maxDistance, exclude);
#endif
    return anyNarrow(tree, ray, maxDistance, exclude);
}
