#include "objects/patch.h"

#include <cmath>

#include "support/scene_fixture.h"

namespace {

class Patch : public SceneTest {
protected:
    // The unit triangle (0, 0, 0), (1, 0, 0), (0, 1, 0) with the given corner normals.
    static Object* unitPatch(Vector n0, Vector n1, Vector n2) {
        Vector data[6] = {{0, 0, 0}, n0, {1, 0, 0}, n1, {0, 1, 0}, n2};
        return makePatch(data);
    }
    static Ray down(double x, double y) { return makeRay({x, y, 5}, {0, 0, -1}); }
};

void expectUnit(Vector v, Vector direction) {
    VecNorm(&direction);
    EXPECT_NEAR(v.x, direction.x, 1e-12);
    EXPECT_NEAR(v.y, direction.y, 1e-12);
    EXPECT_NEAR(v.z, direction.z, 1e-12);
}

TEST_F(Patch, HitsInsideAndOnTheEdgeUPlusVIsOne) {
    Object* p = unitPatch({0, 0, 1}, {0, 0, 1}, {0, 0, 1});
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(nPrims, 1);
    Hit hit{};
    Ray inside = down(0.25, 0.25);
    ASSERT_EQ(p->intersectFn(p, &inside, &hit), 1);
    EXPECT_EQ(hit.distance, 5.0);
    EXPECT_EQ(hit.entering, 1);
    EXPECT_EQ(hit.object, p);
    expectUnit(p->normalFn(p, hitPoint(inside, hit)), {0, 0, 1});

    Ray edge = down(0.5, 0.5);
    EXPECT_EQ(p->intersectFn(p, &edge, &hit), 1);
    Ray corner = down(0, 0);
    EXPECT_EQ(p->intersectFn(p, &corner, &hit), 1);
    Ray outside = down(0.75, 0.75);
    EXPECT_EQ(p->intersectFn(p, &outside, &hit), 0);
    Ray negativeU = down(-0.01, 0.5);
    EXPECT_EQ(p->intersectFn(p, &negativeU, &hit), 0);
    Ray negativeV = down(0.5, -0.01);
    EXPECT_EQ(p->intersectFn(p, &negativeV, &hit), 0);

    Ray below = makeRay({0.25, 0.25, -5}, {0, 0, 1});
    ASSERT_EQ(p->intersectFn(p, &below, &hit), 1);
    expectUnit(p->normalFn(p, hitPoint(below, hit)), {0, 0, 1});  // not turned to the ray
    Ray inPlane = makeRay({-1, 0.25, 0}, {1, 0, 0});
    EXPECT_EQ(p->intersectFn(p, &inPlane, &hit), 0);
}

TEST_F(Patch, CornerNormalsAreTurnedToTheFaceSide) {
    Vector data[6] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0, 0, -1}, {0, 1, 0}, {0, 0, 2}};
    checkPatch(data);
    EXPECT_EQ(data[1].z, 1.0);
    EXPECT_EQ(data[3].z, 1.0);
    EXPECT_EQ(data[5].z, 2.0);
    // A normal in the face plane (f . N = 0) is negated too.
    Vector side[6] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 0, 1}, {0, 1, 0}, {0, 0, 1}};
    checkPatch(side);
    EXPECT_EQ(side[1].x, -1.0);

    // makePatch turns the caller's array and stores unit normals.
    Vector mine[6] = {{0, 0, 0}, {0, 0, 1}, {1, 0, 0}, {0, 0, -3}, {0, 1, 0}, {0, 0, 1}};
    Object* p = makePatch(mine);
    EXPECT_EQ(mine[3].z, 3.0);
    EXPECT_EQ(p->patch.vertexNormal[1].z, 1.0);
}

