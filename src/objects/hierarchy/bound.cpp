#include "objects/hierarchy/bound.h"

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <new>
#include <utility>
#include <vector>

#include "base/checked.h"
#include "base/console.h"
#include "base/fatal.h"
#include "base/region.h"
#include "base/tasks.h"
#include "objects/hierarchy/query_tree.h"

Vector Slab[3]{};
int bunching = 0;

namespace {

// The list ended before its count: the list and the counts disagree.
[[noreturn]] void shortRun(long stillExpected) {
    consoleFlush();
    consoleError("NULL top in FindAxis, count = %ld\n", stillExpected);
    abortRun(1);
}

[[noreturn]] void outOfMemory() {
    consoleFlush();
    consoleError("\n\n ORVEL is out of memory...\n");
    abortRun(1);
}

// Runs smaller than this are split and settled by the calling thread alone.
constexpr long parallelFrom = 16384;
// More threads than bands would not help.
constexpr int maxBuildThreads = 8;
// Pieces settled by one task.
constexpr size_t settleChunk = 4096;

// The lowest, highest and summed doubled centres of a run along each axis. The sum runs in run
// order (the split value depends on the order of the additions), starting from 0; lo and hi start
// from 1e10 and -1e10 and move only for a strictly lower or higher centre.
struct CentreSpread {
    double lo[3] = {1e10, 1e10, 1e10};
    double hi[3] = {-1e10, -1e10, -1e10};
    double sum[3] = {0, 0, 0};

    void add(const double centre[3]) {
        for (int i = 0; i < 3; ++i) {
            const double v = centre[i];
            if (v < lo[i]) lo[i] = v;
            if (v > hi[i]) hi[i] = v;
            sum[i] += v;
        }
    }

    // The widest spread wins, x before y before z on ties (a later axis needs a strictly wider
    // one, the comparison starting from -1e10); the mean of the centres along it splits.
    SlabSplit split(long count) const {
        SlabSplit s{0, 0.0};
        double widest = -1e10;
        for (int i = 0; i < 3; ++i) {
            if (hi[i] - lo[i] > widest) {
                widest = hi[i] - lo[i];
                s.axis = i;
            }
        }
        s.median = sum[s.axis] / count;
        return s;
    }
};

SlabEntry entryOf(Object* obj) {
    return {{obj->boundMin[0] + obj->boundMax[0], obj->boundMin[1] + obj->boundMax[1],
             obj->boundMin[2] + obj->boundMax[2]},
            obj};
}

// Moves the n entries of a stretch from `from` into `to` (the same places in the other array) in
// the order of its split, and measures both parts on the way: the high part's split in *high,
// the low part's in *low. Returns the size of the high part.
long splitOnce(const SlabEntry* from, SlabEntry* to, long n, SlabSplit split, SlabSplit* high,
               SlabSplit* low) {
    const int axis = split.axis;
    const double median = split.median;
    long lowCount = 0;
    for (long k = 0; k < n; ++k) lowCount += median > from[k].centre[axis] ? 1 : 0;

    if (lowCount == 0 || lowCount == n) {
        // One part took everything; the other takes floor(n / 2) entries from its front, one at a
        // time, so that they keep the order they had in the stretch.
        const long moved = n / 2;
        const long kept = n - moved;
        std::reverse_copy(from, from + kept, lowCount == 0 ? to : to + moved);
        std::copy(from + kept, from + n, lowCount == 0 ? to + kept : to);
        const long highCount = lowCount == 0 ? kept : moved;
        *high = findAxis(to, highCount);
        *low = findAxis(to + highCount, n - highCount);
        return highCount;
    }

    // Each part lists its entries in the reverse of their order in the stretch: walking the stretch
    // backwards meets them in the parts' own order, the order their sums must take.
    const long highCount = n - lowCount;
    CentreSpread highSpread;
    CentreSpread lowSpread;
    SlabEntry* highOut = to;
    SlabEntry* lowOut = to + highCount;
    for (long k = n - 1; k >= 0; --k) {
        const SlabEntry& e = from[k];
        if (median > e.centre[axis]) {
            *lowOut++ = e;
            lowSpread.add(e.centre);
        } else {
            *highOut++ = e;
            highSpread.add(e.centre);
        }
    }
    *high = highSpread.split(highCount);
    *low = lowSpread.split(lowCount);
    return highCount;
}

}  // namespace

SlabSplit findAxis(const SlabEntry* run, long count) {
    CentreSpread spread;
    for (long k = 0; k < count; ++k) spread.add(run[k].centre);
    return spread.split(count);
}

void sortAndSplit(SlabEntry* const sides[2], const SlabPiece& run, long keep,
                  std::vector<SlabPiece>& pieces) {
    std::vector<SlabPiece> pending{run};  // the high part on top: the pieces come in run order
    while (!pending.empty()) {
        const SlabPiece piece = pending.back();
        pending.pop_back();
        if (piece.count <= keep) {
            pieces.push_back(piece);
            continue;
        }
        const int to = 1 - piece.side;
        SlabSplit high{};
        SlabSplit low{};
        const long highCount = splitOnce(sides[piece.side] + piece.start, sides[to] + piece.start,
                                         piece.count, piece.split, &high, &low);
        pending.push_back({piece.start + highCount, piece.count - highCount, to, low});
        pending.push_back({piece.start, highCount, to, high});
    }
}

