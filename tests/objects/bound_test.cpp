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

// Six bounds as hexadecimal floats, bit for bit.
template <typename Bound>
std::string bits(const Bound& lo, const Bound& hi) {
    char text[256];
    std::snprintf(text, sizeof text, "%a %a %a %a %a %a ", double(lo[0]), double(hi[0]), double(lo[1]), double(hi[1]),
                  double(lo[2]), double(hi[2]));
    return text;
}

// The hierarchy build done the plain way, one record at a time: a record or a node as it
// stands in the list, and the description of it and everything below it.
struct Item {
    double lo[3], hi[3];
    std::string text;
};

// A node over the items (2 to bunching), with exactly their extents.
Item group(const std::vector<Item>& run) {
    Item node{{1e10, 1e10, 1e10}, {-1e10, -1e10, -1e10}, ""};
    for (const Item& c : run) {
        for (int i = 0; i < 3; ++i) node.lo[i] = std::min(node.lo[i], c.lo[i]), node.hi[i] = std::max(node.hi[i], c.hi[i]);
        node.text += c.text;
    }
    node.text = '[' + std::to_string(run.size()) + ": " + bits(node.lo, node.hi) + node.text + "] ";
    return node;
}

// One pass over a run of the list, its pieces appended to `list` in order: split at the mean
// doubled centre along the widest spread (x before y before z on ties), the high part first,
// then the low one, each in the order pushing its records at its front gives; an empty part takes
// half the other from its front. A piece of 2 to bunching items becomes a node.
void pass(const std::vector<Item>& run, std::vector<Item>& list) {
    const long n = static_cast<long>(run.size());
    if (n <= bunching) return list.push_back(n == 1 ? run[0] : group(run));
    auto centre = [](const Item& item, int i) { return item.lo[i] + item.hi[i]; };
    int axis = 0;
    double widest = -1e10, median = 0;
    for (int i = 0; i < 3; ++i) {
        double lo = 1e10, hi = -1e10, sum = 0;
        for (const Item& item : run) {
            lo = std::min(lo, centre(item, i));
            hi = std::max(hi, centre(item, i));
            sum += centre(item, i);
        }
        if (hi - lo > widest) widest = hi - lo, axis = i, median = sum / n;
    }
    std::vector<Item> low, high;  // in the order pushed: the reverse of the list's
    for (const Item& item : run) (median > centre(item, axis) ? low : high).push_back(item);
    std::vector<Item>& empty = low.empty() ? low : high;
    std::vector<Item>& other = low.empty() ? high : low;
    for (long k = empty.empty() ? n / 2 : 0; k > 0; --k) {
        empty.push_back(other.back());
        other.pop_back();
    }
    pass({high.rbegin(), high.rend()}, list);
    pass({low.rbegin(), low.rend()}, list);
}

// Records with the given extents, each labelled with its number (in its ambient weight, which
// the build never looks at), pushed onto the object list and counted; each must come zero-filled.
// The same as items, in list order.
std::vector<Item> makeRecords(const std::vector<std::pair<Vector, Vector>>& boxes) {
    static const Object zero{};
    std::vector<Item> items;
    int dirty = 0;
    for (size_t k = 0; k < boxes.size(); ++k) {
        Object* obj = allocateObject();
        dirty += std::memcmp(obj, &zero, sizeof zero) != 0;
        Item& item = items.emplace_back(Item{{}, {}, std::to_string(k) + " "});
        for (int i = 0; i < 3; ++i) {
            obj->boundMin[i] = item.lo[i] = component(boxes[k].first, i);
            obj->boundMax[i] = item.hi[i] = component(boxes[k].second, i);
        }
        obj->surface.ambient = static_cast<double>(k);
        addToList(&myObjectList, obj);
    }
    EXPECT_EQ(dirty, 0) << "records handed out not zero-filled";
    nPrims = static_cast<long>(boxes.size());
    return {items.rbegin(), items.rend()};
}

// The records from obj on and everything below them: leaves by number, nodes with their exact
// extents and counts.
std::string describe(const Object* obj) {
    std::string text;
    for (; obj; obj = obj->next) {
        text += obj->kind != kindNode ? std::to_string(static_cast<int>(obj->surface.ambient)) + " "
                                      : '[' + std::to_string(obj->children->count) + ": " +
                                            bits(obj->boundMin, obj->boundMax) + describe(obj->children->first) + "] ";
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
            std::vector<Item> list = makeRecords(randomBoxes(engine, count, shape));
            while (list.size() > 1) {
                const std::vector<Item> run = std::move(list);
                list.clear();
                pass(run, list);
            }
            buildBoundingSlabs();
            const std::string tree = describe(myObjectList);
            EXPECT_EQ(tree, list[0].text);
            EXPECT_EQ(nPrims, count + std::count(tree.begin(), tree.end(), '['));
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
                makeRecords(boxes);
            }
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
