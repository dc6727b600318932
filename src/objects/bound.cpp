#include "objects/bound.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <new>
#include <utility>
#include <vector>

#include "base/fatal.h"
#include "objects/bvh.h"

namespace {

long total = 0;     // records at the top level of the list while the tree is built
int Axis = 0;       // axis of the current split
double Median = 0;  // split value: the mean doubled centre along Axis

// The run ended before its count: the list and the counts disagree.
[[noreturn]] void shortRun(long stillExpected) {
    fflush(stdout);
    fprintf(stderr, "NULL top in FindAxis, count = %ld\n", stillExpected);
    abortRun(1);
}

[[noreturn]] void outOfMemory() {
    fflush(stdout);
    fprintf(stderr, "\n\n ORVEL is out of memory...\n");
    abortRun(1);
}

// One record of a run as the build sees it: its doubled centres (the hierarchy never halves
// them) next to the record, so that choosing and splitting never touch the records themselves.
// A run of entries stands in list order; each split rearranges its entries exactly as the
// records would be relinked.
struct Entry {
    double centre[3];
    Object* obj;
};

Entry entryOf(Object* obj) {
    return {{obj->boundMin[0] + obj->boundMax[0], obj->boundMin[1] + obj->boundMax[1],
             obj->boundMin[2] + obj->boundMax[2]},
            obj};
}

using Entries = std::unique_ptr<Entry[]>;

Entries allocateEntries(long n) {
    try {
        return std::make_unique_for_overwrite<Entry[]>(static_cast<size_t>(n));
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }
}

// What gathering a run found besides its entries.
struct Gathered {
    Object* after;  // the record that follows the run
    bool inScene;   // every record of the run is in the scene's storage, and so every node made of them
};

// The n records from first on, in list order.
Gathered gatherRun(Object* first, long n, Entry* run) {
    bool inScene = true;
    Object* obj = first;
    for (long k = 0; k < n; ++k, obj = obj->next) {
        if (!obj) shortRun(n - k - 1);
        run[k] = entryOf(obj);
        inScene = inScene && obj->storage == storageScene;
    }
    return {obj, inScene};
}

// Axis: the widest spread of doubled centres, x before y before z on ties; Median: their mean
// along it, summed in list order.
void chooseAxis(const Entry* run, long count) {
    double lo[3] = {1e10, 1e10, 1e10};
    double hi[3] = {-1e10, -1e10, -1e10};
    double sum[3] = {0, 0, 0};
    for (long k = 0; k < count; ++k) {
        for (int i = 0; i < 3; ++i) {
            const double v = run[k].centre[i];
            if (v < lo[i]) lo[i] = v;
            if (v > hi[i]) hi[i] = v;
            sum[i] += v;
        }
    }

    Axis = 0;
    double widest = -1e10;
    for (int i = 0; i < 3; ++i) {
        if (hi[i] - lo[i] > widest) {
            widest = hi[i] - lo[i];
            Axis = i;
        }
    }
    Median = sum[Axis] / count;
}

// Splits a run of n entries at Median along Axis into the high part followed by the low part,
// each in the order that pushing its records at the front gives (the reverse of the run's). A
// part left empty takes floor(n / 2) records, one at a time, from the front of the other.
// Returns the size of the high part.
long splitRun(Entry* run, long n, Entry* scratch) {
    const int axis = Axis;
    const double median = Median;
    long lowCount = 0;
    for (long k = 0; k < n; ++k) lowCount += median > run[k].centre[axis] ? 1 : 0;
    const long moved = n / 2;

    if (lowCount == 0) {  // high: the first n - moved reversed; low: the last moved as they stand
        std::reverse(run, run + (n - moved));
        return n - moved;
    }
    if (lowCount == n) {  // high: the last moved as they stand; low: the first n - moved reversed
        std::reverse(run, run + (n - moved));
        std::rotate(run, run + (n - moved), run + n);
        return moved;
    }
    const long highCount = n - lowCount;
    long high = highCount;  // the first high record lands last in its part
    long low = n;
    for (long k = 0; k < n; ++k) {
        if (median > run[k].centre[axis]) {
            scratch[--low] = run[k];
        } else {
            scratch[--high] = run[k];
        }
    }
    std::copy(scratch, scratch + n, run);
    return highCount;
}

// Makes the node of a run of 2 to bunching entries: its children in run order, its extents
// exactly theirs. The node goes in the scene's storage when all its children are there (known
// beforehand when the whole level is).
Object* groupRun(const Entry* run, long n, bool levelInScene) {
    const bool inScene = levelInScene || std::all_of(run, run + n, [](const Entry& e) {
                             return e.obj->storage == storageScene;
                         });
    Object* node = inScene ? allocateSceneObject() : allocateObject();
    if (!node) outOfMemory();
    for (long k = 0; k + 1 < n; ++k) run[k].obj->next = run[k + 1].obj;
    Object* const first = run[0].obj;
    run[n - 1].obj->next = nullptr;
    const auto count = static_cast<int32_t>(n);
    ChildList* group = inScene ? makeSceneChildList(first, count) : makeChildList(first, count);
    if (!group) {
        if (!inScene) std::free(node);
        outOfMemory();
    }

    node->kind = kindNode;
    total = total - n + 1;
    for (int i = 0; i < 3; ++i) {
        node->boundMin[i] = 1e10;
        node->boundMax[i] = -1e10;
    }
    for (const Object* child = first; child; child = child->next) {
        for (int i = 0; i < 3; ++i) {
            if (child->boundMin[i] < node->boundMin[i]) node->boundMin[i] = child->boundMin[i];
            if (child->boundMax[i] > node->boundMax[i]) node->boundMax[i] = child->boundMax[i];
        }
    }
    node->children = group;
    ++nPrims;
    return node;
}

// The record a run of 1 to bunching entries leaves at its level: a new node, or the record alone.
Object* settleRun(const Entry* run, long n, bool levelInScene) {
    return n == 1 ? run[0].obj : groupRun(run, n, levelInScene);
}

// Asks for the parts of a run's records that settling it reads and writes, ahead of time.
void prefetchRun(const Entry* run, long n) {
    for (long k = 0; k < n; ++k) {
        const Object* obj = run[k].obj;
        __builtin_prefetch(obj, 1);
        __builtin_prefetch(&obj->boundMin[0]);
        __builtin_prefetch(&obj->boundMax[2]);
    }
}

// One pass over a run of n > bunching entries: splits it at the mean and the parts again (the
// low part, which follows the high part, first) until every run is short enough to settle,
// then settles those runs in the same order, from the end of the level backwards (the splits
// touch the entries only, so the records of the runs to settle next can be fetched ahead).
// The settled records are linked in run order in front of the record after the run; the list
// is returned. When nextLevel is given, it receives their entries, in order, at its end (it may
// be the run itself: a settled run is read before its slot is written).
Object* splitPass(Entry* run, long n, Entry* scratch, Gathered gathered, Entry* nextLevel) {
    struct Range {
        long start;
        long count;
    };
    std::vector<Range> pending;
    std::vector<Range> settling;
    try {
        pending.push_back({0, n});
        while (!pending.empty()) {
            const Range range = pending.back();
            pending.pop_back();
            Entry* part = run + range.start;
            if (range.count <= bunching) {
                settling.push_back(range);
                continue;
            }
            chooseAxis(part, range.count);
            const long highCount = splitRun(part, range.count, scratch);
            pending.push_back({range.start, highCount});
            pending.push_back({range.start + highCount, range.count - highCount});
        }
    } catch (const std::bad_alloc&) {
        outOfMemory();
    }

    constexpr size_t fetchAhead = 8;
    Object* head = gathered.after;
    long written = n;
    for (size_t k = 0; k < settling.size(); ++k) {
        if (k + fetchAhead < settling.size()) {
            prefetchRun(run + settling[k + fetchAhead].start, settling[k + fetchAhead].count);
        }
        Object* settled = settleRun(run + settling[k].start, settling[k].count, gathered.inScene);
        settled->next = head;
        head = settled;
        if (nextLevel) nextLevel[--written] = entryOf(settled);
    }
    return head;
}

}  // namespace

