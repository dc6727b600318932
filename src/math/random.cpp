#include "math/random.h"

#include <mutex>

namespace {

std::mutex runDraw;

struct Run {
    int values[randomRunLength];
    int used = randomRunLength;
};

thread_local Run run;

}  // namespace

void drawRandomInRuns() { randomInRuns = true; }

int nextRandomOfRun() {
    if (run.used == randomRunLength) {
        const std::lock_guard<std::mutex> lock(runDraw);
        for (int& value : run.values) value = std::rand();
        run.used = 0;
    }
    return run.values[run.used++];
}
