#include "objects/data.h"

#include <algorithm>
#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

#include "objects/region.h"

Object* myObjectList = nullptr;
Object* myLightList = nullptr;
long nPrims = 0;

namespace {

// The scene's storage: regions of growing size, handed out front to back and never reused, so
// what they hand out is still zero. Releasing the storage gives back a few regions for any scene.
// The pages are made ready in batches as the storage is handed out, or, while a helper thread
// runs (StorageAhead), by that thread a stretch ahead.
class SceneStorage {
public:
    static constexpr size_t alignment = 32;

    void* allocate(size_t bytes) {
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

    void release() {
        stopAhead();
        regions_.clear();
        regions_.shrink_to_fit();
        cursor_ = end_ = nullptr;
        nextSize_ = firstSize;
    }

    void startAhead() {
        if (aheadOn_ || std::thread::hardware_concurrency() < 2) return;
        try {
            helper_ = std::thread([this] { prepareAhead(); });
        } catch (const std::system_error&) {
            return;
        }
        aheadOn_ = true;
        asked_ = cursor_ ? static_cast<size_t>(cursor_ - regions_.back().as<char>()) : 0;
    }

    void stopAhead() {
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

private:
    static constexpr size_t firstSize = size_t{64} << 10;
    static constexpr size_t largestSize = size_t{64} << 20;
    // The helper keeps up to aheadSize bytes ready beyond what is handed out, asked for again
    // whenever less than aheadRefill bytes are left.
    static constexpr size_t aheadSize = size_t{16} << 20;
    static constexpr size_t aheadRefill = size_t{12} << 20;

    static constexpr size_t roundUp(size_t bytes) { return (bytes + alignment - 1) / alignment * alignment; }

    bool addRegion(size_t bytes) {
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

    // A stretch of a region for the helper to make ready.
    struct Stretch {
        Region* region;
        size_t from;
        size_t to;
    };

    void askAhead(Region& region, size_t used) {
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
    void prepareAhead() {
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

SceneStorage sceneStorage;

}  // namespace

StorageAhead::StorageAhead() { sceneStorage.startAhead(); }
StorageAhead::~StorageAhead() { sceneStorage.stopAhead(); }

Object* allocateObject() { return allocateObjects(1); }

Object* allocateObjects(size_t count) {
    if (count > SIZE_MAX / sizeof(Object)) return nullptr;
    return static_cast<Object*>(sceneStorage.allocate(count * sizeof(Object)));
}

void* allocateSceneStorage(size_t bytes) { return sceneStorage.allocate(bytes); }

Object* newPrimitive(int32_t kind, IntersectFn intersectFn, NormalFn normalFn, PrintFn printFn) {
    Object* obj = allocateObject();
    if (!obj) return nullptr;
    obj->kind = kind;
    obj->intersectFn = intersectFn;
    obj->normalFn = normalFn;
    obj->printFn = printFn;
    return obj;
}

Object* addPrimitive(Object* obj) {
    addToList(&myObjectList, obj);
    ++nPrims;
    return obj;
}

void addToList(Object** list, Object* obj) {
    obj->next = *list;
    *list = obj;
}

int freeList(Object** list) {
    int count = 0;
    while (Object* obj = *list) {
        *list = obj->next;
        ++count;
    }
    if (!myObjectList && !myLightList) sceneStorage.release();
    return count;
}

int printList(const Object* first) {
    int count = 0;
    for (const Object* obj = first; obj; obj = obj->next) {
        if (obj->printFn) obj->printFn(obj);
        ++count;
    }
    return count;
}