long boundingTotal() { return total; }

namespace {

// The passes over the whole list, each level of entries carried over to the next; returns the
// top node (total > 1). The entries are gone by the time it returns.
Object* buildSlabTree() {
    Entries level = allocateEntries(total);
    const Gathered gathered = gatherRun(myObjectList, total, level.get());
    Entry* first = level.get();
    if (total > bunching) {
        Entries scratch = allocateEntries(total);
        long count = total;
        while (count > bunching) {
            myObjectList = splitPass(first, count, scratch.get(), gathered, first);
            first += count - total;  // the next level sits at the end of the one just split
            count = total;
        }
    }
    Object* const top = groupRun(first, total, gathered.inScene);
    top->next = gathered.after;
    myObjectList = top;
    return top;
}

}  // namespace

void buildBoundingSlabs() {
    total = nPrims;
    if (total <= 1) return;
    // The query tree is made from the flat list, whose records lie one after the other.
    std::unique_ptr<QueryTree, void (*)(QueryTree*)> queryTree(buildQueryTree(myObjectList), freeQueryTree);
    Object* const top = buildSlabTree();
    top->children->queryTree = queryTree.release();
}

int sortAndSplit(Object** slot, long n) {
    if (n <= 1) return 0;
    Entries run = allocateEntries(n);
    const Gathered gathered = gatherRun(*slot, n, run.get());
    if (n <= bunching) {
        *slot = groupRun(run.get(), n, gathered.inScene);
        (*slot)->next = gathered.after;
        return 0;
    }
    Entries scratch = allocateEntries(n);
    *slot = splitPass(run.get(), n, scratch.get(), gathered, nullptr);
    return 1;
}

void findAxis(Object* top, long count) {
    Entries run = allocateEntries(count);
    gatherRun(top, count, run.get());
    chooseAxis(run.get(), count);
}
