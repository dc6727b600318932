#include "objects/hierarchy/query_tree.h"

#include <algorithm>
#include <array>
#include <atomic>
#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <limits>
#include <memory>
#include <new>
#include <tuple>
#include <utility>
#include <vector>

#include "base/tasks.h"

namespace {

constexpr int binCount = 16;
// Runs of up to this many primitives weigh split planes along all three axes; longer ones, near
// the top, only along the widest spread of their centres (most of the building time, little of
// the gain).
constexpr size_t allAxesUpTo = 1024;
// Deeper than this, splits halve the count: four primitives or fewer are left after 16 more
// levels (of at most 2^31 primitives), so no node is deeper than maxDepth (invariant 3).
constexpr int sahDepth = 48;
static_assert(sahDepth + 16 <= maxDepth);
// Runs shorter than this are built by the calling thread alone. With more threads, the subtrees
// of at most 1 / (8 * threads) of the primitives are handed to the tasks, down to a sixteenth of
// that (smaller ones, rare near the top, are built where they are met).
constexpr size_t parallelFrom = 16384;
// Nodes a builder takes from the shared storage at a time.
constexpr uint32_t nodeChunk = 16;

// Four floats side by side; the build keeps a box's three lower or upper bounds in lanes 0 to 2.
using Float4 = float __attribute__((vector_size(16)));
using Int4 = int32_t __attribute__((vector_size(16)));

constexpr float infinity = std::numeric_limits<float>::infinity();

// The lowest and the highest of acc and x lane by lane; an x that is no number leaves acc.
Float4 lower(Float4 acc, Float4 x) { return x < acc ? x : acc; }
Float4 higher(Float4 acc, Float4 x) { return x > acc ? x : acc; }

struct Box {
    Float4 lo;
    Float4 hi;
};

constexpr Box emptyBox{{infinity, infinity, infinity, infinity},
                       {-infinity, -infinity, -infinity, -infinity}};

void enclose(Box& box, const Box& other) {
    box.lo = lower(box.lo, other.lo);
    box.hi = higher(box.hi, other.hi);
}

double area(const Box& box) {
    const Float4 size = box.hi - box.lo;
    const double dx = size[0], dy = size[1], dz = size[2];
    return dx * dy + dy * dz + dz * dx;
}

// The box of a primitive in lanes 0 to 2 (lane 3 holds one of its other bounds, which no decision
// reads): lo from its first 16 bytes, hi from the 16 bytes before the record.
Box boxOf(const QueryPrim& p) {
    static_assert(offsetof(QueryPrim, hi) == 12 && offsetof(QueryPrim, leaf) == 24);
    Float4 lo;
    Float4 hi;
    std::memcpy(&lo, p.lo, sizeof lo);
    std::memcpy(&hi, p.lo + 2, sizeof hi);
    return {lo, __builtin_shufflevector(hi, hi, 1, 2, 3, 0)};
}

// The bound (a number) rounded down (or up) to a float.
float floatBelow(double v) {
    const float f = static_cast<float>(v);
    return static_cast<double>(f) > v ? std::nextafter(f, -infinity) : f;
}
float floatAbove(double v) {
    const float f = static_cast<float>(v);
    return static_cast<double>(f) < v ? std::nextafter(f, infinity) : f;
}

// A run of primitives of the building array, the box around them and the bounds of their
// doubled centres (a centre that is no number, of a box infinite both ways, is passed over).
struct PrimRange {
    size_t first = 0;
    size_t last = 0;
    Box box = emptyBox;
    Box centres = emptyBox;

    size_t size() const { return last - first; }

    void add(const Box& b) {
        enclose(box, b);
        const Float4 c = b.lo + b.hi;
        centres.lo = lower(centres.lo, c);
        centres.hi = higher(centres.hi, c);
    }
};

PrimRange measure(const QueryPrim* prims, size_t first, size_t last) {
    PrimRange range{first, last};
    for (size_t k = first; k < last; ++k) range.add(boxOf(prims[k]));
    return range;
}

// Orders centres with the ones that are no number first, so that sorting stays well defined.
float sortKey(float c) { return std::isnan(c) ? -infinity : c; }

// The axis along which the centres spread widest (x before y before z on ties).
int widest(const Box& centres) {
    const Float4 spread = centres.hi - centres.lo;
    int axis = 0;
    for (int i = 1; i < 3; ++i) {
        if (spread[i] > spread[axis]) axis = i;
    }
    return axis;
}

// Equal bins of doubled centres along the three axes at once: bin b of axis i holds the centres
// from lo[i] + b / scale[i] on. A centre below the first bin or that is no number falls in the
// first, one above the last in the last.
struct BinGrid {
    Float4 lo;
    Float4 scale;
    Float4 last;  // the last bin's number

