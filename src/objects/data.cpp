#include "objects/data.h"

#include <cstdlib>

Object* myObjectList = nullptr;
long nPrims = 0;

Object* allocateObject() { return static_cast<Object*>(std::calloc(1, sizeof(Object))); }

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
