#include "objects/hierarchy/pqueue.h"

#include <cstdio>

#include "base/console.h"
#include "base/fatal.h"

int iPQSize = 128;

namespace {

constexpr const char* resizeAdvice =
    " Please use the -pqs or --pqsize switch to increase the priority queue size\n";

}  // namespace

void priorityQueueFull() {
    consoleFlush();
    consoleError("\n\n ORVEL is out of space...\n%s", resizeAdvice);
    abortRun(1);
}

void priorityQueueEmpty() {
    consolePrint(" Priority queue is empty, dying...\n%s", resizeAdvice);
    consoleFlush();
    abortRun(1);
}
