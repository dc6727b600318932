#include "objects/intersec.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "app/fatal.h"
#include "app/settings.h"

namespace {

// Each thread keeps its heap from one query to the next; it is sized from iPQSize and made
// again when that changes, and released when the thread ends.
class QueueBuffer {
public:
    QueueBuffer() = default;
    QueueBuffer(const QueueBuffer&) = delete;
    QueueBuffer& operator=(const QueueBuffer&) = delete;
    ~QueueBuffer() { std::free(entries_); }

    QueueEntry* entries() {
        if (!entries_ || capacity_ != iPQSize) resize();
        return entries_;
    }

private:
    void resize() {
        std::free(entries_);
        capacity_ = iPQSize;
        // A capacity below 2 leaves no room at all: the first insertion reports it.
        const size_t count = capacity_ > 1 ? static_cast<size_t>(capacity_) : 1;
        entries_ = static_cast<QueueEntry*>(std::malloc(count * sizeof(QueueEntry)));
        if (!entries_) {
            fflush(stdout);
            fprintf(stderr, "\n\n ORVEL is out of memory...\n");
            abortRun(1);
        }
    }

    QueueEntry* entries_ = nullptr;
    int capacity_ = 0;
};

thread_local QueueBuffer queueBuffer;

// Four doubles handled together; on machines without wide registers the compiler splits them.
using Lanes = double __attribute__((vector_size(32)));

// What the box tests of one ray share.
struct RaySlabs {
    double origin[3];
    double direction[3];
    bool parallel[3];  // a zero direction component: that axis rejects nothing
};

RaySlabs raySlabs(const Ray* ray) {
    RaySlabs slabs{{ray->origin.x, ray->origin.y, ray->origin.z},
                   {ray->direction.x, ray->direction.y, ray->direction.z},
                   {}};
    for (int i = 0; i < 3; ++i) slabs.parallel[i] = slabs.direction[i] == 0.0;
    return slabs;
}

// The slab test of checkAndEnqueue for the four lanes of a block at once, with the same
// operations in the same order, lane by lane: bit k of the result is set when the ray enters
// box k before maxDistance, and near[k] is its entry distance. (Stopping early at the first
// axis that rejects a box, as a lone test does, changes nothing: near only grows, far only
// shrinks.)
__attribute__((target_clones("avx2", "default")))
unsigned enterBlock(const ChildBlock& block, const RaySlabs& slabs, double maxDistance, double near[4]) {
    Lanes farL = {maxDistance, maxDistance, maxDistance, maxDistance};
    Lanes nearL = {-1e10, -1e10, -1e10, -1e10};
    for (int i = 0; i < 3; ++i) {
        if (slabs.parallel[i]) continue;
        const double o = slabs.origin[i];
        const double d = slabs.direction[i];
        Lanes lower;
        Lanes upper;
        std::memcpy(&lower, block.boundMin[i], sizeof lower);
        std::memcpy(&upper, block.boundMax[i], sizeof upper);
        const Lanes t1 = (lower - o) / d;
        const Lanes t2 = (upper - o) / d;
        const auto ordered = t1 < t2;
        const Lanes lo = ordered ? t1 : t2;
        const Lanes hi = ordered ? t2 : t1;
        farL = hi < farL ? hi : farL;
        nearL = lo > nearL ? lo : nearL;
    }
    const auto rejected = (nearL > farL) | (farL < 0.001);
    std::memcpy(near, &nearL, sizeof nearL);
    unsigned entered = 0;
    for (int k = 0; k < 4; ++k) entered |= rejected[k] ? 0u : 1u << k;
    return entered;
}

// The children of a node go into the heap in child order, each one the ray enters.
void enqueueChildren(const ChildList& list, const RaySlabs& slabs, double maxDistance, const Object* exclude,
                     QueueEntry* queue, int* size) {
    for (int base = 0; base < list.count; base += 4) {
        const ChildBlock& block = list.blocks[base / 4];
        double near[4];
        const unsigned entered = enterBlock(block, slabs, maxDistance, near);
        const int lanes = std::min(4, list.count - base);
        for (int k = 0; k < lanes; ++k) {
            if ((entered >> k & 1) && block.child[k] != exclude) {
                priorityQueueInsert(near[k], block.child[k], queue, size);
            }
        }
    }
}

// Walks the tree below top in order of box entry distance and hands each primitive whose box
// starts no farther than `best` to test(primitive), which may lower best; the walk ends when
// test returns true or every box left starts beyond best.
template <class Test>
void walk(Object* top, const Ray* ray, double maxDistance, const Object* exclude, const double& best, Test test) {
    QueueEntry* const queue = queueBuffer.entries();
    int size = 0;
    const RaySlabs slabs = raySlabs(ray);
    checkAndEnqueue(top, maxDistance, slabs.origin, slabs.direction, queue, &size);
    while (size != 0) {
        double key;
        Object* obj;
        priorityQueueDelete(&key, &obj, queue, &size);
        if (key > best) return;  // every box left starts beyond the nearest hit
        if (obj->kind == kindNode) {
            enqueueChildren(*obj->children, slabs, maxDistance, exclude, queue, &size);
        } else if (test(obj)) {
            return;
        }
    }
}

}  // namespace

void checkAndEnqueue(Object* obj, double maxDistance, const double origin[3], const double direction[3],
                     QueueEntry* queue, int* size) {
    double far = maxDistance;
    double near = -1e10;
    for (int i = 0; i < 3; ++i) {
        const double d = direction[i];
        if (d == 0.0) continue;  // parallel to this slab: it rejects nothing
        const double t1 = (obj->boundMin[i] - origin[i]) / d;
        const double t2 = (obj->boundMax[i] - origin[i]) / d;
        if (t1 < t2) {
            if (t2 < far) far = t2;
            if (t1 > near) near = t1;
        } else {
            if (t1 < far) far = t1;
            if (t2 > near) near = t2;
        }
        if (near > far || far < 0.001) return;
    }
    priorityQueueInsert(near, obj, queue, size);
}

int intersect(const Ray* ray, double maxDistance, Hit* hit, const Object* exclude) {
    Object* const top = myObjectList;
    if (!top) return 0;
    if (top->kind != kindNode) return top->intersectFn(top, ray, hit);

    double best = maxDistance;
    bool found = false;
    walk(top, ray, maxDistance, exclude, best, [&](const Object* obj) {
        Hit local;
        if (obj->intersectFn(obj, ray, &local) && local.distance < best) {
            *hit = local;
            best = local.distance;
            found = true;
        }
        return false;
    });
    return found ? 1 : 0;
}

int intersectAny(const Ray* ray, double maxDistance, const Object* exclude) {
    Object* const top = myObjectList;
    if (!top) return 0;
    Hit local;
    if (top->kind != kindNode) return top->intersectFn(top, ray, &local);

    // Until a first hit below maxDistance is found, `best` stays maxDistance in intersect too, so
    // both walks visit the same records up to that hit.
    const double best = maxDistance;
    bool found = false;
    walk(top, ray, maxDistance, exclude, best, [&](const Object* obj) {
        found = obj->intersectFn(obj, ray, &local) && local.distance < best;
        return found;
    });
    return found ? 1 : 0;
}
