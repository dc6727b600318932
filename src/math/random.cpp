#include "math/random.h"

#include <mutex>


namespace {

constexpr int runLength = 64;

std::mutex runDraw;

struct Run {
    int values[runLength];
    int used = runLength;
};

thread_local Run run;

}  // namespace

void drawRandomInRuns() { randomInRuns = true; }

int nextRandomOfRun() {
    if (run.used == runLength) {
        const std::lock_guard<std::mutex> lock(runDraw);
        for (int& value : run.values) value = std::rand();
        run.used = 0;
    }
    return run.values[run.used++];
}
