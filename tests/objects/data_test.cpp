#include "objects/data.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <utility>
#include <vector>

#include "objects/bound.h"
#include "objects/sphere.h"
#include "support/scene_fixture.h"

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

namespace {

class SceneStorage : public SceneTest {};

bool zeroFilled(const void* memory, size_t bytes) {
    const auto* p = static_cast<const unsigned char*>(memory);
    return std::all_of(p, p + bytes, [](unsigned char c) { return c == 0; });
}

TEST_F(SceneStorage, HandsOutZeroedAlignedMemoryAcrossBlocks) {
    // Enough to fill several blocks, some requests bigger than a first block. Each piece is
    // filled to its last byte: the sanitizer build checks the bounds, the marks any overlap.
    std::vector<std::pair<unsigned char*, size_t>> pieces;
    for (int k = 0; k < 20000; ++k) {
        Object* obj = allocateSceneObject();
        ASSERT_NE(obj, nullptr);
        EXPECT_EQ(obj->storage, storageScene);
        ASSERT_TRUE(zeroFilled(&obj->intersectFn, sizeof(Object) - offsetof(Object, intersectFn)));
        addToList(&myObjectList, obj);
        const size_t bytes = k % 1000 == 999 ? (size_t{1} << 20) : 1 + k % 300;
        auto* part = static_cast<unsigned char*>(allocateSceneStorage(bytes));
        ASSERT_NE(part, nullptr);
        EXPECT_EQ(reinterpret_cast<std::uintptr_t>(part) % alignof(ChildBlock), 0u);
        ASSERT_TRUE(zeroFilled(part, bytes));
        std::fill(part, part + bytes, static_cast<unsigned char>(k));
        pieces.push_back({part, bytes});
    }
    for (int k = 0; k < 20000; ++k) {
        const auto [part, bytes] = pieces[k];
        ASSERT_TRUE(std::all_of(part, part + bytes, [k](unsigned char c) { return c == static_cast<unsigned char>(k); }));
    }
    EXPECT_EQ(freeObjectTree(&myObjectList), 20000);
    EXPECT_EQ(myObjectList, nullptr);
}

TEST_F(SceneStorage, ListsFreeTheirOwnRecordsAndLeaveTheScenesToIt) {
    // A heap node over a heap leaf and a scene sphere, next to a scene sphere, on the scene list.
    Object* sphere = makeSphere({0, 0, 0}, 1);
    myObjectList = nullptr;
    Object* leaf = allocateObject();
    leaf->next = sphere;
    Object* node = allocateObject();
    node->kind = kindNode;
    node->children = makeChildList(leaf, 2);
    makeSphere({3, 0, 0}, 1);  // pushed onto the scene list
    addToList(&myObjectList, node);
    EXPECT_EQ(freeObjectTree(&myObjectList), 2);  // the sanitizer build checks that all went

    // freeList counts every record but frees only the heap's.
    Object* list = nullptr;
    addToList(&list, allocateObject());
    Object* scene = makeSphere({0, 0, 0}, 1);
    myObjectList = nullptr;
    addToList(&list, scene);
    addToList(&list, allocateObject());
    EXPECT_EQ(freeList(&list), 3);
    EXPECT_EQ(list, nullptr);
    EXPECT_EQ(freeList(&myObjectList), 0);  // and the sphere's storage goes with the scene list
}

TEST_F(SceneStorage, NodesLiveWhereTheirChildrenLive) {
    for (int k = 0; k < 9; ++k) makeSphere({k * 2.0, 0, 0}, 1);
    buildBoundingSlabs();
    ASSERT_EQ(myObjectList->kind, kindNode);
    EXPECT_EQ(myObjectList->storage, storageScene);
    for (const Object* c = myObjectList->children->first; c; c = c->next) EXPECT_EQ(c->storage, storageScene);
    reset();

    for (int k = 0; k < 3; ++k) makeSphere({k * 2.0, 0, 0}, 1);
    Object* plain = allocateObject();  // one child of its own makes the node a heap record
    addToList(&myObjectList, plain);
    nPrims = 4;
    buildBoundingSlabs();
    EXPECT_EQ(myObjectList->storage, storageHeap);
    EXPECT_EQ(myObjectList->children->first, plain);
}

}  // namespace
