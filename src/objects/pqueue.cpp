#include "objects/pqueue.h"

#include <cstdio>

#include "app/fatal.h"
#include "app/settings.h"

namespace {

constexpr const char* resizeAdvice =
    " Please use the -pqs or --pqsize switch to increase the priority queue size\n";

}  // namespace

void priorityQueueInsert(double key, Object* node, QueueEntry* queue, int* size) {
    if (*size + 1 >= iPQSize) {
        fflush(stdout);
        fprintf(stderr, "\n\n ORVEL is out of space...\n%s", resizeAdvice);
        abortRun(1);
    }
    int i = ++*size;
    // Sift up: move parents down into the hole while the new key is strictly smaller.
    while (i > 1 && key < queue[i / 2].key) {
        queue[i] = queue[i / 2];
        i /= 2;
    }
    queue[i] = {key, node};
}

void priorityQueueDelete(double* key, Object** node, QueueEntry* queue, int* size) {
    if (*size == 0) {
        printf(" Priority queue is empty, dying...\n%s", resizeAdvice);
        fflush(stdout);
        abortRun(1);
    }
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
