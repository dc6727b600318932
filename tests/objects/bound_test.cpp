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

// The records from obj on and everything below them: leaves by number, nodes with their exact
// extents and counts.
std::string describe(const Object* obj) {
    std::string text;
    for (char head[256]; obj; obj = obj->next) {
        if (obj->kind != kindNode) {
            text += std::to_string(static_cast<int>(obj->surface.ambient)) + " ";
            continue;
        }
        std::snprintf(head, sizeof head, "[%d: %a %a %a %a %a %a ", obj->children->count, obj->boundMin[0],
                      obj->boundMax[0], obj->boundMin[1], obj->boundMax[1], obj->boundMin[2], obj->boundMax[2]);
        text += head + describe(obj->children->first) + "] ";
    }
    return text;
}

// Boxes spread out at random, their centres in a plane when flat.
std::vector<std::pair<Vector, Vector>> randomBoxes(std::mt19937& engine, int count, bool flat) {
    std::uniform_real_distribution<double> spread(-50.0, 50.0), size(0.0, 2.0);
    std::vector<std::pair<Vector, Vector>> boxes;
    for (int k = 0; k < count; ++k) {
        const Vector centre{spread(engine), spread(engine), flat ? 0.0 : spread(engine)};
        const Vector half{size(engine), size(engine), size(engine)};
        boxes.push_back({centre - half, centre + half});
    }
    return boxes;
}

// The query tree from its root, depth first: each lane's box bit for bit and what it holds.
std::string describe(const QueryTree& tree, uint32_t index = 0) {
    std::string text = "[";
    const QueryNode& node = tree.nodes()[index];
    for (int k = 0; k < 4 && node.ref[k]; ++k) {
        char box[256];
        std::snprintf(box, sizeof box, "%a %a %a %a %a %a ", node.boundMin[0][k], node.boundMax[0][k],
                      node.boundMin[1][k], node.boundMax[1][k], node.boundMin[2][k], node.boundMax[2][k]);
        text += box;
        text += laneIsNode(node.ref[k]) ? describe(tree, laneNode(node.ref[k]))
                                        : std::to_string(static_cast<int>(lanePrimitive(node.ref[k])->surface.ambient));
        text += " ";
    }
    return text + "]";
}

SlabEntry entry(double x, double y, double z, Object* obj = nullptr) { return {{x, y, z}, obj}; }

// The axis of widest spread (ties to the earlier axis) and the mean of the doubled centres along
// it, added up in run order.
TEST_F(Bounding, FindAxisTakesTheWidestSpreadAndTheMeanInRunOrder) {
    const SlabEntry xy[] = {entry(0, 0, 0), entry(2, 2, 1)};
    EXPECT_EQ(findAxis(xy, 2).axis, 0);
    const SlabEntry yz[] = {entry(0, 0, 0), entry(1, 2, 2)};
    EXPECT_EQ(findAxis(yz, 2).axis, 1);
    const SlabEntry z[] = {entry(0, 0, 0), entry(1, 1, 3)};
    EXPECT_EQ(findAxis(z, 2).axis, 2);
    // (1e16 + 1) - 1e16 is 0 in doubles, 1e16 - 1e16 + 1 is 1: the sum goes in run order.
    const SlabEntry order[] = {entry(1e16, 0, 0), entry(1, 0, 0), entry(-1e16, 0, 0)};
    const SlabSplit split = findAxis(order, 3);
    EXPECT_EQ(split.axis, 0);
    EXPECT_EQ(split.median, 0.0);
    const SlabEntry mean[] = {entry(8, 0, 0), entry(6, 0, 0), entry(4, 0, 0), entry(2, 0, 0), entry(0, 0, 0)};
    EXPECT_EQ(findAxis(mean, 5).median, 4.0);
}

