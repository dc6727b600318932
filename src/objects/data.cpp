#include "objects/data.h"

#include <cstdint>

#include "base/storage.h"

Object* myObjectList = nullptr;
Object* myLightList = nullptr;
long nPrims = 0;

namespace {

Storage sceneStorage;

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
