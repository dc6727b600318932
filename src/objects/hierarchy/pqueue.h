// The traversal's min-heap of records keyed by the distance at which the ray enters their box.
// Index 1 holds the smallest key; index 0 is unused; at most iPQSize - 1 entries. Insertion and
// removal sit on the path of every ray, so they are defined here to be inlined.
#pragma once

#include "objects/data.h"

// The capacity of the queue of every scene query, at least 100 (the command line may set it).
extern int iPQSize;

struct QueueEntry {
    double key;
    Object* node;
};

// The failures end the run (status 1) after their message.
[[noreturn]] void priorityQueueFull();
[[noreturn]] void priorityQueueEmpty();

inline void priorityQueueInsert(double key, Object* node, QueueEntry* queue, int* size) {
    if (*size + 1 >= iPQSize) priorityQueueFull();
    int i = ++*size;
    // Sift up: move parents down into the hole while the new key is strictly smaller.
    while (i > 1 && key < queue[i / 2].key) {
        queue[i] = queue[i / 2];
        i /= 2;
    }
    queue[i] = {key, node};
}

inline void priorityQueueDelete(double* key, Object** node, QueueEntry* queue, int* size) {
    if (*size == 0) priorityQueueEmpty();
    *key = queue[1].key;
    *node = queue[1].node;
    const QueueEntry moved = queue[*size];
    const int n = --*size;
    // Sift down; on equal keys the right child is taken and the moved entry stops above it.
    int i = 1;
    for (int c = 2; c <= n; c = 2 * i) {
        if (c < n && queue[c + 1].key <= queue[c].key) ++c;
        if (moved.key <= queue[c].key) break;
        queue[i] = queue[c];
        i = c;
    }
    queue[i] = moved;
}
