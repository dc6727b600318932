#include "render/bands.h"

#include <atomic>

namespace {

std::atomic<int> bandStatus{0};
std::atomic<bool> stopping{false};

}  // namespace

void resetBands() {
    bandStatus.store(0);
    stopping.store(false);
}

void recordBandFailure(int status) {
    int none = 0;
    bandStatus.compare_exchange_strong(none, status);
}

int bandFailure() { return bandStatus.load(); }

void stopAllBands() { stopping.store(true); }

bool bandsStopping() { return stopping.load(std::memory_order_relaxed); }
