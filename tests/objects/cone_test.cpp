#include "objects/cone.h"

#include <cmath>

#include "support/scene_fixture.h"

namespace {

class Cone : public SceneTest {};

TEST_F(Cone, OpenCylinderRootsAndHeights) {
    Object* c = makeCone({0, 0, 0}, 1, {0, 0, 2}, 1);
    EXPECT_EQ(nPrims, 1);
    expectRays(c, {
                      {{5, 0, 1}, {-1, 0, 0}, 4, 0},     // never entering
                      {{0, 0, 1}, {1, 0, 0}, 1, 0},      // from inside: t1 = -1 refused
                      {{5, 0, 3}, {-1, 0, 0}, -1},       // above the cap height
                      {{0.5, 0, 5}, {-0.1, 0, -1}, -1},  // in through the open cap, out through the base
                      {{-2, 0, 4}, {1, 0, -1}, 3 * std::sqrt(2.0), 0},  // near root too high: inner wall
                  });
    expectVector(c->normalFn(c, {1, 0, 1}), {1, 0, 0});
    EXPECT_EQ(printLine(c), "Cone: 0 0 0 1 0 0 2 1\n");
    Object* none = makeCone({0, 0, 0}, 1, {0, 0, 0}, 1);  // base equal to cap: never hit
    expectRays(none, {{{-5, 0.1, 0.2}, {1, 0, 0}, -1}, {{-5, 0.1, 0.2}, {1, 1, 1}, -1}});
}

TEST_F(Cone, ObliqueCylinderAtItsTrueRadius) {
    Object* c = makeCone({0, 0, 0}, 1, {0, 1.2, 1.6}, 1);
    expectRays(c, {{{5, 0.6, 0.8}, {-1, 0, 0}, 4, 0}});
    // x spans the radius; y and z are narrowed by the sines of the tilt, 0.8 and 0.6.
    const double expected[3][2] = {{-1, 1}, {-0.8, 2}, {-0.6, 2.2}};
    for (int i = 0; i < 3; ++i) {
        EXPECT_NEAR(c->boundMin[i], expected[i][0], 1e-12);
        EXPECT_NEAR(c->boundMax[i], expected[i][1], 1e-12);
    }
}

TEST_F(Cone, SlopeNormalParallelRayAndSwappedHeights) {
    Object* c = makeCone({0, 0, 0}, 1, {0, 0, 1}, 0);
    EXPECT_EQ(c->cone.slope, -1.0);
    EXPECT_EQ(c->boundMin[1], -1.0);
    EXPECT_EQ(c->boundMin[2], 0.0);  // along its axis: the span of the two centres
    EXPECT_EQ(c->boundMax[2], 1.0);
    expectVector(c->normalFn(c, {0.5, 0, 0.5}), {std::sqrt(0.5), 0, std::sqrt(0.5)});
    // Parallel to a generating line (no quadratic term): one root, at (0.75, 0, 0.25).
    expectRays(c, {{{0, 0, -0.5}, {1, 0, 1}, 0.75 * std::sqrt(2.0), 0}});
    Object* upsideDown = makeCone({0, 0, 2}, 0.5, {0, 0, 0}, 1);
    expectRays(upsideDown, {{{5, 0, 0.5}, {-1, 0, 0}, 5 - 0.875, 0}});
}

}  // namespace
