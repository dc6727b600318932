#include "objects/ring.h"

#include <cmath>

#include "support/scene_fixture.h"

namespace {

class Ring : public SceneTest {};

TEST_F(Ring, DiscSeenFromBothSidesUpToItsRim) {
    Object* disc = makeRing({0, 0, 0}, {0, 0, 1}, 0, 1);
    ASSERT_NE(disc, nullptr);
    EXPECT_EQ(nPrims, 1);
    Hit hit{};
    Ray above = makeRay({0.5, 0, 5}, {0, 0, -1});
    ASSERT_EQ(disc->intersectFn(disc, &above, &hit), 1);
    EXPECT_EQ(hit.distance, 5.0);
    EXPECT_EQ(hit.entering, 1);
    EXPECT_EQ(hit.object, disc);
    Ray below = makeRay({0.5, 0, -5}, {0, 0, 1});
    ASSERT_EQ(disc->intersectFn(disc, &below, &hit), 1);
    EXPECT_EQ(hit.distance, 5.0);
    Ray outside = makeRay({1.5, 0, 5}, {0, 0, -1});
    EXPECT_EQ(disc->intersectFn(disc, &outside, &hit), 0);
    Ray rim = makeRay({1, 0, 5}, {0, 0, -1});
    EXPECT_EQ(disc->intersectFn(disc, &rim, &hit), 1);
    Ray along = makeRay({-5, 0, 0}, {1, 0, 0});
    EXPECT_EQ(disc->intersectFn(disc, &along, &hit), 0);
    Ray tooClose = makeRay({0.5, 0, 0.0005}, {0, 0, -1});
    EXPECT_EQ(disc->intersectFn(disc, &tooClose, &hit), 0);
}

TEST_F(Ring, HoleExcludesInsideItsInnerCircle) {
    Object* ring = makeRing({0, 0, 0}, {0, 0, 1}, 0.5, 1);
    Hit hit{};
    Ray hole = makeRay({0.25, 0, 5}, {0, 0, -1});
    EXPECT_EQ(ring->intersectFn(ring, &hole, &hit), 0);
    Ray inner = makeRay({0.5, 0, 5}, {0, 0, -1});
    EXPECT_EQ(ring->intersectFn(ring, &inner, &hit), 1);
}

TEST_F(Ring, ExtentsPrintAndNormal) {
    Object* disc = makeRing({4, 5, 6}, {0, 0, 1}, 0, 2);
    EXPECT_EQ(disc->boundMin[0], 2.0);
    EXPECT_EQ(disc->boundMax[0], 6.0);
    EXPECT_EQ(disc->boundMin[1], 3.0);
    EXPECT_EQ(disc->boundMax[1], 7.0);
    EXPECT_EQ(disc->boundMin[2], 6.0);  // flat along its normal
    EXPECT_EQ(disc->boundMax[2], 6.0);
    EXPECT_EQ(printed([&] { disc->printFn(disc); }), "Ring: Nx = 0, Ny = 0, Nz = 1\n Cx = 4, Cy = 5, Cz = 6\n");
}

TEST_F(Ring, NormalIsMadeUnitBeforeThePlaneAndExtents) {
    Object* ring = makeRing({0, 0, 3}, {0, 0, 4}, 0, 1);
    Vector n = ring->normalFn(ring, {0, 0, 3});
    EXPECT_EQ(n.z, 1.0);
    EXPECT_EQ(ring->ring.d, -3.0);
    EXPECT_EQ(ring->boundMin[2], 3.0);
    EXPECT_EQ(ring->boundMax[0], 1.0);
    Hit hit{};
    Ray r = makeRay({0.5, 0, 5}, {0, 0, -1});
    ASSERT_EQ(ring->intersectFn(ring, &r, &hit), 1);
    EXPECT_EQ(hit.distance, 2.0);

    // Tilted and not unit: the box along x narrows by the sine of the tilt.
    Object* tilted = makeRing({0, 0, 0}, {3, 0, 4}, 0, 1);
    EXPECT_NEAR(tilted->boundMax[0], 0.8, 1e-12);
    EXPECT_NEAR(tilted->boundMax[2], 0.6, 1e-12);
}

TEST_F(Ring, ZeroNormalIsNeverHit) {
    Object* ring = makeRing({0, 0, 0}, {0, 0, 0}, 0, 1);
    Hit hit{};
    for (Vector d : {Vector{0, 0, -1}, Vector{1, 0, 0}, Vector{1, 2, 3}}) {
        Ray r = makeRay({0.1, 0.2, 5}, d);
        EXPECT_EQ(ring->intersectFn(ring, &r, &hit), 0);
    }
}

}  // namespace
