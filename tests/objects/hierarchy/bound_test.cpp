// The hierarchy build against the plain record-by-record build, one thread against several, and
// the query tree's premises: the three invariants, checked on trees built over awkward boxes and
// on trees broken on purpose, and a primitive's box as the tree takes it.
#include "objects/hierarchy/bound.h"

#include <cmath>
#include <cstdio>
#include <cstring>
#include <limits>
#include <optional>
#include <random>
#include <utility>
#include <vector>

#include "base/tasks.h"
#include "support/scene_fixture.h"

namespace {

using Bounding = SceneTest;

constexpr double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
constexpr float infF = std::numeric_limits<float>::infinity();

// Six bounds as hexadecimal floats, bit for bit.
template <typename Bound>
std::string bits(const Bound& lo, const Bound& hi) {
    char text[256];
    std::snprintf(text, sizeof text, "%a %a %a %a %a %a ", double(lo[0]), double(hi[0]), double(lo[1]), double(hi[1]),
                  double(lo[2]), double(hi[2]));
    return text;
}

// A record with the given extents and label (its ambient weight, which the build never looks at),
// pushed onto the object list and counted; it must come zero-filled.
Object* record(Vector lo, Vector hi, double label = 0) {
    static const Object zero{};
    Object* obj = allocateObject();
    EXPECT_EQ(std::memcmp(obj, &zero, sizeof zero), 0) << "record handed out not zero-filled";
    for (int i = 0; i < 3; ++i) obj->boundMin[i] = component(lo, i), obj->boundMax[i] = component(hi, i);
    obj->surface.ambient = label, ++nPrims;
    addToList(&myObjectList, obj);
    return obj;
}

// The query tree just built, its invariants checked.
const QueryTree* checkedTree() {
    const QueryTree* tree = myObjectList->children->queryTree;
    EXPECT_EQ(tree ? brokenInvariant(*tree, myObjectList) : "no query tree", nullptr);
    return tree;
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
        for (const Item& item : run)
            lo = std::min(lo, centre(item, i)), hi = std::max(hi, centre(item, i)), sum += centre(item, i);
        if (hi - lo > widest) widest = hi - lo, axis = i, median = sum / n;
    }
    std::vector<Item> low, high;  // in the order pushed: the reverse of the list's
    for (const Item& item : run) (median > centre(item, axis) ? low : high).push_back(item);
    std::vector<Item>& empty = low.empty() ? low : high;
    std::vector<Item>& other = low.empty() ? high : low;
    for (long k = empty.empty() ? n / 2 : 0; k > 0; --k) empty.push_back(other.back()), other.pop_back();
    pass({high.rbegin(), high.rend()}, list);
    pass({low.rbegin(), low.rend()}, list);
}

// Records with the given extents, labelled with their numbers; the same as items, in list order.
std::vector<Item> makeRecords(const std::vector<std::pair<Vector, Vector>>& boxes) {
    std::vector<Item> items;
    for (size_t k = 0; k < boxes.size(); ++k) {
        const Object* obj = record(boxes[k].first, boxes[k].second, static_cast<double>(k));
        Item& item = items.emplace_back(Item{{}, {}, std::to_string(k) + " "});
        std::copy_n(obj->boundMin, 3, item.lo), std::copy_n(obj->boundMax, 3, item.hi);
    }
    return {items.rbegin(), items.rend()};
}

// The records from obj on and everything below them: leaves by number, nodes with their exact
// extents and counts.
std::string describe(const Object* obj) {
    std::string text;
    for (; obj; obj = obj->next)
        text += obj->kind != kindNode ? std::to_string(static_cast<int>(obj->surface.ambient)) + " "
                                      : '[' + std::to_string(obj->children->count) + ": " +
                                            bits(obj->boundMin, obj->boundMax) + describe(obj->children->first) + "] ";
    return text;
}

