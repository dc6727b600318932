#include "objects/data.h"

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

int printed = 0;
void countPrint(const Object*) { ++printed; }

int released = 0;
void releaseArray(Object* obj) {
    std::free(obj->triangle.vertices);
    ++released;
}

}  // namespace

TEST(ObjectList, AddPushesAtTheFront) {
    Object* list = nullptr;
    Object* a = allocateObject();
    Object* b = allocateObject();
    a->next = b;  // stale link must be overwritten
    addToList(&list, a);
    EXPECT_EQ(list, a);
    EXPECT_EQ(a->next, nullptr);
    addToList(&list, b);
    EXPECT_EQ(list, b);
    EXPECT_EQ(b->next, a);
    EXPECT_EQ(freeList(&list), 2);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(freeList(&list), 0);
}

TEST(ObjectList, PrintCountsEveryRecord) {
    Object* list = nullptr;
    for (int i = 0; i < 3; ++i) {
        Object* obj = allocateObject();
        obj->printFn = i == 1 ? nullptr : countPrint;  // a node or light has no print operation
        addToList(&list, obj);
    }
    printed = 0;
    EXPECT_EQ(printList(list), 3);
    EXPECT_EQ(printed, 2);
    EXPECT_EQ(freeList(&list), 3);
}

TEST(ObjectList, TreeFreeDescendsIntoChildrenAndArrays) {
    // node(node(a, b), c): everything below the top is released too (the sanitizer build checks).
    auto leaf = [] {
        Object* obj = allocateObject();
        obj->triangle.vertices = static_cast<Vector*>(std::calloc(3, sizeof(Vector)));
        obj->releaseFn = releaseArray;
        return obj;
    };
    auto node = [](Object* first, int count) {
        Object* obj = allocateObject();
        obj->kind = kindNode;
        obj->children = static_cast<ChildList*>(std::calloc(1, sizeof(ChildList)));
        obj->children->count = count;
        obj->children->first = first;
        return obj;
    };
    Object* a = leaf();
    a->next = leaf();
    Object* inner = node(a, 2);
    inner->next = leaf();
    Object* list = node(inner, 2);
    released = 0;
    EXPECT_EQ(freeObjectTree(&list), 1);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(released, 3);
}
