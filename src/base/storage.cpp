#include "base/storage.h"

#include <algorithm>
#include <system_error>
#include <utility>

void* Storage::allocate(size_t bytes) {
    bytes = roundUp(std::max<size_t>(bytes, 1));
    if (static_cast<size_t>(end_ - cursor_) < bytes && !addRegion(bytes)) return nullptr;
    void* memory = cursor_;
    cursor_ += bytes;
    Region& last = regions_.back();
    const auto used = static_cast<size_t>(cursor_ - last.as<char>());
    if (!aheadOn_) {
        last.populate(used);
    } else if (used + aheadRefill > asked_) {
        askAhead(last, used);
    }
    return memory;
}

void Storage::release() {
    stopAhead();
    regions_.clear();
    regions_.shrink_to_fit();
    cursor_ = end_ = nullptr;
    nextSize_ = firstSize;
}

void Storage::startAhead() {
    if (aheadOn_ || std::thread::hardware_concurrency() < 2) return;
    try {
        helper_ = std::thread([this] { prepareAhead(); });
    } catch (const std::system_error&) {
        return;
    }
    aheadOn_ = true;
    asked_ = cursor_ ? static_cast<size_t>(cursor_ - regions_.back().as<char>()) : 0;
}

void Storage::stopAhead() {
    if (!aheadOn_) return;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        stopping_ = true;
    }
    wake_.notify_one();
    helper_.join();
    aheadOn_ = stopping_ = false;
    requests_.clear();
}

bool Storage::addRegion(size_t bytes) {
    Region region(std::max(nextSize_, bytes));
    if (!region) return false;
    try {
        regions_.push_back(std::move(region));
    } catch (...) {
        return false;
    }
    cursor_ = regions_.back().as<char>();  // regions start at least page-aligned
    end_ = cursor_ + regions_.back().size();
    nextSize_ = std::min(nextSize_ * 2, largestSize);
    asked_ = 0;
    return true;
}

void Storage::askAhead(Region& region, size_t used) {
    const size_t from = std::max(asked_, used);
    const size_t to = std::min(region.size(), used + aheadSize);
    if (from >= to) return;
    asked_ = to;
    {
        const std::lock_guard<std::mutex> lock(mutex_);
        requests_.push_back({&region, from, to});
    }
    wake_.notify_one();
}

// The helper thread: the stretches asked for, in order, until it is stopped.
void Storage::prepareAhead() {
    std::unique_lock<std::mutex> lock(mutex_);
    for (;;) {
        wake_.wait(lock, [this] { return stopping_ || !requests_.empty(); });
        if (stopping_) return;
        const Stretch next = requests_.front();
        requests_.pop_front();
        lock.unlock();
        next.region->populateRange(next.from, next.to);
        lock.lock();
    }
}
