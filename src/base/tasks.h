// Independent steps of the set-up, run on several threads at once: the hierarchy builds hand out
// disjoint parts of their arrays this way. Whatever the number of threads, every step computes the
// same thing, so the result never depends on it.
#pragma once

#include <cstddef>
#include <functional>

// Threads the set-up may use: 1 (the calling thread alone) unless the program renders in bands.
extern int buildThreads;

// Runs task(0) .. task(count - 1) on up to `threads` threads, the calling thread among them (never
// more threads than the processor runs at once), and returns when all have ended. An exception
// that ends a task (a RunAbort) is thrown again here once every thread has stopped; the tasks not
// yet started then do not run.
void runTasks(int threads, size_t count, const std::function<void(size_t)>& task);
