#include "objects/bound.h"

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <optional>
#include <random>
#include <string>
#include <vector>

#include "objects/bvh.h"
#include "objects/sphere.h"
#include "objects/tasks.h"
#include "support/scene_fixture.h"

namespace {

using Bounding = SceneTest;

// The hierarchy build done the plain way, by walking and relinking the records themselves: the
// reference the array-based build must match record for record.
namespace reference {

long total = 0;

double centre(const Object* obj, int i) { return obj->boundMin[i] + obj->boundMax[i]; }

// Chains the records in the given order, the last one before `after`; *slot takes the first.
void relink(Object** slot, const std::vector<Object*>& order, Object* after) {
    for (size_t k = 0; k + 1 < order.size(); ++k) order[k]->next = order[k + 1];
    order.back()->next = after;
    *slot = order.front();
}

// A node over the run (2 to bunching records) in its place, with exactly their extents.
void group(Object** slot, const std::vector<Object*>& run, Object* after) {
    Object* node = allocateObject();
    node->kind = kindNode;
    node->children = &node->childList;
    node->childList = {static_cast<int32_t>(run.size()), nullptr, nullptr};
    relink(&node->childList.first, run, nullptr);
    for (int i = 0; i < 3; ++i) {
        node->boundMin[i] = 1e10;
        node->boundMax[i] = -1e10;
        for (const Object* c : run) {
            node->boundMin[i] = std::min(node->boundMin[i], c->boundMin[i]);
            node->boundMax[i] = std::max(node->boundMax[i], c->boundMax[i]);
        }
    }
    total -= static_cast<long>(run.size()) - 1;
    relink(slot, {node}, after);
}

// Splits the run of n records at *slot at the mean doubled centre along the widest spread (x
// before y before z on ties): the high part first, then the low one, each in the order pushing its
// records at its front gives; an empty part takes half the other from its front. 1 when it split.
int split(Object** slot, long n) {
    std::vector<Object*> run;
    Object* after = *slot;
    for (long k = 0; k < n; ++k, after = after->next) run.push_back(after);
    if (n <= 1) return 0;
    if (n <= bunching) return group(slot, run, after), 0;
    int axis = 0;
    double widest = -1e10, median = 0;
    for (int i = 0; i < 3; ++i) {
        double lo = 1e10, hi = -1e10, sum = 0;
        for (const Object* obj : run) {
            lo = std::min(lo, centre(obj, i));
            hi = std::max(hi, centre(obj, i));
            sum += centre(obj, i);
        }
        if (hi - lo > widest) widest = hi - lo, axis = i, median = sum / n;
    }
    std::vector<Object*> low, high;  // in the order pushed: the reverse of the list's
    for (Object* obj : run) (median > centre(obj, axis) ? low : high).push_back(obj);
    std::vector<Object*>& empty = low.empty() ? low : high;
    std::vector<Object*>& other = low.empty() ? high : low;
    for (long k = empty.empty() ? n / 2 : 0; k > 0; --k) {
        empty.push_back(other.back());
        other.pop_back();
    }
    std::vector<Object*> order(high.rbegin(), high.rend());
    order.insert(order.end(), low.rbegin(), low.rend());
    relink(slot, order, after);
    split(&order[high.size() - 1]->next, static_cast<long>(low.size()));
    split(slot, static_cast<long>(high.size()));
    return 1;
}

}  // namespace reference

// Records with the given extents, each labelled with its number (in its ambient weight, which
// the build never looks at), pushed onto *list; each must come zero-filled.
void makeRecords(const std::vector<std::pair<Vector, Vector>>& boxes, Object** list) {
    static const Object zero{};
    for (size_t k = 0; k < boxes.size(); ++k) {
        Object* obj = allocateObject();
        ASSERT_EQ(std::memcmp(obj, &zero, sizeof zero), 0) << k;
        for (int i = 0; i < 3; ++i) {
            obj->boundMin[i] = component(boxes[k].first, i);
            obj->boundMax[i] = component(boxes[k].second, i);
        }
        obj->surface.ambient = static_cast<double>(k);
        addToList(list, obj);
    }
}

// Six bounds as hexadecimal floats, bit for bit.
template <typename Bound>
std::string bits(const Bound& lo, const Bound& hi) {
    char text[256];
    std::snprintf(text, sizeof text, "%a %a %a %a %a %a ", double(lo[0]), double(hi[0]), double(lo[1]), double(hi[1]),
                  double(lo[2]), double(hi[2]));
    return text;
}

// The records from obj on and everything below them: leaves by number, nodes with their exact
// extents and counts.
std::string describe(const Object* obj) {
    std::string text;
    for (; obj; obj = obj->next) {
        if (obj->kind != kindNode) {
            text += std::to_string(static_cast<int>(obj->surface.ambient)) + " ";
            continue;
        }
        text += '[';
        text += std::to_string(obj->children->count) + ": " + bits(obj->boundMin, obj->boundMax);
        text += describe(obj->children->first) + "] ";
    }
    return text;
}

// The query tree from its root, depth first: each lane's box bit for bit and what it holds.
std::string describe(const QueryTree& tree, uint32_t index = 0) {
    std::string text = "[";
    const QueryNode& node = tree.nodes()[index];
    for (int k = 0; k < 4 && node.ref[k]; ++k) {
        const float lo[3] = {node.boundMin[0][k], node.boundMin[1][k], node.boundMin[2][k]};
        const float hi[3] = {node.boundMax[0][k], node.boundMax[1][k], node.boundMax[2][k]};
        text += bits(lo, hi) +
                (laneIsNode(node.ref[k]) ? describe(tree, laneNode(node.ref[k]))
                                         : std::to_string(static_cast<int>(lanePrimitive(node.ref[k])->surface.ambient))) +
                " ";
    }
    return text + "]";
}

// Boxes of a few shapes: spread out, on a coarse grid (many equal centres, x and y spread alike),
// all alike (their mean exact, or rounded above or below the common centre, which sends them all
// to one part), flat.
std::vector<std::pair<Vector, Vector>> randomBoxes(std::mt19937& engine, int count, int shape) {
    std::uniform_real_distribution<double> spread(-50.0, 50.0), size(0.0, 2.0);
    std::uniform_int_distribution<int> grid(0, 3);
    std::vector<std::pair<Vector, Vector>> boxes;
    for (int k = 0; k < count; ++k) {
        const Vector centres[] = {{spread(engine), spread(engine), spread(engine)},
                                  {1.0 * grid(engine), 1.0 * grid(engine), 0.5 * grid(engine)},
                                  {7, 7, 7},
                                  {0.1, 0.1, 0.1},
                                  {spread(engine), spread(engine), 0.0}};
        const Vector half = shape == 3 ? Vector{0, 0, 0} : Vector{size(engine), size(engine), size(engine)};
        boxes.push_back({centres[shape] - half, centres[shape] + half});
    }
    return boxes;
}

TEST_F(Bounding, ArrayBuildMatchesTheRecordWalk) {
    std::mt19937 engine(20240611);
    for (int shape = 0; shape < 5; ++shape) {
        for (int count : {1, 2, 4, 5, 6, 9, 17, 64, 333, 2000}) {
            SCOPED_TRACE("shape " + std::to_string(shape) + ", " + std::to_string(count) + " records");
            reset();
            const auto boxes = randomBoxes(engine, count, shape);
            Object* expected = nullptr;
            makeRecords(boxes, &expected);
            makeRecords(boxes, &myObjectList);
            nPrims = reference::total = count;
            while (reference::split(&expected, reference::total)) {
            }
            buildBoundingSlabs();
            EXPECT_EQ(reference::total, 1);
            const std::string tree = describe(myObjectList);
            EXPECT_EQ(tree, describe(expected));
            EXPECT_EQ(nPrims, count + std::count(tree.begin(), tree.end(), '['));
            freeList(&expected);
        }
    }
}

TEST_F(Bounding, ListShorterThanItsCountEndsTheRun) {
    for (int k = 0; k < 6; ++k) makeSphere({k * 1.0, 0, 0}, 1);
    nPrims = 8;
    EXPECT_EQ(endsRun(buildBoundingSlabs, 1), "NULL top in FindAxis, count = 1\n");
}

using BoundingThreads = Bounding;

// Scenes large enough that the builds hand stretches, nodes and subtrees to other threads: both
// trees come out the same, node for node and bit for bit, whatever the number of threads. The last
// build's records are made while a helper thread readies the storage ahead of them (across a
// dozen regions): they must come zero-filled all the same.
TEST_F(BoundingThreads, ParallelBuildsGiveTheSameTrees) {
    std::mt19937 engine(77);
    for (int shape : {0, 4}) {
        const auto boxes = randomBoxes(engine, 30000, shape);
        std::string trees[3];
        const int threads[3] = {1, 2, 4};
        for (int t = 0; t < 3; ++t) {
            SCOPED_TRACE("shape " + std::to_string(shape) + ", " + std::to_string(threads[t]) + " threads");
            reset();
            {
                std::optional<StorageAhead> helper;
                if (t == 2) helper.emplace();
                makeRecords(boxes, &myObjectList);
            }
            nPrims = static_cast<long>(boxes.size());
            buildThreads = threads[t];
            buildBoundingSlabs();
            buildThreads = 1;
            const QueryTree* tree = myObjectList->children->queryTree;
            ASSERT_NE(tree, nullptr);
            EXPECT_EQ(brokenInvariant(*tree, myObjectList), nullptr);
            trees[t] = describe(myObjectList) + describe(*tree);
            EXPECT_EQ(trees[t], trees[0]);
        }
    }
}

}  // namespace
