#include "objects/triangle.h"

#include "support/scene_fixture.h"

namespace {

class Triangle : public SceneTest {};

TEST_F(Triangle, PlaneBothSidesCrossingsAndTolerance) {
    Object* t = makeTriangle(vertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    EXPECT_EQ(nPrims, 1);
    expectVector(t->normalFn(t, {7, 8, 9}), {0, 0, -1});
    EXPECT_EQ(t->triangle.d, 0.0);
    expectRays(t, {
                      {{0.25, 0.25, 5}, {0, 0, -1}, 5},
                      {{0.25, 0.25, -5}, {0, 0, 1}, 5},
                      {{0.75, 0.75, 5}, {0, 0, -1}, -1},  // two crossings
                      {{-1, 0.25, 0}, {1, 0, 0}, -1},     // along the plane
                      {{0.25, 0.25, 5}, {0, 0, 1}, -1},
                      // A crossing up to 0.001 beyond the point counts: just inside the far edge misses.
                      {{0.4995, 0.5, 5}, {0, 0, -1}, -1},
                      {{0.498, 0.5, 5}, {0, 0, -1}, 5},
                  });
    EXPECT_EQ(t->boundMin[0], -0.001);  // a margin on every side
    EXPECT_EQ(t->boundMax[2], 0.001);
    EXPECT_EQ(printLine(t), "triangle\n");
    Object* line = makeTriangle(vertexArray({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}));
    expectRays(line, {{{1, 1, 5}, {0, 0, -1}, -1}, {{1, 1, 5}, {-1, -1, -1}, -1}});
}

TEST_F(Triangle, ProjectionDropsTheLargestNormalCoordinateXFirst) {
    Object* t = makeTriangle(vertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    EXPECT_EQ(t->triangle.axisU * 10 + t->triangle.axisV, 1);           // x, y
    t = makeTriangle(vertexArray({{0, 0, 0}, {1, -1, 0}, {0, 0, 1}}));  // |nx| = |ny| > |nz|
    EXPECT_EQ(t->triangle.axisU * 10 + t->triangle.axisV, 12);          // y, z
    t = makeTriangle(vertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, -1}}));  // |ny| = |nz| > |nx|
    EXPECT_EQ(t->triangle.axisU * 10 + t->triangle.axisV, 2);           // x, z
}

}  // namespace