    Int4 binsOf(const Box& b) const {
        Float4 f = (b.lo + b.hi - lo) * scale;
        f = f > 0 ? f : Float4{};
        f = f < last ? f : last;
        return __builtin_convertvector(f, Int4);
    }
};

// A candidate split of a run between two of the grid's bins along one axis: the primitives of the
// bins below `bin` go first. bin 0 is no split at all.
struct BinSplit {
    int axis = 0;
    int bin = 0;
    double cost = std::numeric_limits<double>::infinity();
};

// The primitives of each bin along each axis: how many, and the box around them.
struct Bins {
    Box box[3][binCount];
    long count[3][binCount];

    explicit Bins(int used) {
        for (int a = 0; a < 3; ++a) {
            for (int b = 0; b < used; ++b) {
                box[a][b] = emptyBox;
                count[a][b] = 0;
            }
        }
    }
};

// Prices every split between the `used` bins of one axis; the cheapest beats `best` if cheaper.
void sweep(const Bins& bins, int axis, int used, BinSplit& best) {
    double leftCost[binCount];  // the split at k puts the bins below k first
    long leftCount[binCount];
    // An empty bin's box is the empty box: it changes neither the box nor the count, so the cost
    // of the bins so far stays what it was.
    Box box = emptyBox;
    long count = 0;
    double cost = 0;
    for (int b = 0; b < used - 1; ++b) {
        if (bins.count[axis][b] != 0) {
            enclose(box, bins.box[axis][b]);
            count += bins.count[axis][b];
            cost = area(box) * count;
        }
        leftCount[b + 1] = count;
        leftCost[b + 1] = cost;
    }
    box = emptyBox;
    count = 0;
    cost = 0;
    for (int b = used - 1; b > 0; --b) {
        if (bins.count[axis][b] != 0) {
            enclose(box, bins.box[axis][b]);
            count += bins.count[axis][b];
            cost = area(box) * count;
        }
        if (count == 0 || leftCount[b] == 0) continue;
        const double total = leftCost[b] + cost;
        if (total < best.cost) best = {axis, b, total};
    }
}

// The node storage of a tree under construction: builders take their nodes from it in chunks,
// so that several can build at once.
class NodeStore {
public:
    NodeStore(Region& storage, size_t capacity) : storage_(storage), capacity_(capacity) {}

    QueryNode* nodes() const { return storage_.as<QueryNode>(); }
    size_t used() const { return std::min(next_.load(), capacity_); }

    // The first of up to nodeChunk fresh nodes, and the end of the chunk.
    std::pair<uint32_t, uint32_t> chunk() {
        const size_t first = std::min(next_.fetch_add(nodeChunk, std::memory_order_relaxed), capacity_);
        const size_t end = std::min(first + nodeChunk, capacity_);
        storage_.populate(end * sizeof(QueryNode));
        return {static_cast<uint32_t>(first), static_cast<uint32_t>(end)};
    }

private:
    Region& storage_;
    const size_t capacity_;
    std::atomic<size_t> next_{0};
};

// Lane k of node takes the primitive's box as queryPrim gave it and refers to its leaf
// (invariant 2).
void leafLaneOf(QueryNode& node, int k, const QueryPrim& prim) {
    for (int i = 0; i < 3; ++i) {
        node.boundMin[i][k] = prim.lo[i];
        node.boundMax[i][k] = prim.hi[i];
    }
    node.ref[k] = leafLane(prim.leaf);
}

// A subtree left for a task: its run, its depth and the lane that will refer to it.
struct Subtree {
    PrimRange range;
    int depth;
    LaneRef* lane;
};

class Builder {
public:
    // With `handOff`, runs of handOffFrom to handOffUpTo primitives are not built but left there.
    Builder(QueryPrim* prims, NodeStore& store, std::vector<Subtree>* handOff = nullptr,
            size_t handOffFrom = 0, size_t handOffUpTo = 0)
        : prims_(prims),
          store_(store),
          handOff_(handOff),
          handOffUpTo_(handOffUpTo),
          handOffFrom_(handOffFrom) {}

