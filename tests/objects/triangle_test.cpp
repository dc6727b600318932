#include "objects/triangle.h"

#include "support/scene_fixture.h"

namespace {

class Triangle : public SceneTest {};

TEST_F(Triangle, PlaneNormalAndProjection) {
    Object* t = makeTriangle(vertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    ASSERT_NE(t, nullptr);
    EXPECT_EQ(nPrims, 1);
    EXPECT_EQ(t->triangle.normal.z, -1.0);
    EXPECT_EQ(t->triangle.d, 0.0);
    EXPECT_EQ(t->triangle.axisU, 0);
    EXPECT_EQ(t->triangle.axisV, 1);
    Vector n = t->normalFn(t, {123, 4, 5});
    EXPECT_EQ(n.z, -1.0);

    Object* inX = makeTriangle(vertexArray({{2, 0, 0}, {2, 1, 0}, {2, 0, 1}}));  // drops x
    EXPECT_EQ(inX->triangle.axisU, 1);
    EXPECT_EQ(inX->triangle.axisV, 2);
    // |nx| = |ny| > |nz|: the tie drops x.
    Object* tie = makeTriangle(vertexArray({{0, 0, 0}, {1, -1, 0}, {0, 0, 1}}));
    EXPECT_EQ(tie->triangle.axisU, 1);
    EXPECT_EQ(tie->triangle.axisV, 2);
    // |ny| = |nz| > |nx|: the tie drops y.
    Object* tieYZ = makeTriangle(vertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, -1}}));
    EXPECT_EQ(tieYZ->triangle.axisU, 0);
    EXPECT_EQ(tieYZ->triangle.axisV, 2);
}

TEST_F(Triangle, HitFromBothSidesMissOutside) {
    Object* t = makeTriangle(vertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    Hit hit{};
    Ray above = makeRay({0.25, 0.25, 5}, {0, 0, -1});
    ASSERT_EQ(t->intersectFn(t, &above, &hit), 1);
    EXPECT_EQ(hit.distance, 5.0);
    EXPECT_EQ(hit.entering, 1);
    EXPECT_EQ(hit.object, t);
    Ray below = makeRay({0.25, 0.25, -5}, {0, 0, 1});
    EXPECT_EQ(t->intersectFn(t, &below, &hit), 1);
    Ray outside = makeRay({0.75, 0.75, 5}, {0, 0, -1});  // two crossings
    EXPECT_EQ(t->intersectFn(t, &outside, &hit), 0);
    Ray inPlane = makeRay({-1, 0.25, 0}, {1, 0, 0});
    EXPECT_EQ(t->intersectFn(t, &inPlane, &hit), 0);
    Ray behind = makeRay({0.25, 0.25, 5}, {0, 0, 1});
    EXPECT_EQ(t->intersectFn(t, &behind, &hit), 0);
}

TEST_F(Triangle, EdgesHaveA0001ToleranceOnTheLowSide) {
    // Inside is below the diagonal y = x; a point left of it by less than 0.001 still counts.
    Object* t = makeTriangle(vertexArray({{0, 0, 0}, {2, 2, 0}, {2, 0, 0}}));
    Hit hit{};
    Ray justOutside = makeRay({0.9995, 1, 5}, {0, 0, -1});
    EXPECT_EQ(t->intersectFn(t, &justOutside, &hit), 1);
    Ray outside = makeRay({0.998, 1, 5}, {0, 0, -1});
    EXPECT_EQ(t->intersectFn(t, &outside, &hit), 0);
}

TEST_F(Triangle, ExtentsHaveAMarginAndPrint) {
    Object* t = makeTriangle(vertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    EXPECT_EQ(t->boundMin[0], -0.001);
    EXPECT_EQ(t->boundMax[0], 1.001);
    EXPECT_EQ(t->boundMin[2], -0.001);
    EXPECT_EQ(t->boundMax[2], 0.001);
    EXPECT_EQ(printed([&] { t->printFn(t); }), "triangle\n");
}

TEST_F(Triangle, CollinearCornersNeverHit) {
    Object* t = makeTriangle(vertexArray({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}));
    Hit hit{};
    for (Vector d : {Vector{0, 0, -1}, Vector{1, 0, 0}, Vector{-1, -1, -1}}) {
        Ray r = makeRay({1, 1, 5}, d);
        EXPECT_EQ(t->intersectFn(t, &r, &hit), 0);
    }
}

}  // namespace
