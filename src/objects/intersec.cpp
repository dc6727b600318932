#include "objects/intersec.h"

#include <cstdio>
#include <cstdlib>

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

    QueueEntry* const queue = queueBuffer.entries();
    int size = 0;
    const double origin[3] = {ray->origin.x, ray->origin.y, ray->origin.z};
    const double direction[3] = {ray->direction.x, ray->direction.y, ray->direction.z};
    double best = maxDistance;
    bool found = false;

    checkAndEnqueue(top, maxDistance, origin, direction, queue, &size);
    while (size != 0) {
        double key;
        Object* obj;
        priorityQueueDelete(&key, &obj, queue, &size);
        if (key > best) break;  // every box left starts beyond the nearest hit
        if (obj->kind == kindNode) {
            for (Object* child = obj->children->first; child; child = child->next) {
                if (child != exclude) checkAndEnqueue(child, maxDistance, origin, direction, queue, &size);
            }
        } else {
            Hit local;
            if (obj->intersectFn(obj, ray, &local) && local.distance < best) {
                *hit = local;
                best = local.distance;
                found = true;
            }
        }
    }
    return found ? 1 : 0;
}
