#include "render/bands.h"

#include <atomic>

namespace {

std::atomic<int> bandStatus{0};
std::atomic<bool> stopping{false};
std::atomic<std::uint64_t> rays{0};

}  // namespace

void resetBands() {
    bandStatus.store(0);
    stopping.store(false);
    rays.store(0);
}

void recordBandFailure(int status) {
    int none = 0;
    bandStatus.compare_exchange_strong(none, status);
}

int bandFailure() { return bandStatus.load(); }

void stopAllBands() { stopping.store(true); }

bool bandsStopping() { return stopping.load(std::memory_order_relaxed); }

void countRays(std::uint64_t traced) { rays += traced; }

std::uint64_t raysTraced() { return rays.load(); }
