#include "objects/ring.h"

#include "support/scene_fixture.h"

namespace {

class Ring : public SceneTest {};

TEST_F(Ring, BothSidesBothCirclesAndThreshold) {
    Object* ring = makeRing({0, 0, 0}, {0, 0, 1}, 0.5, 1);
    EXPECT_EQ(nPrims, 1);
    expectRays(ring, {
                         {{0.75, 0, 5}, {0, 0, -1}, 5},
                         {{0.75, 0, -5}, {0, 0, 1}, 5},
                         {{1, 0, 5}, {0, 0, -1}, 5},    // on the outer circle
                         {{0.5, 0, 5}, {0, 0, -1}, 5},  // on the inner circle
                         {{1.5, 0, 5}, {0, 0, -1}, -1},
                         {{0.25, 0, 5}, {0, 0, -1}, -1},  // in the hole
                         {{-5, 0, 0}, {1, 0, 0}, -1},
                         {{0.75, 0, 0.0005}, {0, 0, -1}, -1},
                     });
}

TEST_F(Ring, NormalIsMadeUnitBeforeThePlaneAndExtents) {
    Object* disc = makeRing({4, 5, 6}, {0, 0, 2}, 0, 2);
    EXPECT_EQ(disc->normalFn(disc, {4, 5, 6}).z, 1.0);
    expectRays(disc, {{{4.5, 5, 10}, {0, 0, -1}, 4}});
    EXPECT_EQ(disc->boundMin[0], 2.0);
    EXPECT_EQ(disc->boundMax[1], 7.0);
    EXPECT_EQ(disc->boundMin[2], 6.0);  // flat along its normal
    EXPECT_EQ(disc->boundMax[2], 6.0);
    EXPECT_EQ(printLine(disc), "Ring: Nx = 0, Ny = 0, Nz = 1\n Cx = 4, Cy = 5, Cz = 6\n");
    Object* tilted = makeRing({0, 0, 0}, {3, 0, 4}, 0, 1);
    EXPECT_NEAR(tilted->boundMax[0], 0.8, 1e-12);
    Object* none = makeRing({0, 0, 0}, {0, 0, 0}, 0, 1);  // refused by the parser; never hit here
    expectRays(none, {{{0.1, 0.2, 5}, {0, 0, -1}, -1}, {{0.1, 0.2, 5}, {1, 2, 3}, -1}});
}

}  // namespace
