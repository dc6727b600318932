#include "math/random.h"

#include <memory>
#include <mutex>

namespace {

std::mutex runDraw;

struct Run {
    int values[randomRunLength];
};

// A thread's run is on the heap, made at its first draw, so that the per-thread storage stays a
// few bytes: small enough for the static block of the shared library (see random.h). The cursor,
// read at every draw, lives there.
struct RunCursor {
    int* values = nullptr;
    int used = randomRunLength;
};
[[gnu::tls_model("initial-exec")]] thread_local RunCursor cursor;
thread_local std::unique_ptr<Run> run;

// Kept out of line, so that a draw from the run stays a few instructions.
[[gnu::noinline]] void drawRun(RunCursor& at) {
    if (!run) run = std::make_unique<Run>();
    const std::lock_guard<std::mutex> lock(runDraw);
    for (int& value : run->values) value = std::rand();
    at = {run->values, 0};
}

}  // namespace

void drawRandomInRuns() { randomInRuns = true; }

int nextRandomOfRun() {
    RunCursor& at = cursor;
    if (at.used == randomRunLength) drawRun(at);
    return at.values[at.used++];
}
