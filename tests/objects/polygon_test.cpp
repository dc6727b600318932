#include "objects/polygon.h"

#include "support/scene_fixture.h"

namespace {

class Polygon : public SceneTest {
protected:
    // Whether the vertical ray through (x, y) hits the polygon lying in z = 0.
    static bool hitsAt(const Object* p, double x, double y) {
        Hit hit{};
        Ray r = makeRay({x, y, 5}, {0, 0, -1});
        return p->intersectFn(p, &r, &hit) == 1;
    }
};

TEST_F(Polygon, SquareHitMissExtentsAndPrint) {
    Object* p = makePolygon(vertexArray({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}), 4);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(nPrims, 1);
    EXPECT_EQ(p->polygon.vertexCount, 4);
    EXPECT_TRUE(hitsAt(p, 0.5, 0.5));
    EXPECT_FALSE(hitsAt(p, 1.5, 0.5));
    EXPECT_FALSE(hitsAt(p, -0.5, 0.5));
    Hit hit{};
    Ray fromBelow = makeRay({0.5, 0.5, -2}, {0, 0, 1});
    ASSERT_EQ(p->intersectFn(p, &fromBelow, &hit), 1);
    EXPECT_EQ(hit.distance, 2.0);
    EXPECT_EQ(hit.entering, 1);
    // No margin, unlike the triangle.
    EXPECT_EQ(p->boundMin[0], 0.0);
    EXPECT_EQ(p->boundMax[0], 1.0);
    EXPECT_EQ(p->boundMin[2], 0.0);
    EXPECT_EQ(p->boundMax[2], 0.0);
    EXPECT_EQ(p->normalFn(p, {0, 0, 0}).z, p->normalFn(p, {9, 9, 0}).z);
    EXPECT_EQ(printed([&] { p->printFn(p); }), "polygon\n");
}

TEST_F(Polygon, NotchOfAConcaveOutline) {
    // An L: the square 0..2 without its upper right quarter.
    Object* p = makePolygon(vertexArray({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}), 6);
    EXPECT_TRUE(hitsAt(p, 0.5, 1.5));
    EXPECT_TRUE(hitsAt(p, 1.5, 0.5));
    EXPECT_FALSE(hitsAt(p, 1.5, 1.5));
}

TEST_F(Polygon, CornersAtTheHeightOfTheHitPoint) {
    // A diamond: its left and right corners are at y = 1, one neighbour below, one above.
    Object* diamond = makePolygon(vertexArray({{1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}}), 4);
    EXPECT_TRUE(hitsAt(diamond, 1, 1));
    EXPECT_FALSE(hitsAt(diamond, 2.5, 1));
    EXPECT_FALSE(hitsAt(diamond, -0.5, 1));
    // A peak at (1, 1) with both neighbours below: counted twice or not at all.
    Object* peak = makePolygon(vertexArray({{0, 0, 0}, {2, 0, 0}, {1, 1, 0}, {0, 0.5, 0}}), 4);
    EXPECT_FALSE(hitsAt(peak, 0.5, 1));
    EXPECT_FALSE(hitsAt(peak, 1.5, 1));
    // A valley at (1, 1) with both neighbours above.
    Object* valley = makePolygon(vertexArray({{0, 2, 0}, {1, 1, 0}, {2, 2, 0}, {1, 3, 0}}), 4);
    EXPECT_FALSE(hitsAt(valley, 0.5, 1));
    EXPECT_FALSE(hitsAt(valley, 1.5, 1));
    EXPECT_TRUE(hitsAt(valley, 1, 2));
}

TEST_F(Polygon, TiltedPolygonUsesItsOwnPlane) {
    // In the plane x + z = 1, projected onto y and z (|nx| = |nz| drops x).
    Object* p = makePolygon(vertexArray({{1, 0, 0}, {1, 1, 0}, {0, 1, 1}, {0, 0, 1}}), 4);
    EXPECT_EQ(p->polygon.axisU, 1);
    EXPECT_EQ(p->polygon.axisV, 2);
    Hit hit{};
    Ray r = makeRay({0.5, 0.5, 5}, {0, 0, -1});
    ASSERT_EQ(p->intersectFn(p, &r, &hit), 1);
    EXPECT_NEAR(hit.distance, 4.5, 1e-12);
    Ray miss = makeRay({0.5, 1.5, 5}, {0, 0, -1});
    EXPECT_EQ(p->intersectFn(p, &miss, &hit), 0);
}

}  // namespace
