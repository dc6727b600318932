// An arena for the scene's records: large zero-filled regions (base/region.h) of growing size,
// handed out front to back and never reused, so what they hand out is still zero, and released
// together. Releasing gives back a few regions for any scene. The pages are made ready in batches
// as the storage is handed out, or, while a helper thread runs (startAhead), by that thread a
// stretch ahead of what is handed out, so that the system clears the pages beside the thread that
// fills them rather than in its way.
#pragma once

#include <condition_variable>
#include <cstddef>
#include <deque>
#include <mutex>
#include <thread>

#include "base/region.h"

class Storage {
public:
    static constexpr size_t alignment = 32;

    Storage() = default;
    Storage(const Storage&) = delete;
    Storage& operator=(const Storage&) = delete;
    ~Storage() { stopAhead(); }

    // `bytes` zero-filled bytes aligned to `alignment`, or null when memory is short.
    void* allocate(size_t bytes);
    // Gives every region back; what was handed out is gone.
    void release();
    // Starts the helper thread (nothing on a single processor, or where no thread can be started).
    void startAhead();
    void stopAhead();

private:
    static constexpr size_t firstSize = size_t{64} << 10;
    static constexpr size_t largestSize = size_t{64} << 20;
    // The helper keeps up to aheadSize bytes ready beyond what is handed out, asked for again
    // whenever less than aheadRefill bytes are left.
    static constexpr size_t aheadSize = size_t{16} << 20;
    static constexpr size_t aheadRefill = size_t{12} << 20;

    static constexpr size_t roundUp(size_t bytes) { return (bytes + alignment - 1) / alignment * alignment; }

    // A stretch of a region for the helper to make ready.
    struct Stretch {
        Region* region;
        size_t from;
        size_t to;
    };

    bool addRegion(size_t bytes);
    void askAhead(Region& region, size_t used);
    void prepareAhead();

    std::deque<Region> regions_;  // a region stays in place while the helper may work on it
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    size_t nextSize_ = firstSize;

    bool aheadOn_ = false;
    size_t asked_ = 0;  // the last region is asked for up to here
    std::thread helper_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::deque<Stretch> requests_;
    bool stopping_ = false;
};
