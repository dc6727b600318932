#include "objects/hierarchy/intersec.h"

#include <cstdio>
#include <cstdlib>

#include "base/console.h"
#include "base/fatal.h"
#include "objects/hierarchy/query_tree.h"
#include "objects/hierarchy/slabs.h"

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
            consoleFlush();
            consoleError("\n\n ORVEL is out of memory...\n");
            abortRun(1);
        }
    }

    QueueEntry* entries_ = nullptr;
    int capacity_ = 0;
};

[[gnu::tls_model("initial-exec")]] thread_local QueueBuffer queueBuffer;  // read by every query

// The children of a node go into the heap in child order, each one the ray enters.
void enqueueChildren(const ChildList& list, const RaySlabs& slabs, double maxDistance, const Object* exclude,
                     QueueEntry* queue, int* size) {
    for (Object* child = list.first; child; child = child->next) {
        if (child != exclude) checkAndEnqueue(child, maxDistance, slabs.origin, slabs.direction, queue, size);
    }
}

// Walks the slab tree below top in order of box entry distance and hands each primitive whose
// box starts no farther than `best` to test(primitive), which may lower best; the walk ends when
// test returns true or every box left starts beyond best.
template <class Test>
void walk(Object* top, const Ray* ray, double maxDistance, const Object* exclude, const double& best,
          Test test) {
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

// The slab tree's own walks. The query tree answers nearly every query; these run when it cannot
// decide, or when there is none.
int slabIntersect(Object* top, const Ray* ray, double maxDistance, Hit* hit, const Object* exclude) {
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

int slabIntersectAny(Object* top, const Ray* ray, double maxDistance, const Object* exclude) {
    // Until a first hit below maxDistance is found, `best` stays maxDistance in the nearest-hit
    // walk too, so both walks visit the same records up to that hit.
    const double best = maxDistance;
    bool found = false;
    walk(top, ray, maxDistance, exclude, best, [&](const Object* obj) {
        Hit local;
        found = obj->intersectFn(obj, ray, &local) && local.distance < best;
        return found;
    });
    return found ? 1 : 0;
}

// The query tree of the scene, when it can stand in for the slab tree's walk: an object to skip
// that is a bounding node (its whole subtree skipped) is for the slab tree alone.
const QueryTree* queryTree(const Object* top, const Object* exclude) {
    if (exclude && exclude->kind == kindNode) return nullptr;
    return top->children->queryTree;
}

}  // namespace

void checkAndEnqueue(Object* obj, double maxDistance, const double origin[3], const double direction[3],
                     QueueEntry* queue, int* size) {
    double near;
    if (enterBox(obj->boundMin, obj->boundMax, origin, direction, maxDistance, &near)) {
        priorityQueueInsert(near, obj, queue, size);
    }
}

int intersect(const Ray* ray, double maxDistance, Hit* hit, const Object* exclude) {
    Object* const top = myObjectList;
    if (!top) return 0;
    if (top->kind != kindNode) return top->intersectFn(top, ray, hit);
    if (const QueryTree* tree = queryTree(top, exclude)) {
        switch (queryNearest(*tree, ray, maxDistance, hit, exclude)) {
            case QueryAnswer::miss: return 0;
            case QueryAnswer::hit: return 1;
            case QueryAnswer::undecided: break;
        }
    }
    return slabIntersect(top, ray, maxDistance, hit, exclude);
}

int intersectAny(const Ray* ray, double maxDistance, const Object* exclude) {
    Object* const top = myObjectList;
    if (!top) return 0;
    if (top->kind != kindNode) {
        Hit local;
        return top->intersectFn(top, ray, &local);
    }
    if (const QueryTree* tree = queryTree(top, exclude))
        return queryAny(*tree, ray, maxDistance, exclude) ? 1 : 0;
    return slabIntersectAny(top, ray, maxDistance, exclude);
}

void intersectPacket(const Ray* const rays[], int count, double maxDistance, Hit hits[], int found[]) {
    Object* const top = myObjectList;
    const QueryTree* tree = top && top->kind == kindNode ? queryTree(top, nullptr) : nullptr;
    QueryAnswer answers[packetSize];
    if (tree) queryNearestPacket(*tree, rays, count, maxDistance, nullptr, hits, answers);
    for (int r = 0; r < count; ++r) {
        if (!tree) {
            found[r] = intersect(rays[r], maxDistance, &hits[r], nullptr);
        } else if (answers[r] == QueryAnswer::undecided) {
            found[r] = slabIntersect(top, rays[r], maxDistance, &hits[r], nullptr);
        } else {
            found[r] = answers[r] == QueryAnswer::hit;
        }
    }
}
