#include "objects/bound.h"

#include <algorithm>
#include <vector>

#include "objects/sphere.h"
#include "support/scene_fixture.h"

namespace {

class Bounding : public SceneTest {};

std::vector<Object*> children(const Object* node) {
    std::vector<Object*> list;
    for (Object* c = node->children->first; c; c = c->next) list.push_back(c);
    EXPECT_EQ(node->children->count, static_cast<int>(list.size()));
    return list;
}

// Unit spheres at x = 0, 1, 2, 3, 4, made in order (the list reads them backwards).
std::vector<Object*> fiveSpheres() {
    std::vector<Object*> made;
    for (int k = 0; k < 5; ++k) made.push_back(makeSphere({k * 1.0, 0, 0}, 1));
    return made;
}

// The low part made by the first split of the whole list: the second record afterwards.
std::vector<Object*> lowPart() {
    EXPECT_EQ(sortAndSplit(&myObjectList, nPrims), 1);
    return children(myObjectList->next);
}

TEST_F(Bounding, FiveSpheresPassByPass) {
    const auto s = fiveSpheres();
    const long before = boundingTotal();
    // Mean doubled centre 4: S3 (exactly 4) goes to the high part, which comes first.
    ASSERT_EQ(sortAndSplit(&myObjectList, 5), 1);
    EXPECT_EQ(before - boundingTotal(), 3);
    Object* high = myObjectList;
    Object* low = high->next;
    EXPECT_EQ(children(high), (std::vector<Object*>{s[2], s[3], s[4]}));
    EXPECT_EQ(children(low), (std::vector<Object*>{s[0], s[1]}));
    EXPECT_EQ(high->boundMin[0], 1.0);  // exactly the children's extents
    EXPECT_EQ(high->boundMax[0], 5.0);
    EXPECT_EQ(sortAndSplit(&myObjectList, 2), 0);
    EXPECT_EQ(children(myObjectList), (std::vector<Object*>{high, low}));
    EXPECT_EQ(nPrims, 8);

    reset();
    fiveSpheres();
    buildBoundingSlabs();
    EXPECT_EQ(boundingTotal(), 1);
    EXPECT_EQ(nPrims, 8);
    EXPECT_EQ(myObjectList->next, nullptr);
}

TEST_F(Bounding, SmallScenes) {
    buildBoundingSlabs();
    EXPECT_EQ(myObjectList, nullptr);
    Object* one = makeSphere({3, 0, 0}, 1);
    buildBoundingSlabs();
    EXPECT_EQ(myObjectList, one);
    EXPECT_EQ(nPrims, 1);
    for (int n = 2; n <= 4; ++n) {
        reset();
        std::vector<Object*> made;
        for (int k = 0; k < n; ++k) made.insert(made.begin(), makeSphere({k * 10.0, 0, -k * 1.0}, 1));
        buildBoundingSlabs();
        EXPECT_EQ(boundingTotal(), 1);
        EXPECT_EQ(nPrims, n + 1);
        EXPECT_EQ(children(myObjectList), made);  // in list order
        EXPECT_EQ(myObjectList->boundMax[0], (n - 1) * 10.0 + 1);
        EXPECT_EQ(myObjectList->boundMin[2], -n * 1.0);
    }
}

TEST_F(Bounding, EqualCentresAndAxisTies) {
    // Doubled centres all equal: all go high, then the three nearest the end of the run move.
    std::vector<Object*> s;
    for (int k = 0; k < 6; ++k) s.push_back(makeSphere({1, 1, 1}, 1 + k));
    EXPECT_EQ(lowPart(), (std::vector<Object*>{s[2], s[1], s[0]}));
    EXPECT_EQ(children(myObjectList), (std::vector<Object*>{s[3], s[4], s[5]}));
    // Placed by their first coordinates the low part is S1, S2, S3; by their second, S1, S3, S6.
    const double p[6][2] = {{0, 0}, {1, 5}, {2, 1}, {3, 3}, {4, 4}, {5, 2}};
    auto lowOf = [&](auto centre) {
        reset();
        std::vector<Object*> made;
        for (const auto& c : p) made.push_back(makeSphere(centre(c[0], c[1]), 1));
        std::vector<long> indices;
        for (Object* o : lowPart()) indices.push_back(std::find(made.begin(), made.end(), o) - made.begin());
        return indices;
    };
    const std::vector<long> first{0, 1, 2};
    const std::vector<long> second{0, 2, 5};
    EXPECT_EQ(lowOf([](double a, double b) { return Vector{a, b, 0}; }), first);         // x = y: x
    EXPECT_EQ(lowOf([](double a, double b) { return Vector{0.1 * a, a, b}; }), first);   // y = z: y
    EXPECT_EQ(lowOf([](double a, double b) { return Vector{a, 0, 1.5 * b}; }), second);  // z wider
}

TEST_F(Bounding, ListShorterThanItsCountEndsTheRun) {
    for (int k = 0; k < 6; ++k) makeSphere({k * 1.0, 0, 0}, 1);
    nPrims = 8;
    EXPECT_EQ(abortMessage(buildBoundingSlabs), "NULL top in FindAxis, count = 1\n");
    reset();  // a run too short to group fails the same way instead of walking off the list
    makeSphere({0, 0, 0}, 1);
    makeSphere({1, 0, 0}, 1);
    nPrims = 3;
    EXPECT_EQ(abortMessage(buildBoundingSlabs), "NULL top in FindAxis, count = 0\n");
}

}  // namespace
