#include "objects/data.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>

#include "objects/bvh.h"

Object* myObjectList = nullptr;
long nPrims = 0;

namespace {

// The scene's storage: blocks of growing size, handed out front to back and never reused, so
// what they hand out is still zero from the block's calloc (large blocks come straight from the
// system, already zero). Releasing the storage frees the blocks, a few calls for any scene.
class SceneStorage {
public:
    static constexpr size_t alignment = alignof(ChildBlock);

    void* allocate(size_t bytes) {
        bytes = roundUp(bytes);
        if (static_cast<size_t>(end_ - cursor_) < bytes && !addBlock(bytes)) return nullptr;
        void* memory = cursor_;
        cursor_ += bytes;
        return memory;
    }

    void release() {
        while (last_) {
            Block* previous = last_->previous;
            std::free(last_);
            last_ = previous;
        }
        cursor_ = end_ = nullptr;
        nextSize_ = firstBlockSize;
    }

private:
    struct Block {
        Block* previous;
    };
    static constexpr size_t firstBlockSize = size_t{64} << 10;
    static constexpr size_t largestBlockSize = size_t{16} << 20;

    static constexpr size_t roundUp(size_t bytes) { return (bytes + alignment - 1) / alignment * alignment; }

    bool addBlock(size_t bytes) {
        const size_t size = std::max(nextSize_, sizeof(Block) + alignment + bytes);
        void* memory = std::calloc(1, size);
        if (!memory) return false;
        auto* block = static_cast<Block*>(memory);
        block->previous = last_;
        last_ = block;
        const auto start = reinterpret_cast<std::uintptr_t>(memory) + sizeof(Block);
        cursor_ = reinterpret_cast<char*>((start + alignment - 1) / alignment * alignment);
        end_ = static_cast<char*>(memory) + size;
        nextSize_ = std::min(nextSize_ * 2, largestBlockSize);
        return true;
    }

    Block* last_ = nullptr;
    char* cursor_ = nullptr;
    char* end_ = nullptr;
    size_t nextSize_ = firstBlockSize;
};

SceneStorage sceneStorage;

constexpr size_t childListHead =
    (sizeof(ChildList) + alignof(ChildBlock) - 1) / alignof(ChildBlock) * alignof(ChildBlock);

size_t childListBytes(int32_t count) {
    return childListHead + (static_cast<size_t>(count) + 3) / 4 * sizeof(ChildBlock);
}

ChildList* fillChildList(void* memory, Object* first, int32_t count) {
    auto* list = static_cast<ChildList*>(memory);
    auto* blocks = reinterpret_cast<ChildBlock*>(static_cast<char*>(memory) + childListHead);
    *list = {count, first, blocks, nullptr};
    const size_t blockCount = (static_cast<size_t>(count) + 3) / 4;
    Object* child = first;
    for (size_t b = 0; b < blockCount; ++b) {
        ChildBlock& block = blocks[b];
        block = {};
        for (int k = 0; k < 4 && child; ++k, child = child->next) {
            for (int i = 0; i < 3; ++i) {
                block.boundMin[i][k] = child->boundMin[i];
                block.boundMax[i][k] = child->boundMax[i];
            }
            block.child[k] = child;
        }
    }
    return list;
}

// Once the scene list is empty, nothing reaches the records in the scene's storage any more.
void releaseSceneIfEmptied(Object** list) {
    if (list == &myObjectList) sceneStorage.release();
}

}  // namespace

Object* allocateObject() { return static_cast<Object*>(std::calloc(1, sizeof(Object))); }

Object* allocateSceneObject() {
    auto* obj = static_cast<Object*>(sceneStorage.allocate(sizeof(Object)));
    if (obj) obj->storage = storageScene;
    return obj;
}

void* allocateSceneStorage(size_t bytes) { return sceneStorage.allocate(bytes); }

Object* newPrimitive(int32_t kind, IntersectFn intersectFn, NormalFn normalFn, PrintFn printFn) {
    Object* obj = allocateSceneObject();
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

ChildList* makeChildList(Object* first, int32_t count) {
    void* memory = std::aligned_alloc(alignof(ChildBlock), childListBytes(count));
    return memory ? fillChildList(memory, first, count) : nullptr;
}

ChildList* makeSceneChildList(Object* first, int32_t count) {
    void* memory = sceneStorage.allocate(childListBytes(count));
    return memory ? fillChildList(memory, first, count) : nullptr;
}

void addToList(Object** list, Object* obj) {
    obj->next = *list;
    *list = obj;
}

int freeList(Object** list) {
    int count = 0;
    while (Object* obj = *list) {
        *list = obj->next;
        if (obj->storage == storageHeap) std::free(obj);
        ++count;
    }
    releaseSceneIfEmptied(list);
    return count;
}

namespace {

// A record in the scene's storage leaves everything to it but the top node's query tree.
void releaseRecord(Object* obj) {
    if (obj->children) freeQueryTree(obj->children->queryTree);
    if (obj->storage == storageScene) return;
    if (obj->children) {
        Object* child = obj->children->first;
        freeObjectTree(&child);
        std::free(obj->children);
    }
    if (obj->releaseFn) obj->releaseFn(obj);
    std::free(obj);
}

}  // namespace

int freeObjectTree(Object** list) {
    int count = 0;
    while (Object* obj = *list) {
        *list = obj->next;
        releaseRecord(obj);
        ++count;
    }
    releaseSceneIfEmptied(list);
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