namespace {

// An array of count entries, all of which the build fills.
template <class T>
Region regionOf(size_t count) {
    Region region(count * sizeof(T));
    if (!region) outOfMemory();
    region.populate(region.size());
    return region;
}

// The pieces of one pass over a level of count entries: the whole level split until every piece
// holds at most `bunching` entries. The top splits run in the calling thread; the stretches they
// leave, once small enough, are split further by the tasks.
std::vector<SlabPiece> splitLevel(SlabEntry* const sides[2], long count, SlabSplit split, int threads) {
    // A piece holds at least one entry: room for count of them is room enough (and what a level
    // leaves unused is never touched).
    std::vector<SlabPiece> top;
    const bool parallel = threads > 1 && count >= parallelFrom;
    const long keep = parallel ? std::max<long>(bunching, count / (8L * threads)) : bunching;
    top.reserve(static_cast<size_t>(parallel ? count / keep + 1 : count));
    sortAndSplit(sides, {0, count, 0, split}, keep, top);
    if (!parallel) return top;

    std::vector<size_t> unsplit;  // the pieces of the top splits still too long
    for (size_t k = 0; k < top.size(); ++k) {
        if (top[k].count > bunching) unsplit.push_back(k);
    }
    std::vector<std::vector<SlabPiece>> parts(unsplit.size());
    runTasks(threads, unsplit.size(), [&](size_t k) {
        parts[k].reserve(static_cast<size_t>(top[unsplit[k]].count));
        sortAndSplit(sides, top[unsplit[k]], bunching, parts[k]);
    });

    std::vector<SlabPiece> pieces;
    size_t total = top.size();
    for (const std::vector<SlabPiece>& part : parts) total += part.size();
    pieces.reserve(total);
    size_t next = 0;
    for (size_t k = 0; k < top.size(); ++k) {
        if (next < unsplit.size() && unsplit[next] == k) {
            pieces.insert(pieces.end(), parts[next].begin(), parts[next].end());
            ++next;
        } else {
            pieces.push_back(top[k]);
        }
    }
    return pieces;
}

// A node over the n entries of a piece (2 to bunching): its children in piece order, its extents
// exactly theirs.
void groupPiece(Object* node, const SlabEntry* piece, long n) {
    node->kind = kindNode;
    node->children = &node->childList;
    node->childList.count = static_cast<int32_t>(n);
    node->childList.first = piece[0].obj;
    for (long k = 0; k + 1 < n; ++k) piece[k].obj->next = piece[k + 1].obj;
    piece[n - 1].obj->next = nullptr;
    for (int i = 0; i < 3; ++i) {
        node->boundMin[i] = 1e10;
        node->boundMax[i] = -1e10;
    }
    for (long k = 0; k < n; ++k) {
        const Object* child = piece[k].obj;
        for (int i = 0; i < 3; ++i) {
            if (child->boundMin[i] < node->boundMin[i]) node->boundMin[i] = child->boundMin[i];
            if (child->boundMax[i] > node->boundMax[i]) node->boundMax[i] = child->boundMax[i];
        }
    }
}

// Asks for the parts of a piece's records that settling it reads and writes, ahead of time.
void prefetchPiece(const SlabEntry* piece, long n) {
    for (long k = 0; k < n; ++k) {
        const Object* obj = piece[k].obj;
        __builtin_prefetch(obj, 1);
        __builtin_prefetch(&obj->boundMin[0]);
        __builtin_prefetch(&obj->boundMax[2]);
    }
}

// Settles the pieces of a pass: a node (in nodes, in piece order) for every piece of two or more
// entries, the entry's own record for the others; their entries go to next in piece order. (Their
// own links are left alone: the next pass, or the top node, chains every one of them.)
void settleLevel(SlabEntry* const sides[2], const std::vector<SlabPiece>& pieces, Object* nodes,
                 SlabEntry* next, int threads) {
    auto entries = [&](size_t j) { return sides[pieces[j].side] + pieces[j].start; };
    const size_t chunks = (pieces.size() + settleChunk - 1) / settleChunk;
    std::vector<size_t> firstSlot;  // the node of each chunk's first piece that makes one
    firstSlot.reserve(chunks);
    size_t slot = 0;
    for (size_t j = 0; j < pieces.size(); ++j) {
        if (j % settleChunk == 0) firstSlot.push_back(slot);
        slot += pieces[j].count > 1 ? 1 : 0;
    }

    constexpr size_t fetchAhead = 8;
    runTasks(threads, chunks, [&](size_t c) {
        const size_t begin = c * settleChunk;
        const size_t end = std::min(pieces.size(), begin + settleChunk);
        size_t slot = firstSlot[c];
        for (size_t j = begin; j < end; ++j) {
            if (j + fetchAhead < end) prefetchPiece(entries(j + fetchAhead), pieces[j + fetchAhead].count);
            Object* settled = entries(j)[0].obj;
            if (pieces[j].count > 1) {
                settled = nodes + slot++;
                groupPiece(settled, entries(j), pieces[j].count);
            }
            next[j] = entryOf(settled);
        }
    });
}

// The primitives are made one after the other in the scene's storage and pushed at the front of
// the list, so the list mostly runs backwards through memory: asks for the record a few places
// further on before it is needed. (Only a guess: where it is wrong, nothing is lost.)
void prefetchListAhead(const Object* obj) {
    constexpr std::uintptr_t distance = 8 * sizeof(Object);
    const auto address = reinterpret_cast<std::uintptr_t>(obj);
    if (address < distance) return;
    const auto* ahead = reinterpret_cast<const Object*>(address - distance);
    __builtin_prefetch(ahead);
    __builtin_prefetch(&ahead->boundMin[0]);
    __builtin_prefetch(&ahead->boundMax[2]);
}

// What the walk along the list gathers before the passes: the level of entries in list order and
// its split, the primitives for the query tree, and the record after the last one counted.
struct Gathered {
    Region level;
    SlabSplit split;
    Region prims;   // QueryPrims; empty when memory is short: the slab tree then answers alone
    Region leaves;  // their QueryLeafs, in list order (read beside the records' extents)
    Object* after;
};

Gathered gather(Object* first, long n) {
    const auto count = static_cast<size_t>(n);
    Gathered g{regionOf<SlabEntry>(count),
               {},
               Region(count * sizeof(QueryPrim)),
               Region(count * sizeof(QueryLeaf)),
               nullptr};
    if (!g.leaves) g.prims = Region();
    g.prims.populate(g.prims.size());
    SlabEntry* level = g.level.as<SlabEntry>();
    QueryPrim* prims = g.prims.as<QueryPrim>();
    QueryLeaf* leaves = g.leaves.as<QueryLeaf>();
    CentreSpread spread;
    Object* obj = first;
    for (long k = 0; k < n; ++k, obj = obj->next) {
        if (!obj) shortRun(n - k - 1);
        prefetchListAhead(obj);
        level[k] = entryOf(obj);
        spread.add(level[k].centre);
        if (prims) {
            if (k % 1024 == 0) g.leaves.populate((static_cast<size_t>(k) + 1024) * sizeof(QueryLeaf));
            prims[k] = queryPrim(obj);
            leaves[k].record = obj;
            prims[k].leaf = &leaves[k];
        }
    }
    g.split = spread.split(n);
    g.after = obj;
    return g;
}

// The passes over the level, each level of entries made from the records of the one before;
// returns the top node. Each level is released once the next is made.
Object* buildSlabTree(Gathered& gathered, long total, int threads) {
    Region level = std::move(gathered.level);
    SlabSplit split = gathered.split;
    Region scratch;
    if (total > bunching) scratch = regionOf<SlabEntry>(total);
    while (total > bunching) {
        SlabEntry* const sides[2] = {level.as<SlabEntry>(), scratch.as<SlabEntry>()};
        const std::vector<SlabPiece> pieces = splitLevel(sides, total, split, threads);
        const auto nodeCount =
            std::count_if(pieces.begin(), pieces.end(), [](const SlabPiece& p) { return p.count > 1; });
        Object* const nodes = allocateObjects(static_cast<size_t>(nodeCount));
        if (!nodes) outOfMemory();
        Region next = regionOf<SlabEntry>(pieces.size());
        settleLevel(sides, pieces, nodes, next.as<SlabEntry>(), threads);
        nPrims += static_cast<long>(nodeCount);
        total = static_cast<long>(pieces.size());
        level = std::move(next);
        split = findAxis(level.as<SlabEntry>(), total);
    }
    Object* const top = allocateObject();
    if (!top) outOfMemory();
    groupPiece(top, level.as<SlabEntry>(), total);
    top->next = gathered.after;
    myObjectList = top;
    ++nPrims;
    return top;
}

}  // namespace

void buildBoundingSlabs() {
    const long total = nPrims;
    if (total <= 1) return;
    const int threads = std::clamp(buildThreads, 1, maxBuildThreads);
    try {
        Gathered gathered = gather(myObjectList, total);
        Object* const top = buildSlabTree(gathered, total, threads);
        if (gathered.prims) {
            QueryTree* const tree = buildQueryTree(gathered.prims.as<QueryPrim>(), static_cast<size_t>(total),
                                                   std::move(gathered.leaves), threads);
            gathered.prims = Region();
            top->children->queryTree = tree;
            if (checkedBuild && tree) {
                const char* broken = brokenInvariant(*tree, top);
                expectInvariant(!broken, broken ? broken : "");
            }
        }
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }
}

void freeBoundingSlabs() {
    if (myObjectList && myObjectList->kind == kindNode) {
        freeQueryTree(myObjectList->children->queryTree);
        myObjectList->children->queryTree = nullptr;
    }
    freeList(&myObjectList);
}
