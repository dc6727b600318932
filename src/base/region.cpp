#include "base/region.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <utility>

#include "base/checked.h"

#if __has_include(<sys/mman.h>) && __has_include(<unistd.h>)
#include <sys/mman.h>
#include <unistd.h>
#endif

namespace {

// Populating less at a time than this would cost more calls than the page faults it saves.
constexpr size_t populateBatch = size_t{4} << 20;
// Where regions come from the heap, they start on a boundary of this many bytes.
constexpr size_t heapAlignment = 64;

#ifdef MAP_ANONYMOUS
constexpr bool mapRegions = !checkedBuild;

size_t pageSize() {
    static const size_t size = static_cast<size_t>(sysconf(_SC_PAGESIZE));
    return size;
}
void* mapPages(size_t bytes) {
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapped == MAP_FAILED ? nullptr : mapped;
}
void unmapPages(void* memory, size_t bytes) { munmap(memory, bytes); }
#else
constexpr bool mapRegions = false;
size_t pageSize() { return heapAlignment; }
void* mapPages(size_t) { return nullptr; }
void unmapPages(void*, size_t) {}
#endif

// Advice only: a kernel without it leaves the pages to be faulted in as they are touched.
void populatePages([[maybe_unused]] void* memory, [[maybe_unused]] size_t bytes) {
#ifdef MADV_POPULATE_WRITE
    madvise(memory, bytes, MADV_POPULATE_WRITE);
#endif
}

}  // namespace

Region::Region(size_t bytes) {
    const size_t unit = mapRegions ? pageSize() : heapAlignment;
    if (bytes > SIZE_MAX - 2 * unit) return;
    size_ = (std::max<size_t>(bytes, 1) + unit - 1) / unit * unit;
    if (mapRegions) {
        memory_ = mapPages(size_);
        block_ = memory_;
    } else if ((block_ =
                    std::calloc(1, size_ + heapAlignment))) {  // calloc leaves large blocks to the system
        const auto start = reinterpret_cast<std::uintptr_t>(block_);
        memory_ = reinterpret_cast<void*>((start + heapAlignment - 1) / heapAlignment * heapAlignment);
    }
    if (!memory_) size_ = 0;
}

Region::Region(Region&& other) noexcept
    : memory_(std::exchange(other.memory_, nullptr)),
      block_(std::exchange(other.block_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      populated_(other.populated_.exchange(0)) {}

Region& Region::operator=(Region&& other) noexcept {
    if (this != &other) {
        release();
        memory_ = std::exchange(other.memory_, nullptr);
        block_ = std::exchange(other.block_, nullptr);
        size_ = std::exchange(other.size_, 0);
        populated_ = other.populated_.exchange(0);
    }
    return *this;
}

Region::~Region() { release(); }

void Region::populate(size_t bytes) {
    if (!mapRegions || !memory_) return;
    size_t done = populated_.load(std::memory_order_relaxed);
    if (bytes <= done) return;
    const size_t page = pageSize();
    const size_t upTo = std::min(size_, (std::max(bytes, done + populateBatch) + page - 1) / page * page);
    // One thread populates a stretch; another that finds it taken goes on without waiting.
    if (!populated_.compare_exchange_strong(done, upTo)) return;
    populatePages(static_cast<char*>(memory_) + done, upTo - done);
}

void Region::populateRange(size_t from, size_t to) {
    if (!mapRegions || !memory_) return;
    const size_t page = pageSize();
    from = from / page * page;
    to = std::min(size_, (to + page - 1) / page * page);
    if (from >= to) return;
    populatePages(static_cast<char*>(memory_) + from, to - from);
    // What populate would do again from here on is done.
    size_t done = populated_.load(std::memory_order_relaxed);
    while (done >= from && done < to && !populated_.compare_exchange_weak(done, to)) {
    }
}

void Region::release() {
    if (mapRegions && memory_) {
        unmapPages(memory_, size_);
    } else {
        std::free(block_);
    }
    memory_ = block_ = nullptr;
    size_ = 0;
    populated_ = 0;
}