// A split moves the entries as relinking the records would: each part in the reverse of the order
// its entries had, the high part (centres at the mean or above) first; a part left empty takes
// floor(n / 2) entries from the front of the other.
TEST_F(Bounding, SortAndSplitArrangesTheEntriesAsRelinkingWould) {
    Object s[6]{};
    auto order = [&](const SlabEntry* run, long n) {
        std::string text;
        for (long k = 0; k < n; ++k) text += static_cast<char>('0' + (run[k].obj - s));
        return text;
    };
    SlabEntry level[6], scratch[6];
    SlabEntry* const sides[2] = {level, scratch};
    // Five spheres at x = 4, 3, 2, 1, 0 in list order: mean doubled centre 4.
    for (int k = 0; k < 5; ++k) level[k] = entry(2.0 * (4 - k), 0, 0, &s[4 - k]);
    std::vector<SlabPiece> pieces;
    sortAndSplit(sides, {0, 5, 0, findAxis(level, 5)}, bunching, pieces);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(pieces[0].count, 3);  // S3, S4, S5 in that order (indices 2, 3, 4)
    EXPECT_EQ(pieces[1].count, 2);  // S1, S2
    EXPECT_EQ(order(sides[pieces[0].side] + pieces[0].start, 3), "234");
    EXPECT_EQ(order(sides[pieces[1].side] + pieces[1].start, 2), "01");

    // All centres alike: all go high, and the last two (floor(5 / 2)) move to the low part as they
    // stand.
    for (int k = 0; k < 5; ++k) level[k] = entry(1, 1, 1, &s[k]);
    pieces.clear();
    sortAndSplit(sides, {0, 5, 0, findAxis(level, 5)}, 5, pieces);  // keep 5: left whole
    EXPECT_EQ(pieces.size(), 1u);
    pieces.clear();
    sortAndSplit(sides, {0, 5, 0, findAxis(level, 5)}, bunching, pieces);
    ASSERT_EQ(pieces.size(), 2u);
    EXPECT_EQ(order(sides[pieces[0].side] + pieces[0].start, pieces[0].count), "210");
    EXPECT_EQ(order(sides[pieces[1].side] + pieces[1].start, pieces[1].count), "34");
}

TEST_F(Bounding, FiveSpheresInTwoPasses) {
    std::vector<Object*> s;
    for (int k = 0; k < 5; ++k) s.push_back(makeSphere({k * 1.0, 0, 0}, 1));
    buildBoundingSlabs();
    // Mean doubled centre 4: S3 (exactly 4) goes to the high part, which comes first; each part
    // lists its records in the order pushing them gives.
    const Object* high = myObjectList->children->first;
    const Object* low = high->next;
    EXPECT_EQ(high->children->count, 3);
    EXPECT_EQ(high->children->first, s[2]);
    EXPECT_EQ(high->children->first->next, s[3]);
    EXPECT_EQ(low->children->count, 2);
    EXPECT_EQ(low->children->first, s[0]);
    EXPECT_EQ(low->children->first->next, s[1]);
    EXPECT_EQ(high->boundMin[0], 1.0);  // exactly the children's extents
    EXPECT_EQ(high->boundMax[0], 5.0);
    EXPECT_EQ(nPrims, 8);
    EXPECT_EQ(myObjectList->next, nullptr);
}

TEST_F(Bounding, ListShorterThanItsCountEndsTheRun) {
    for (int k = 0; k < 6; ++k) makeSphere({k * 1.0, 0, 0}, 1);
    nPrims = 8;
    EXPECT_EQ(endsRun(buildBoundingSlabs, 1), "NULL top in FindAxis, count = 1\n");
}

using BoundingThreads = Bounding;

// Scenes large enough that the builds hand stretches, nodes and subtrees to other threads: both
// trees come out the same, node for node and bit for bit, whatever the number of threads.
TEST_F(BoundingThreads, ParallelBuildsGiveTheSameTrees) {
    std::mt19937 engine(77);
    for (const bool flat : {false, true}) {
        SCOPED_TRACE(flat ? "flat" : "spread");
        const auto boxes = randomBoxes(engine, 20000, flat);
        std::string slabs[3], query[3];
        const int threads[3] = {1, 2, 4};
        for (int t = 0; t < 3; ++t) {
            reset();
            buildThreads = threads[t];
            makeRecords(boxes, &myObjectList);
            nPrims = static_cast<long>(boxes.size());
            buildBoundingSlabs();
            buildThreads = 1;
            slabs[t] = describe(myObjectList);
            const QueryTree* tree = myObjectList->children->queryTree;
            ASSERT_NE(tree, nullptr);
            EXPECT_EQ(brokenInvariant(*tree, myObjectList), nullptr);
            query[t] = describe(*tree);
        }
        EXPECT_EQ(slabs[1], slabs[0]);
        EXPECT_EQ(slabs[2], slabs[0]);
        EXPECT_EQ(query[1], query[0]);
        EXPECT_EQ(query[2], query[0]);
    }
}

// Records made while a helper thread readies the storage ahead of them (across a dozen regions)
// come zero-filled, and the trees over them are the trees made without it.
TEST_F(BoundingThreads, StorageReadiedAheadHandsOutFreshRecords) {
    std::mt19937 engine(78);
    const auto boxes = randomBoxes(engine, 30000, false);
    std::string trees[2];
    for (int ahead = 0; ahead < 2; ++ahead) {
        reset();
        {
            std::optional<StorageAhead> helper;
            if (ahead) helper.emplace();
            makeRecords(boxes, &myObjectList);
        }
        nPrims = static_cast<long>(boxes.size());
        buildBoundingSlabs();
        trees[ahead] = describe(myObjectList) + describe(*myObjectList->children->queryTree);
    }
    EXPECT_EQ(trees[1], trees[0]);
}

}  // namespace
