#include "objects/plane.h"

#include "support/scene_fixture.h"

namespace {

class Plane : public SceneTest {};

TEST_F(Plane, OneSidedAlongItsNormal) {
    Object* p = makePlane({0, 0, 1}, 0);
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(nPrims, 1);
    Hit hit{};
    Ray along = makeRay({0, 0, -5}, {0, 0, 1});
    ASSERT_EQ(p->intersectFn(p, &along, &hit), 1);
    EXPECT_EQ(hit.distance, 5.0);
    EXPECT_EQ(hit.entering, 1);
    EXPECT_EQ(hit.object, p);
    Ray against = makeRay({0, 0, 5}, {0, 0, -1});
    EXPECT_EQ(p->intersectFn(p, &against, &hit), 0);
    Ray parallel = makeRay({0, 0, -5}, {1, 0, 0});
    EXPECT_EQ(p->intersectFn(p, &parallel, &hit), 0);
    // Grazing below the 0.001 cosine: no hit either.
    Ray grazing{{0, 0, -5}, {0.99999975, 0, 0.0005}};
    EXPECT_EQ(p->intersectFn(p, &grazing, &hit), 0);
}

TEST_F(Plane, DistanceIsNotRescaledAndZeroDistanceHits) {
    Object* p = makePlane({0, 0, 2}, 3);  // z = 3
    EXPECT_EQ(p->plane.normal.z, 1.0);
    EXPECT_EQ(p->plane.d, -3.0);
    Hit hit{};
    Ray r = makeRay({7, -2, 1}, {0, 0, 1});
    ASSERT_EQ(p->intersectFn(p, &r, &hit), 1);
    EXPECT_EQ(hit.distance, 2.0);
    Ray onPlane = makeRay({1, 1, 3}, {0, 0, 1});  // threshold 0, not 0.001
    ASSERT_EQ(p->intersectFn(p, &onPlane, &hit), 1);
    EXPECT_EQ(hit.distance, 0.0);
    Ray past = makeRay({1, 1, 3.5}, {0, 0, 1});
    EXPECT_EQ(p->intersectFn(p, &past, &hit), 0);
    Vector n = p->normalFn(p, {100, 100, 3});
    EXPECT_EQ(n.z, 1.0);
}

TEST_F(Plane, SceneFloorPrintsNegatedZerosAndUnboundedExtents) {
    // A scene plane with normal (0, 1, 0) at distance -1 arrives negated: the floor y = -1.
    Object* p = makePlane(-Vector{0, 1, 0}, -(-1.0));
    Hit hit{};
    Ray down = makeRay({3, 4, 5}, {0, -1, 0});
    ASSERT_EQ(p->intersectFn(p, &down, &hit), 1);
    EXPECT_EQ(hit.distance, 5.0);
    EXPECT_EQ(printed([&] { p->printFn(p); }), "Plane: Nx = -0, Ny = -1, Nz = -0, D = -1\n");
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(p->boundMin[i], -1e10);
        EXPECT_EQ(p->boundMax[i], 1e10);
    }
}

}  // namespace
