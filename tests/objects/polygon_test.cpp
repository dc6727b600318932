#include "objects/polygon.h"

#include "support/scene_fixture.h"

namespace {

class Polygon : public SceneTest {};

// Whether the vertical ray through (x, y) hits a polygon lying in z = 0.
bool hitsAt(const Object* p, double x, double y) {
    Hit hit{};
    Ray r = makeRay({x, y, 5}, {0, 0, -1});
    return p->intersectFn(p, &r, &hit) == 1;
}

TEST_F(Polygon, ConcaveOutlineExtentsAndPrint) {
    // An L: the square 0..2 without its upper right quarter.
    Object* p =
        makePolygon(vertexArray({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}), 6);
    EXPECT_EQ(nPrims, 1);
    EXPECT_TRUE(hitsAt(p, 0.5, 1.5) && hitsAt(p, 1.5, 0.5));
    EXPECT_FALSE(hitsAt(p, 1.5, 1.5) || hitsAt(p, 2.5, 0.5));
    expectRays(p, {{{0.5, 0.5, -2}, {0, 0, 1}, 2}});
    EXPECT_EQ(p->boundMin[0], 0.0);  // no margin, unlike the triangle
    EXPECT_EQ(p->boundMax[1], 2.0);
    EXPECT_EQ(p->boundMin[2], 0.0);
    EXPECT_EQ(p->boundMax[2], 0.0);
    EXPECT_EQ(printLine(p), "polygon\n");
    Object* tilted = makePolygon(vertexArray({{1, 0, 0}, {1, 1, 0}, {0, 1, 1}, {0, 0, 1}}), 4);  // x + z = 1
    expectRays(tilted, {{{0.5, 0.5, 5}, {0, 0, -1}, 4.5}, {{0.5, 1.5, 5}, {0, 0, -1}, -1}});
}

TEST_F(Polygon, CornersAtTheHeightOfTheHitPoint) {
    // Left and right corners at y = 1, one neighbour below and one above: one edge counts.
    Object* diamond = makePolygon(vertexArray({{1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}}), 4);
    EXPECT_TRUE(hitsAt(diamond, 1, 1));
    EXPECT_FALSE(hitsAt(diamond, 2.5, 1) || hitsAt(diamond, -0.5, 1));
    // A peak at (1, 1) with both neighbours below: both edges count, or neither.
    Object* peak = makePolygon(vertexArray({{0, 0, 0}, {2, 0, 0}, {1, 1, 0}, {0, 0.5, 0}}), 4);
    EXPECT_FALSE(hitsAt(peak, 0.5, 1) || hitsAt(peak, 1.5, 1));
    // A valley at (1, 1) with both neighbours above: no edge counts.
    Object* valley = makePolygon(vertexArray({{0, 2, 0}, {1, 1, 0}, {2, 2, 0}, {1, 3, 0}}), 4);
    EXPECT_FALSE(hitsAt(valley, 0.5, 1));
    EXPECT_TRUE(hitsAt(valley, 1, 2));
}

}  // namespace
