// The traversal's min-heap of records keyed by the distance at which the ray enters their box.
// Index 1 holds the smallest key; index 0 is unused; at most iPQSize - 1 entries.
#pragma once

#include "objects/data.h"

struct QueueEntry {
    double key;
    Object* node;
};

void priorityQueueInsert(double key, Object* node, QueueEntry* queue, int* size);
void priorityQueueDelete(double* key, Object** node, QueueEntry* queue, int* size);
