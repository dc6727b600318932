#include "objects/data.h"

#include <cstdlib>

#include "objects/bvh.h"

Object* myObjectList = nullptr;
long nPrims = 0;

Object* allocateObject() { return static_cast<Object*>(std::calloc(1, sizeof(Object))); }

ChildList* makeChildList(Object* first, int32_t count) {
    constexpr size_t head = (sizeof(ChildList) + alignof(ChildBlock) - 1) / alignof(ChildBlock) * alignof(ChildBlock);
    const size_t blockCount = (static_cast<size_t>(count) + 3) / 4;
    void* memory = std::aligned_alloc(alignof(ChildBlock), head + blockCount * sizeof(ChildBlock));
    if (!memory) return nullptr;
    auto* list = static_cast<ChildList*>(memory);
    auto* blocks = reinterpret_cast<ChildBlock*>(static_cast<char*>(memory) + head);
    *list = {count, first, blocks, nullptr};
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

void addToList(Object** list, Object* obj) {
    obj->next = *list;
    *list = obj;
}

int freeList(Object** list) {
    int count = 0;
    while (Object* obj = *list) {
        *list = obj->next;
        std::free(obj);
        ++count;
    }
    return count;
}

namespace {

void releaseRecord(Object* obj) {
    if (obj->children) {
        Object* child = obj->children->first;
        freeObjectTree(&child);
        freeQueryTree(obj->children->queryTree);
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
