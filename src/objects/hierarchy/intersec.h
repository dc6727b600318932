// The one scene query: the nearest object a ray hits below a distance, optionally skipping one
// object. Walks the slab tree in order of box entry distance.
#pragma once

#include "objects/data.h"
#include "objects/hierarchy/pqueue.h"

// 1 and the nearest hit in *hit, or 0 (hit untouched). A scene of exactly one object answers
// with that object's own intersection, without the distance limit and the skipped object.
int intersect(const Ray* ray, double maxDistance, Hit* hit, const Object* exclude);

// The shadow query: 1 when intersect would report a hit, 0 otherwise. It walks the same way and
// stops at the first hit below maxDistance, the one that intersect's answer depends on.
int intersectAny(const Ray* ray, double maxDistance, const Object* exclude);

// The nearest hits of count camera rays (count <= 8) at once, as intersect answers each with no
// object to skip: found[r] is intersect's result for rays[r], hits[r] its hit. Neighbouring rays
// share most of their walk through the scene, which the query tree's packet walk does once.
void intersectPacket(const Ray* const rays[], int count, double maxDistance, Hit hits[], int found[]);

// Slab test of one record; a record the ray enters before maxDistance goes into the heap.
void checkAndEnqueue(Object* obj, double maxDistance, const double origin[3], const double direction[3],
                     QueueEntry* queue, int* size);
