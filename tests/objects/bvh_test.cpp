// The query tree's premises: the three invariants, checked on trees built over awkward boxes and
// on trees broken on purpose, and a primitive's box as the tree takes it.
#include "objects/bvh.h"

#include <cmath>
#include <limits>
#include <random>
#include <string>

#include "objects/bound.h"
#include "support/scene_fixture.h"

namespace {

using QueryTreeTest = SceneTest;

constexpr double inf = std::numeric_limits<double>::infinity();
constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr float infF = std::numeric_limits<float>::infinity();

// A record with the given extents, pushed onto myObjectList and counted.
Object* record(Vector lo, Vector hi) {
    Object* obj = allocateObject();
    for (int i = 0; i < 3; ++i) {
        obj->boundMin[i] = component(lo, i);
        obj->boundMax[i] = component(hi, i);
    }
    addToList(&myObjectList, obj);
    ++nPrims;
    return obj;
}

QueryNode& node(QueryTree& tree, uint32_t index) { return tree.storage.as<QueryNode>()[index]; }

// Trees over awkward boxes keep the invariants: boxes without a number at one end or both,
// infinite, huge and flat ones among ordinary ones; primitives packed ever tighter towards one end
// (each centre half as far as the one before), which must stay within maxDepth.
TEST_F(QueryTreeTest, KeepsItsInvariantsOverAwkwardBoxes) {
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
            default: break;
        }
        record(lo, hi);
    }
    for (const bool skewed : {false, true}) {
        if (skewed) {
            reset();
            double x = 1.0;
            for (int k = 0; k < 1100; ++k, x *= 0.5) record({x, 0, 0}, {x, 1, 1});
        }
        buildBoundingSlabs();
        const QueryTree* tree = myObjectList->children->queryTree;
        ASSERT_NE(tree, nullptr);
        EXPECT_EQ(brokenInvariant(*tree, myObjectList), nullptr) << skewed;
    }
}

// A leaf's box is its primitive's rounded outwards to the nearest floats; a box without a number
// at one end of an axis spans that whole axis (rounded outwards from the other end, it would stop
// short of boxes the slab test enters, and miss their primitives).
TEST_F(QueryTreeTest, APrimitiveBoxIsRoundedOutwardsOrSpansTheWholeAxis) {
    for (const double v : {0.1, -0.1, 16.0, 1e-50, -1e-50, 1e300, -1e300}) {
        const QueryPrim prim = queryPrim(record({v, v, v}, {v, v, v}));
        EXPECT_TRUE(prim.lo[0] <= v && std::nextafter(prim.lo[0], infF) > v) << v;
        EXPECT_TRUE(prim.hi[0] >= v && std::nextafter(prim.hi[0], -infF) < v) << v;
    }
    Object* odd = record({1, 2, 3}, {4, 5, 6});
    odd->boundMin[0] = nan;
    const QueryPrim prim = queryPrim(odd);
    EXPECT_EQ(prim.lo[0], -infF);
    EXPECT_EQ(prim.hi[0], infF);
    EXPECT_EQ(prim.lo[1], 2.0f);
}

// Each invariant broken on purpose is named by the check.
TEST_F(QueryTreeTest, TheCheckNamesTheInvariantABrokenTreeBreaks) {
    for (int k = 0; k < 64; ++k) record({k * 2.0, 0, 0}, {k * 2.0 + 1, 1, 1});
    buildBoundingSlabs();
    QueryTree& tree = *myObjectList->children->queryTree;
    ASSERT_EQ(brokenInvariant(tree, myObjectList), nullptr);
    QueryNode& root = node(tree, 0);
    QueryNode* leaf = &root;
    while (laneIsNode(leaf->ref[0])) leaf = &node(tree, laneNode(leaf->ref[0]));
    ASSERT_NE(leaf, &root);
    const QueryNode rootKept = root, leafKept = *leaf;
    auto broken = [&](auto&& breakIt) {
        breakIt();
        const char* name = brokenInvariant(tree, myObjectList);
        root = rootKept, *leaf = leafKept;
        return std::string(name ? name : "none");
    };
    EXPECT_EQ(broken([&] { root.boundMax[0][0] = root.boundMin[0][0]; }),
              "invariant 1: an inner lane does not enclose the lanes below it");
    EXPECT_EQ(broken([&] { leaf->boundMin[1][0] = std::nextafter(leaf->boundMin[1][0], infF); }),
              "invariant 2: a leaf lane does not hold its primitive's box");
    EXPECT_EQ(broken([&] {  // one primitive twice, with its box, and another not at all
                  leaf->ref[0] = leaf->ref[1];
                  for (int i = 0; i < 3; ++i)
                      leaf->boundMin[i][0] = leaf->boundMin[i][1], leaf->boundMax[i][0] = leaf->boundMax[i][1];
              }),
              "invariant 2: the leaf lanes and the scene's primitives differ");

    // A chain of nodes one deeper than maxDepth, its boxes all alike.
    QueryTree chain;
    chain.nodeCount = maxDepth + 2;
    chain.storage = Region(chain.nodeCount * sizeof(QueryNode));
    const Object* obj = myObjectList->children->first;
    for (uint32_t k = 0; k < chain.nodeCount; ++k) {
        QueryNode& n = node(chain, k);
        for (int i = 0; i < 3; ++i) n.boundMin[i][0] = -infF, n.boundMax[i][0] = infF;
        n.ref[0] = k + 1 < chain.nodeCount ? nodeLane(k + 1) : primitiveLane(obj);
    }
    EXPECT_STREQ(brokenInvariant(chain, obj), "invariant 3: a query tree node lies deeper than maxDepth");
}

}  // namespace