// The query tree from its root, depth first: each lane's box bit for bit and what it holds.
std::string describe(const QueryTree& tree, uint32_t index = 0) {
    std::string text = "[";
    const QueryNode& node = tree.nodes()[index];
    for (int k = 0; k < 4 && node.ref[k]; ++k) {
        const float lo[3] = {node.boundMin[0][k], node.boundMin[1][k], node.boundMin[2][k]};
        const float hi[3] = {node.boundMax[0][k], node.boundMax[1][k], node.boundMax[2][k]};
        text +=
            bits(lo, hi) +
            (laneIsNode(node.ref[k]) ? describe(tree, laneNode(node.ref[k]))
                                     : std::to_string(static_cast<int>(laneLeaf(node.ref[k])->record->surface.ambient))) +
            " ";
    }
    return text + "]";
}

// Boxes of a few shapes: spread out, on a coarse grid (many equal centres, x and y spread alike),
// all alike (their mean exact, or rounded above or below the common centre, which sends them all
// to one part), flat, and packed ever tighter (a query tree whose subtrees start deeper than the
// surface-area splits go).
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
        if (shape == 5) {  // a chain of flat boxes, each 1.5 times nearer 0, then a tiny cloud
            const Vector c =
                k < 300 ? Vector{std::pow(1.5, -k), 0, 0} : Vector{spread(engine), spread(engine), spread(engine)} * 1e-42;
            const Vector half = k < 300 ? Vector{0, 0.5, 0.5} : Vector{0, 0, 0};
            boxes.push_back({c - half, c + half});
            continue;
        }
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
            while (list.size() > 1) pass(std::exchange(list, {}), list);
            buildBoundingSlabs();
            const std::string tree = describe(myObjectList);
            EXPECT_EQ(tree, list[0].text);
            EXPECT_EQ(nPrims, count + std::count(tree.begin(), tree.end(), '['));
        }
    }
}

// Scenes large enough that the builds hand stretches, nodes and subtrees to other threads: both
// trees come out the same, node for node and bit for bit, whatever the number of threads. The last
// build's records are made while a helper thread readies the storage ahead of them (across a
// dozen regions): they must come zero-filled all the same.
TEST_F(Bounding, ParallelBuildsGiveTheSameTrees) {
    std::mt19937 engine(77);
    for (int shape : {0, 4, 5}) {
        const auto boxes = randomBoxes(engine, 30000, shape);
        std::string first;
        for (int threads : {1, 2, 4}) {
            SCOPED_TRACE("shape " + std::to_string(shape) + ", " + std::to_string(threads) + " threads");
            reset();
            {
                std::optional<StorageAhead> helper;
                if (threads == 4) helper.emplace();
                makeRecords(boxes);
            }
            buildThreads = threads;
            buildBoundingSlabs();
            buildThreads = 1;
            const QueryTree* tree = checkedTree();
            const std::string trees = describe(myObjectList) + (tree ? describe(*tree) : "");
            EXPECT_EQ(trees, first.empty() ? first = trees : first);
        }
    }
}

// Trees over awkward boxes keep the invariants: boxes without a number at one end or both,
// infinite, huge and flat ones among ordinary ones; primitives packed ever tighter towards one end
// (each centre half as far as the one before), which must stay within maxDepth.
TEST_F(Bounding, QueryTreeKeepsItsInvariantsOverAwkwardBoxes) {
    std::mt19937 engine(3);
    std::uniform_real_distribution<double> coord(-20, 20);
    for (int k = 0; k < 400; ++k) {
        const Vector c{coord(engine), coord(engine), coord(engine)};
        Vector lo = c - Vector{1, 1, 1}, hi = c + Vector{1, 1, 1};
        switch (k % 8) {
            case 0: lo.x = nan; break;
            case 1: lo.y = hi.y = nan; break;
            case 2: hi.z = inf; break;
            case 3: lo = {-inf, -inf, -inf}, hi = {inf, inf, inf}; break;
            case 4: lo.x = -1e300, hi.x = 1e300; break;
            case 5: hi.z = lo.z; break;
        }
        record(lo, hi);
    }
    buildBoundingSlabs();
    checkedTree();
    reset();
    double x = 1.0;
    for (int k = 0; k < 1100; ++k, x *= 0.5) record({x, 0, 0}, {x, 1, 1});
    buildBoundingSlabs();
    checkedTree();
}

