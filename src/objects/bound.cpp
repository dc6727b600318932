#include "objects/bound.h"

#include <cstdio>
#include <cstdlib>

#include "app/fatal.h"
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

// The doubled centre of a record along an axis: the hierarchy never halves it.
double doubledCentre(const Object* obj, int axis) { return obj->boundMin[axis] + obj->boundMax[axis]; }

// The n-th record of the run starting at first (n >= 1), its last.
Object* runEnd(Object* first, long n) {
    Object* obj = first;
    for (long k = 0;; ++k, obj = obj->next) {
        if (!obj) shortRun(n - k - 1);
        if (k == n - 1) return obj;
    }
}

// Turns the run of n (2 to bunching) records at *slot into one node taking its place.
void groupRun(Object** slot, long n) {
    Object* first = *slot;
    Object* last = runEnd(first, n);
    Object* node = allocateObject();
    if (!node) outOfMemory();
    Object* const after = last->next;
    last->next = nullptr;
    ChildList* group = makeChildList(first, static_cast<int32_t>(n));
    if (!group) {
        last->next = after;
        std::free(node);
        outOfMemory();
    }

    node->kind = kindNode;
    total = total - n + 1;
    *slot = node;
    node->next = after;

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
}

// A list built by pushing at the front: head is its first record, last the first one pushed.
struct Part {
    Object* head = nullptr;
    Object* last = nullptr;
    long count = 0;

    void push(Object* obj) {
        obj->next = head;
        head = obj;
        if (!last) last = obj;
        ++count;
    }
    Object* pop() {
        Object* obj = head;
        head = obj->next;
        --count;
        return obj;
    }
};

// Moves n records one by one from the front of one part to the front of the other.
void moveFront(Part& from, Part& to, long n) {
    for (long k = 0; k < n; ++k) to.push(from.pop());
}

}  // namespace

long boundingTotal() { return total; }

void buildBoundingSlabs() {
    total = nPrims;
    while (sortAndSplit(&myObjectList, total)) {
    }
    if (myObjectList && myObjectList->kind == kindNode) {
        myObjectList->children->queryTree = buildQueryTree(myObjectList);
    }
}

int sortAndSplit(Object** slot, long n) {
    if (n <= 1) return 0;
    if (n <= bunching) {
        groupRun(slot, n);
        return 0;
    }

    findAxis(*slot, n);
    Part low;
    Part high;
    Object* obj = *slot;
    for (long k = 0; k < n; ++k) {
        Object* next = obj->next;
        if (Median > doubledCentre(obj, Axis)) {
            low.push(obj);
        } else {
            high.push(obj);
        }
        obj = next;
    }
    Object* const after = obj;  // the record that followed the run

    // Equal centres leave one part empty: the other gives up half of its records.
    if (low.count == 0) {
        moveFront(high, low, n / 2);
    } else if (high.count == 0) {
        moveFront(low, high, n / 2);
    }

    *slot = high.head;
    high.last->next = low.head;
    low.last->next = after;

    sortAndSplit(&high.last->next, low.count);
    sortAndSplit(slot, high.count);
    return 1;
}

void findAxis(Object* top, long count) {
    double lo[3] = {1e10, 1e10, 1e10};
    double hi[3] = {-1e10, -1e10, -1e10};
    double sum[3] = {0, 0, 0};
    const Object* obj = top;
    for (long k = 0; k < count; ++k, obj = obj->next) {
        if (!obj) shortRun(count - k - 1);
        for (int i = 0; i < 3; ++i) {
            const double v = doubledCentre(obj, i);
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