    // The lane of a new node over a run of at least two primitives, with everything below it.
    LaneRef build(const PrimRange& range, int depth) {
        const uint32_t index = allocate();
        QueryNode& made = store_.nodes()[index];
        PrimRange parts[4];
        int count = 0;
        if (range.size() <= 4) {
            for (size_t k = range.first; k < range.last; ++k) parts[count++] = {k, k + 1};
        } else {
            // Each half is split again, to fill the four lanes, unless it holds three or four
            // primitives: it then makes one node of as many lanes (split, it would make one or two).
            for (const PrimRange& half : split(range, depth)) {
                if (half.size() == 2 || half.size() > 4) {
                    const auto [a, b] = split(half, depth);
                    parts[count++] = a;
                    parts[count++] = b;
                } else {
                    parts[count++] = half;
                }
            }
        }
        for (int k = 0; k < count; ++k) {
            const PrimRange& part = parts[k];
            if (part.size() == 1) {
                leafLaneOf(made, k, prims_[part.first]);
                continue;
            }
            for (int i = 0; i < 3; ++i) {
                made.boundMin[i][k] = part.box.lo[i];
                made.boundMax[i][k] = part.box.hi[i];
            }
            if (handOff_ && part.size() <= handOffUpTo_ && part.size() >= handOffFrom_) {
                handOff_->push_back({part, depth + 1, &made.ref[k]});
            } else {
                made.ref[k] = build(part, depth + 1);
            }
        }
        return nodeLane(index);
    }

private:
    // A fresh node: the next of the builder's chunk, or the first of a new chunk from the store.
    uint32_t allocate() {
        if (next_ == end_) {
            std::tie(next_, end_) = store_.chunk();
            if (next_ == end_) throw std::bad_alloc();  // cannot happen: the storage holds every node
        }
        return next_++;
    }

    // Splits a run of two primitives or more into two non-empty runs.
    std::array<PrimRange, 2> split(const PrimRange& range, int depth) {
        if (depth < sahDepth) {
            const int used = static_cast<int>(std::clamp<size_t>(range.size(), 4, binCount));
            const Float4 spread = range.centres.hi - range.centres.lo;
            const float bins = static_cast<float>(used);
            const BinGrid grid{range.centres.lo, spread > 0 ? bins / spread : Float4{},
                               Float4{} + (bins - 1)};
            const BinSplit best = range.size() > allAxesUpTo ? cheapestSplit<true>(range, grid, used)
                                                             : cheapestSplit<false>(range, grid, used);
            if (best.bin > 0) {
                return partition(range, [&](const Box& b) { return grid.binsOf(b)[best.axis] < best.bin; });
            }
        }
        const int axis = widest(range.centres);
        const size_t mid = range.first + range.size() / 2;
        std::nth_element(prims_ + range.first, prims_ + mid, prims_ + range.last,
                         [axis](const QueryPrim& a, const QueryPrim& b) {
                             return sortKey(a.lo[axis] + a.hi[axis]) < sortKey(b.lo[axis] + b.hi[axis]);
                         });
        return {measure(prims_, range.first, mid), measure(prims_, mid, range.last)};
    }

    // Moves the primitives for which first(box) holds to the front, measuring both sides as it goes.
    template <class First>
    std::array<PrimRange, 2> partition(const PrimRange& range, First first) {
        std::array<PrimRange, 2> halves;
        size_t mid = range.first;
        for (size_t p = range.first; p < range.last; ++p) {
            const Box b = boxOf(prims_[p]);
            if (first(b)) {
                std::swap(prims_[p], prims_[mid++]);
                halves[0].add(b);
            } else {
                halves[1].add(b);
            }
        }
        halves[0].first = range.first;
        halves[0].last = halves[1].first = mid;
        halves[1].last = range.last;
        return halves;
    }

