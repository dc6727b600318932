#include "objects/sphere.h"

#include "support/scene_fixture.h"

namespace {

class Sphere : public SceneTest {};

TEST_F(Sphere, ConstructorFillsRecordExtentsAndList) {
    Object* s = makeSphere({1, 2, 3}, -0.5);  // a negative radius still gives a proper box
    ASSERT_NE(s, nullptr);
    EXPECT_EQ(myObjectList, s);
    EXPECT_EQ(nPrims, 1);
    EXPECT_EQ(s->kind, kindSphere);
    EXPECT_EQ(s->sphere.radius2, 0.25);
    EXPECT_EQ(s->boundMin[0], 0.5);
    EXPECT_EQ(s->boundMax[0], 1.5);
    EXPECT_EQ(s->boundMin[2], 2.5);
    EXPECT_EQ(s->boundMax[2], 3.5);
    EXPECT_EQ(printed([&] { s->printFn(s); }), "Sphere: Cx = 1, Cy = 2, Cz = 3, R = -0.5\n");
}

TEST_F(Sphere, NearRootFromOutsideFarRootFromInside) {
    Object* s = makeSphere({0, 0, 0}, 1);
    Hit hit{};
    Ray outside = makeRay({0, 0, -5}, {0, 0, 1});
    ASSERT_EQ(s->intersectFn(s, &outside, &hit), 1);
    EXPECT_EQ(hit.distance, 4.0);
    EXPECT_EQ(hit.entering, 1);
    EXPECT_EQ(hit.object, s);
    Vector n = s->normalFn(s, hitPoint(outside, hit));
    EXPECT_EQ(n.x, 0.0);
    EXPECT_EQ(n.z, -1.0);

    Ray centre = makeRay({0, 0, 0}, {1, 0, 0});
    ASSERT_EQ(s->intersectFn(s, &centre, &hit), 1);
    EXPECT_EQ(hit.distance, 1.0);
    EXPECT_EQ(hit.entering, 0);
}

TEST_F(Sphere, SurfaceOriginsAndThresholds) {
    Object* s = makeSphere({0, 0, 0}, 1);
    Hit hit{};
    Ray leaving = makeRay({0, 0, 1}, {0, 0, 1});  // both roots at or below 0.001
    EXPECT_EQ(s->intersectFn(s, &leaving, &hit), 0);

    Ray inward = makeRay({0, 0, 1}, {0, 0, -1});  // the root at 0 is skipped for the far one
    ASSERT_EQ(s->intersectFn(s, &inward, &hit), 1);
    EXPECT_EQ(hit.distance, 2.0);
    EXPECT_EQ(hit.entering, 0);  // on the surface counts as inside

    // Just outside, but within 0.001 of radius squared: still not entering.
    Ray near = makeRay({0, 0, -1.0002}, {0, 0, 1});
    ASSERT_EQ(s->intersectFn(s, &near, &hit), 1);
    EXPECT_NEAR(hit.distance, 2.0002, 1e-12);
    EXPECT_EQ(hit.entering, 0);
    Ray farther = makeRay({0, 0, -1.001}, {0, 0, 1});
    ASSERT_EQ(s->intersectFn(s, &farther, &hit), 1);
    EXPECT_EQ(hit.entering, 1);
}

TEST_F(Sphere, TangentHitsAndPassingRayMisses) {
    Object* s = makeSphere({0, 0, 0}, 1);
    Hit hit{};
    Ray tangent = makeRay({1, 0, -5}, {0, 0, 1});
    ASSERT_EQ(s->intersectFn(s, &tangent, &hit), 1);
    EXPECT_EQ(hit.distance, 5.0);
    Ray passing = makeRay({1.5, 0, -5}, {0, 0, 1});
    EXPECT_EQ(s->intersectFn(s, &passing, &hit), 0);
    Ray behind = makeRay({0, 0, 5}, {0, 0, 1});
    EXPECT_EQ(s->intersectFn(s, &behind, &hit), 0);
}

TEST_F(Sphere, NonFiniteInputNeverHits) {
    Object* s = makeSphere({0, 0, 0}, 1);
    Hit hit{};
    Ray bad{{NAN, 0, 0}, {0, 0, 1}};
    EXPECT_EQ(s->intersectFn(s, &bad, &hit), 0);
}

}  // namespace