// A leaf's box is its primitive's rounded outwards to the nearest floats; a box without a number
// at one end of an axis spans that whole axis (rounded outwards from the other end, it would stop
// short of boxes the slab test enters, and miss their primitives).
TEST_F(Bounding, APrimitiveBoxIsRoundedOutwardsOrSpansTheWholeAxis) {
    for (const double v : {0.1, -0.1, 16.0, 1e-50, -1e-50, 1e300, -1e300}) {
        const QueryPrim prim = queryPrim(record({v, v, v}, {v, v, v}));
        EXPECT_TRUE(prim.lo[0] <= v && std::nextafter(prim.lo[0], infF) > v) << v;
        EXPECT_TRUE(prim.hi[0] >= v && std::nextafter(prim.hi[0], -infF) < v) << v;
    }
    const QueryPrim prim = queryPrim(record({nan, 2, 3}, {4, 5, 6}));
    EXPECT_TRUE(prim.lo[0] == -infF && prim.hi[0] == infF && prim.lo[1] == 2.0f);
}

QueryNode& node(QueryTree& tree, uint32_t index) { return tree.storage.as<QueryNode>()[index]; }

// Each invariant broken on purpose is named by the check.
TEST_F(Bounding, TheCheckNamesTheInvariantABrokenTreeBreaks) {
    for (int k = 0; k < 64; ++k) record({k * 2.0, 0, 0}, {k * 2.0 + 1, 1, 1});
    buildBoundingSlabs();
    QueryTree& tree = *myObjectList->children->queryTree;
    ASSERT_EQ(brokenInvariant(tree, myObjectList), nullptr);
    QueryNode& root = node(tree, 0);
    QueryNode* leaf = &root;
    while (laneIsNode(leaf->ref[0])) leaf = &node(tree, laneNode(leaf->ref[0]));
    ASSERT_NE(leaf, &root);
    const QueryNode kept = root;
    root.boundMax[0][0] = root.boundMin[0][0];
    EXPECT_STREQ(brokenInvariant(tree, myObjectList), "invariant 1: an inner lane does not enclose the lanes below it");
    root = kept;
    leaf->boundMin[1][0] = std::nextafter(leaf->boundMin[1][0], infF);
    EXPECT_STREQ(brokenInvariant(tree, myObjectList), "invariant 2: a leaf lane does not hold its primitive's box");
    leaf->boundMin[1][0] = std::nextafter(leaf->boundMin[1][0], -infF);
    QueryLeaf& held = *tree.leaves.as<QueryLeaf>();  // a copy of the record's shape gone stale
    held.shape[0] ^= 1;
    EXPECT_STREQ(brokenInvariant(tree, myObjectList), "invariant 2: a leaf does not hold its record's shape");
    held.shape[0] ^= 1;
    ASSERT_EQ(brokenInvariant(tree, myObjectList), nullptr);

    // A chain of nodes one deeper than maxDepth, its boxes all alike.
    QueryTree chain;
    chain.nodeCount = maxDepth + 2;
    chain.storage = Region(chain.nodeCount * sizeof(QueryNode));
    const Object* obj = myObjectList->children->first;
    chain.leaves = Region(sizeof(QueryLeaf));
    chain.leafCount = 1;
    QueryLeaf& last = *chain.leaves.as<QueryLeaf>();
    last.test = shapeForm(obj).test, last.record = obj;
    shapeForm(obj).copy(obj, last.shape);
    for (uint32_t k = 0; k < chain.nodeCount; ++k) {
        QueryNode& n = node(chain, k);
        for (int i = 0; i < 3; ++i) n.boundMin[i][0] = -infF, n.boundMax[i][0] = infF;
        n.ref[0] = k + 1 < chain.nodeCount ? nodeLane(k + 1) : leafLane(&last);
    }
    EXPECT_STREQ(brokenInvariant(chain, obj), "invariant 3: a query tree node lies deeper than maxDepth");
}

}  // namespace
