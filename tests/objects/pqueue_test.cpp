#include "objects/pqueue.h"

#include <vector>

#include "support/scene_fixture.h"

namespace {

class PriorityQueue : public SceneTest {
protected:
    std::vector<QueueEntry> heap = std::vector<QueueEntry>(1024);
    int size = 0;

    void insert(double key, Object* node = nullptr) { priorityQueueInsert(key, node, heap.data(), &size); }
    double pop(Object** node = nullptr) {
        double key;
        Object* obj;
        priorityQueueDelete(&key, &obj, heap.data(), &size);
        if (node) *node = obj;
        return key;
    }
};

TEST_F(PriorityQueue, SmallestKeyComesOutFirst) {
    Object a{}, b{}, c{}, d{};
    insert(5, &a);
    insert(3, &b);
    insert(4, &c);
    insert(1, &d);
    for (auto [key, node] : {std::pair{1.0, &d}, {3.0, &b}, {4.0, &c}, {5.0, &a}}) {
        Object* got;
        EXPECT_EQ(pop(&got), key);
        EXPECT_EQ(got, node);
    }
    EXPECT_EQ(size, 0);
}

TEST_F(PriorityQueue, OverflowAndEmptyRemovalEndTheRun) {
    const std::string advice = " Please use the -pqs or --pqsize switch to increase the priority queue size\n";
    for (int k = 0; k < 127; ++k) insert(k);  // iPQSize 128 holds 127
    EXPECT_EQ(abortMessage([&] { insert(-1); }), "\n\n ORVEL is out of space...\n" + advice);
    size = 0;
    EXPECT_EQ(abortMessage([&] { pop(); }, true), " Priority queue is empty, dying...\n" + advice);
}

}  // namespace
