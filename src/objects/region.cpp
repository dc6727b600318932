#include "objects/region.h"

#include <algorithm>
#include <cstdlib>
#include <utility>

#include "objects/checked.h"

#if __has_include(<sys/mman.h>)
#include <sys/mman.h>
#endif

namespace {

constexpr size_t pageSize = 4096;
// Populating less at a time than this would cost more calls than the page faults it saves.
constexpr size_t populateBatch = size_t{4} << 20;

#if defined(MAP_ANONYMOUS) && defined(MADV_POPULATE_WRITE)
constexpr bool mapRegions = !checkedBuild;

void* mapPages(size_t bytes) {
    void* mapped = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return mapped == MAP_FAILED ? nullptr : mapped;
}
void unmapPages(void* memory, size_t bytes) { munmap(memory, bytes); }
// Advice only: a kernel without it leaves the pages to be faulted in as they are touched.
void populatePages(void* memory, size_t bytes) { madvise(memory, bytes, MADV_POPULATE_WRITE); }
#else
constexpr bool mapRegions = false;
void* mapPages(size_t) { return nullptr; }
void unmapPages(void*, size_t) {}
void populatePages(void*, size_t) {}
#endif

}  // namespace

Region::Region(size_t bytes) {
    if (bytes == 0) bytes = 1;
    if (mapRegions) {
        size_ = (bytes + pageSize - 1) / pageSize * pageSize;
        memory_ = mapPages(size_);
        mapped_ = true;
    } else {
        size_ = bytes;
        memory_ = std::calloc(1, bytes);
    }
    if (!memory_) size_ = 0;
}

Region::Region(Region&& other) noexcept
    : memory_(std::exchange(other.memory_, nullptr)),
      size_(std::exchange(other.size_, 0)),
      mapped_(other.mapped_),
      populated_(other.populated_.exchange(0)) {}

Region& Region::operator=(Region&& other) noexcept {
    if (this != &other) {
        release();
        memory_ = std::exchange(other.memory_, nullptr);
        size_ = std::exchange(other.size_, 0);
        mapped_ = other.mapped_;
        populated_ = other.populated_.exchange(0);
    }
    return *this;
}

Region::~Region() { release(); }

void Region::populate(size_t bytes) {
    if (!mapped_ || !memory_) return;
    size_t done = populated_.load(std::memory_order_relaxed);
    if (bytes <= done) return;
    const size_t upTo = std::min(size_, (std::max(bytes, done + populateBatch) + pageSize - 1) / pageSize * pageSize);
    // One thread populates a stretch; another that finds it taken goes on without waiting.
    if (!populated_.compare_exchange_strong(done, upTo)) return;
    populatePages(static_cast<char*>(memory_) + done, upTo - done);
}

void Region::release() {
    if (!memory_) return;
    if (mapped_) {
        unmapPages(memory_, size_);
    } else {
        std::free(memory_);
    }
    memory_ = nullptr;
    size_ = 0;
    populated_ = 0;
}