TEST_F(Patch, NormalIsInterpolatedFromUnitCornerNormals) {
    Object* p = unitPatch({0, 0, 1}, {1, 0, 1}, {0, 1, 1});
    expectUnit(p->normalFn(p, {1, 0, 0}), {1, 0, 1});
    expectUnit(p->normalFn(p, {0, 1, 0}), {0, 1, 1});
    const double s = std::sqrt(0.5);
    expectUnit(p->normalFn(p, {1.0 / 3, 1.0 / 3, 0}), {s, s, 1 + 2 * s});
}

TEST_F(Patch, NormalBelongsToTheRayThatFoundTheHit) {
    Object* p = unitPatch({0, 0, 1}, {1, 0, 1}, {0, 1, 1});
    Ray first = makeRay({0.7, 0.1, 3}, {-0.05, 0.02, -1});
    Ray second = makeRay({0.05, 0.6, 4}, {0.02, 0.05, -1});
    Hit hitFirst{};
    Hit hitSecond{};
    ASSERT_EQ(p->intersectFn(p, &first, &hitFirst), 1);
    ASSERT_EQ(p->intersectFn(p, &second, &hitSecond), 1);  // a later hit must not disturb the first
    const Vector point = hitPoint(first, hitFirst);
    const Vector normal = p->normalFn(p, point);

    // The weights the intersection saw, recomputed from q = (O + t * D) - V0.
    const PatchData& d = p->patch;
    const Vector q = point - d.vertex[0];
    const double u = d.toLocal[0][0] * q.x + d.toLocal[0][1] * q.y + d.toLocal[0][2] * q.z;
    const double v = d.toLocal[1][0] * q.x + d.toLocal[1][1] * q.y + d.toLocal[1][2] * q.z;
    Vector expected = (1 - u - v) * d.vertexNormal[0] + u * d.vertexNormal[1] + v * d.vertexNormal[2];
    VecNorm(&expected);
    EXPECT_EQ(normal.x, expected.x);
    EXPECT_EQ(normal.y, expected.y);
    EXPECT_EQ(normal.z, expected.z);
    EXPECT_GT(u, 0.5);  // near V1: clearly not the second ray's normal
    EXPECT_LT(std::fabs(normal.y), std::fabs(p->normalFn(p, hitPoint(second, hitSecond)).y));
}

TEST_F(Patch, InvertMatrixGivesTheTransposeOfTheInverse) {
    const double in[3][3] = {{2, 0, 0}, {1, 1, 0}, {0, 0, 4}};
    double out[3][3];
    invertMatrix(in, out);
    // inverse = {{0.5, 0, 0}, {-0.5, 1, 0}, {0, 0, 0.25}}; its transpose:
    const double expected[3][3] = {{0.5, -0.5, 0}, {0, 1, 0}, {0, 0, 0.25}};
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) EXPECT_EQ(out[i][j], expected[i][j]) << i << "," << j;
    }
    // The third row of a patch's matrix is its unit face normal.
    Object* p = unitPatch({0, 0, 1}, {0, 0, 1}, {0, 0, 1});
    EXPECT_EQ(p->patch.toLocal[2][2], 1.0);
}

TEST_F(Patch, ExtentsPrintAndDegenerateCorners) {
    Object* p = unitPatch({0, 0, 1}, {0, 0, 1}, {0, 0, 1});
    EXPECT_EQ(p->boundMin[0], -0.001);
    EXPECT_EQ(p->boundMax[1], 1.001);
    EXPECT_EQ(p->boundMax[2], 0.001);
    EXPECT_EQ(printed([&] { p->printFn(p); }), "patch\n");

    Vector line[6] = {{0, 0, 0}, {0, 0, 1}, {1, 1, 1}, {0, 0, 1}, {2, 2, 2}, {0, 0, 0}};
    Object* degenerate = makePatch(line);  // zero determinant, zero corner normal
    Hit hit{};
    for (Vector d : {Vector{0, 0, -1}, Vector{1, 0, 0}, Vector{-1, -1, -1}}) {
        Ray r = makeRay({1, 1, 5}, d);
        EXPECT_EQ(degenerate->intersectFn(degenerate, &r, &hit), 0);
    }
}

}  // namespace
