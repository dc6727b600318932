#include "objects/data.h"

#include <algorithm>
#include <cstdint>
#include <vector>

#include "objects/region.h"

Object* myObjectList = nullptr;
Object* myLightList = nullptr;
long nPrims = 0;

namespace {

// The scene's storage: regions of growing size, handed out front to back and never reused, so
// what they hand out is still zero. Releasing the storage gives back a few regions for any scene.
class SceneStorage {
public:
    static constexpr size_t alignment = 32;

    void* allocate(size_t bytes) {
        bytes = roundUp(std::max<size_t>(bytes, 1));
        if (static_cast<size_t>(end_ - cursor_) < bytes && !addRegion(bytes)) return nullptr;
        void* memory = cursor_;
        cursor_ += bytes;
        Region& last = regions_.back();
        last.populate(static_cast<size_t>(cursor_ - last.as<char>()));
        return memory;
    }

    void release() {
        regions_.clear();
        regions_.shrink_to_fit();
        cursor_ = end_ = nullptr;
        nextSize_ = firstSize;
    }

private:
    static constexpr size_t firstSize = size_t{64} << 10;
    static constexpr size_t largestSize = size_t{64} << 20;

    static constexpr size_t roundUp(size_t bytes) { return (bytes + alignment - 1) / alignment * alignment; }

    bool addRegion(size_t bytes) {
        try {
            regions_.reserve(regions_.size() + 1);
        } catch (...) {
            return false;
        }
        Region region(std::max(nextSize_, bytes));
        if (!region) return false;
        cursor_ = region.as<char>();  // regions start at least page-aligned
        end_ = cursor_ + region.size();
        regions_.push_back(std::move(region));
        nextSize_ = std::min(nextSize_ * 2, largestSize);
        return true;
    }

    std::vector<Region> regions_;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    size_t nextSize_ = firstSize;
};

SceneStorage sceneStorage;

}  // namespace

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