    // The split of least cost by the surface area heuristic along the axis of widest spread
    // (widestOnly) or along every axis where the centres spread, the primitives binned in one pass.
    template <bool widestOnly>
    BinSplit cheapestSplit(const PrimRange& range, const BinGrid& grid, int used) const {
        Bins bins(used);
        const int only = widest(range.centres);
        for (size_t p = range.first; p < range.last; ++p) {
            const Box b = boxOf(prims_[p]);
            const Int4 bin = grid.binsOf(b);
            for (int a = widestOnly ? only : 0; a < (widestOnly ? only + 1 : 3); ++a) {
                enclose(bins.box[a][bin[a]], b);
                ++bins.count[a][bin[a]];
            }
        }
        BinSplit best;
        for (int a = widestOnly ? only : 0; a < (widestOnly ? only + 1 : 3); ++a) {
            if (!(grid.scale[a] > 0) || std::isinf(grid.scale[a])) continue;
            sweep(bins, a, used, best);
        }
        return best;
    }

    QueryPrim* const prims_;
    NodeStore& store_;
    std::vector<Subtree>* const handOff_;
    const size_t handOffUpTo_;
    const size_t handOffFrom_;
    uint32_t next_ = 0;
    uint32_t end_ = 0;
};

// Each leaf takes its record's compact shape (invariant 2), in the order the leaves lie in (the
// scene's list, whose records lie near one another), a stretch per task.
void fillShapes(QueryLeaf* leaves, size_t count, int threads) {
    constexpr size_t stretch = 8192;
    runTasks(threads, (count + stretch - 1) / stretch, [&](size_t task) {
        const size_t end = std::min(count, (task + 1) * stretch);
        for (size_t k = task * stretch; k < end; ++k) {
            const ShapeForm form = shapeForm(leaves[k].record);
            leaves[k].test = form.test;
            form.copy(leaves[k].record, leaves[k].shape);
        }
    });
}

std::atomic<uint64_t> treesBuilt{0};

}  // namespace

QueryPrim queryPrim(const Object* obj) {
    QueryPrim p{};
    for (int i = 0; i < 3; ++i) {
        const double a = obj->boundMin[i];
        const double b = obj->boundMax[i];
        const bool unknown = std::isnan(a) || std::isnan(b);
        p.lo[i] = unknown ? -infinity : floatBelow(std::min(a, b));
        p.hi[i] = unknown ? infinity : floatAbove(std::max(a, b));
    }
    return p;
}

QueryTree* buildQueryTree(QueryPrim* prims, size_t count, Region leaves, int threads) {
    if (count == 0 || count > size_t{1} << 31) return nullptr;
    try {
        auto tree = std::make_unique<QueryTree>();
        const bool parallel = threads > 1 && count >= parallelFrom;
        // A tree of n primitives has at most n - 1 nodes; every builder may leave part of its last
        // chunk unused.
        std::vector<Subtree> subtrees;
        const size_t handOffUpTo = parallel ? count / (8 * static_cast<size_t>(threads)) : 0;
        const size_t handOffFrom = std::max<size_t>(2, handOffUpTo / 16);
        const size_t builders = parallel ? 2 + count / handOffFrom : 1;
        const size_t capacity = std::max<size_t>(count - 1, 1) + builders * nodeChunk;
        tree->storage = Region(capacity * sizeof(QueryNode));
        tree->leaves = std::move(leaves);
        if (!tree->storage) return nullptr;
        NodeStore store(tree->storage, capacity);

        if (count == 1) {  // a root of one lane
            leafLaneOf(store.nodes()[store.chunk().first], 0, prims[0]);
        } else {
            Builder(prims, store, parallel ? &subtrees : nullptr, handOffFrom, handOffUpTo)
                .build(measure(prims, 0, count), 0);
        }
        // The largest subtrees first, so that the threads finish together.
        std::sort(subtrees.begin(), subtrees.end(),
                  [](const Subtree& a, const Subtree& b) { return a.range.size() > b.range.size(); });
        runTasks(threads, subtrees.size(), [&](size_t k) {
            const Subtree& s = subtrees[k];
            *s.lane = Builder(prims, store).build(s.range, s.depth);
        });
        fillShapes(tree->leaves.as<QueryLeaf>(), count, parallel ? threads : 1);
        tree->nodeCount = store.used();
        tree->leafCount = count;
        tree->id = ++treesBuilt;
        return tree.release();
    } catch (const std::bad_alloc&) {
        return nullptr;
    }
}

void freeQueryTree(QueryTree* tree) { delete tree; }
