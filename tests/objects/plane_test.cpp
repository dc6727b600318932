#include "objects/plane.h"

#include "support/scene_fixture.h"

namespace {

class Plane : public SceneTest {};

TEST_F(Plane, OneSidedWithAZeroThreshold) {
    Object* p = makePlane({0, 0, 2}, 3);  // z = 3: the normal is made unit, the distance kept
    EXPECT_EQ(nPrims, 1);
    expectRays(p, {
                      {{0, 0, -2}, {0, 0, 1}, 5},
                      {{0, 0, 5}, {0, 0, -1}, -1},  // travelling against the normal
                      {{0, 0, -2}, {1, 0, 0}, -1},
                      {{0, 0, -2}, {0.99999975, 0, 0.0005}, -1},  // cosine below 0.001
                      {{1, 1, 3}, {0, 0, 1}, 0},                  // starting on it
                      {{1, 1, 3.5}, {0, 0, 1}, -1},
                  });
    EXPECT_EQ(p->normalFn(p, {9, 9, 3}).z, 1.0);
    EXPECT_EQ(p->boundMin[0], -1e10);
    EXPECT_EQ(p->boundMax[2], 1e10);
}

TEST_F(Plane, SceneFloorPrintsNegatedZeros) {
    // A scene plane of normal (0, 1, 0) and distance -1 arrives negated: the floor y = -1.
    Object* p = makePlane(-Vector{0, 1, 0}, 1.0);
    expectRays(p, {{{3, 4, 5}, {0, -1, 0}, 5}});
    EXPECT_EQ(printLine(p), "Plane: Nx = -0, Ny = -1, Nz = -0, D = -1\n");
}

}  // namespace
