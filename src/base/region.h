// Large zero-filled memory for the scene's storage and the hierarchies' arrays, starting on a
// 64-byte boundary at least. Regions come straight from the system in whole pages; pages never
// touched cost nothing, so a region may be reserved at the largest size it can need. Where the
// kernel can, the pages are made ready in large batches (populate) rather than one page fault at
// a time as they are first touched. Where the system has no such pages, and in checked builds
// (whose sanitizers watch heap blocks), regions come from the heap.
//
// Huge pages (madvise MADV_HUGEPAGE) are not asked for: on the virtual machines this runs on, the
// kernel hands large free blocks back to the host, and a huge page is then built from memory the
// host must provide afresh; reading and building a 1,000,000-triangle scene took twice as long.
#pragma once

#include <atomic>
#include <cstddef>

class Region {
public:
    Region() = default;
    // A zero-filled region of at least `bytes` bytes; empty (false) when memory is short.
    explicit Region(size_t bytes);
    Region(Region&& other) noexcept;
    Region& operator=(Region&& other) noexcept;
    Region(const Region&) = delete;
    Region& operator=(const Region&) = delete;
    ~Region();

    explicit operator bool() const { return memory_ != nullptr; }
    void* data() const { return memory_; }
    size_t size() const { return size_; }
    template <class T>
    T* as() const {
        return static_cast<T*>(memory_);
    }

    // Makes the first `bytes` bytes ready for use in one go (and a batch beyond, so that calls
    // for a growing prefix are rare). Only an optimisation: untouched pages work as well. Safe to
    // call from several threads at once.
    void populate(size_t bytes);
    // Makes the bytes from `from` up to `to` ready (no batch beyond). Safe beside populate.
    void populateRange(size_t from, size_t to);

private:
    void release();

    void* memory_ = nullptr;
    void* block_ = nullptr;  // what goes back to the system or the heap
    size_t size_ = 0;
    std::atomic<size_t> populated_{0};
};
