#include "objects/cone.h"

#include <cmath>

#include "support/scene_fixture.h"

namespace {

class Cone : public SceneTest {};

void expectVector(Vector v, Vector expected, double tolerance = 1e-12) {
    EXPECT_NEAR(v.x, expected.x, tolerance);
    EXPECT_NEAR(v.y, expected.y, tolerance);
    EXPECT_NEAR(v.z, expected.z, tolerance);
}

TEST_F(Cone, CylinderFromOutsideAndInside) {
    Object* c = makeCone({0, 0, 0}, 1, {0, 0, 2}, 1);
    ASSERT_NE(c, nullptr);
    EXPECT_EQ(nPrims, 1);
    Hit hit{};
    Ray side = makeRay({5, 0, 1}, {-1, 0, 0});
    ASSERT_EQ(c->intersectFn(c, &side, &hit), 1);
    EXPECT_DOUBLE_EQ(hit.distance, 4.0);
    EXPECT_EQ(hit.entering, 0);  // never entering, whichever side
    EXPECT_EQ(hit.object, c);
    expectVector(c->normalFn(c, hitPoint(side, hit)), {1, 0, 0});

    Ray inside = makeRay({0, 0, 1}, {1, 0, 0});  // near root -1 is refused, far root taken
    ASSERT_EQ(c->intersectFn(c, &inside, &hit), 1);
    EXPECT_DOUBLE_EQ(hit.distance, 1.0);
    EXPECT_EQ(hit.entering, 0);
}

TEST_F(Cone, OpenEndsAndHeightLimits) {
    Object* c = makeCone({0, 0, 0}, 1, {0, 0, 2}, 1);
    Hit hit{};
    Ray above = makeRay({5, 0, 3}, {-1, 0, 0});
    EXPECT_EQ(c->intersectFn(c, &above, &hit), 0);
    // Enters through the open cap circle and leaves through the open base circle.
    Ray through = makeRay({0.5, 0, 5}, {-0.1, 0, -1});
    EXPECT_EQ(c->intersectFn(c, &through, &hit), 0);
    // Looking into the open top: the near root is above the cap, the far one is the inner wall.
    Ray into = makeRay({-2, 0, 4}, {1, 0, -1});
    ASSERT_EQ(c->intersectFn(c, &into, &hit), 1);
    expectVector(hitPoint(into, hit), {1, 0, 1});
}

TEST_F(Cone, ObliqueCylinderHasItsTrueRadius) {
    Object* c = makeCone({0, 0, 0}, 1, {0, 1.2, 1.6}, 1);
    Hit hit{};
    Ray r = makeRay({5, 0.6, 0.8}, {-1, 0, 0});
    ASSERT_EQ(c->intersectFn(c, &r, &hit), 1);
    EXPECT_NEAR(hit.distance, 4.0, 1e-12);
    expectVector(hitPoint(r, hit), {1, 0.6, 0.8});
    expectVector(c->normalFn(c, hitPoint(r, hit)), {1, 0, 0});
    // Extents: x spans the full radius, y and z are narrowed by the tilt (sine 0.8 and 0.6).
    EXPECT_NEAR(c->boundMin[0], -1.0, 1e-12);
    EXPECT_NEAR(c->boundMax[0], 1.0, 1e-12);
    EXPECT_NEAR(c->boundMin[1], -0.8, 1e-12);
    EXPECT_NEAR(c->boundMax[1], 2.0, 1e-12);
    EXPECT_NEAR(c->boundMin[2], -0.6, 1e-12);
    EXPECT_NEAR(c->boundMax[2], 2.2, 1e-12);
}

TEST_F(Cone, PointedConeSlopeNormalAndExtents) {
    Object* c = makeCone({0, 0, 0}, 1, {0, 0, 1}, 0);
    EXPECT_EQ(c->cone.slope, -1.0);
    EXPECT_EQ(c->boundMin[0], -1.0);
    EXPECT_EQ(c->boundMax[0], 1.0);
    EXPECT_EQ(c->boundMin[1], -1.0);
    EXPECT_EQ(c->boundMin[2], 0.0);  // the axis is along z: just the span of the centres
    EXPECT_EQ(c->boundMax[2], 1.0);
    const double h = std::sqrt(0.5);
    expectVector(c->normalFn(c, {0.5, 0, 0.5}), {h, 0, h});

    // A ray parallel to a generating line meets the cone once (no quadratic term).
    Ray parallel = makeRay({0, 0, -0.5}, {1, 0, 1});
    Hit hit{};
    ASSERT_EQ(c->intersectFn(c, &parallel, &hit), 1);
    expectVector(hitPoint(parallel, hit), {0.75, 0, 0.25});
}

TEST_F(Cone, CapBelowBaseSwapsTheHeights) {
    Object* c = makeCone({0, 0, 2}, 0.5, {0, 0, 0}, 1);
    EXPECT_LT(c->cone.heightMin, c->cone.heightMax);
    Hit hit{};
    Ray r = makeRay({5, 0, 0.5}, {-1, 0, 0});  // radius 0.875 at z = 0.5
    ASSERT_EQ(c->intersectFn(c, &r, &hit), 1);
    EXPECT_NEAR(hit.distance, 5 - 0.875, 1e-12);
}

TEST_F(Cone, PrintLineAndDegenerateShapes) {
    Object* c = makeCone({1, 2, 3}, 0.5, {4, 5, 6}, 0.25);
    EXPECT_EQ(printed([&] { c->printFn(c); }), "Cone: 1 2 3 0.5 4 5 6 0.25\n");
    // Base equal to cap: no axis at all. It must neither crash nor hit.
    Object* flat = makeCone({0, 0, 0}, 1, {0, 0, 0}, 1);
    Hit hit{};
    for (Vector d : {Vector{1, 0, 0}, Vector{0, 0, 1}, Vector{1, 1, 1}}) {
        Ray r = makeRay({-5, 0.1, 0.2}, d);
        EXPECT_EQ(flat->intersectFn(flat, &r, &hit), 0);
    }
}

}  // namespace
