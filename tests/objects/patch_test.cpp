#include "objects/patch.h"

#include <cmath>

#include "support/scene_fixture.h"

namespace {

class Patch : public SceneTest {};

// The unit triangle (0, 0, 0), (1, 0, 0), (0, 1, 0) with the given corner normals.
Object* unitPatch(Vector n0, Vector n1, Vector n2) {
    Vector data[6] = {{0, 0, 0}, n0, {1, 0, 0}, n1, {0, 1, 0}, n2};
    return makePatch(data);
}

TEST_F(Patch, BarycentricInsideTestEdgesIncluded) {
    Object* p = unitPatch({0, 0, 1}, {0, 0, 1}, {0, 0, 1});
    EXPECT_EQ(nPrims, 1);
    expectRays(p, {
                      {{0.25, 0.25, 5}, {0, 0, -1}, 5},
                      {{0.25, 0.25, -5}, {0, 0, 1}, 5},  // from below too
                      {{0.5, 0.5, 5}, {0, 0, -1}, 5},    // u + v = 1
                      {{0.75, 0.75, 5}, {0, 0, -1}, -1},
                      {{-0.01, 0.5, 5}, {0, 0, -1}, -1},
                      {{0.5, -0.01, 5}, {0, 0, -1}, -1},
                      {{-1, 0.25, 0}, {1, 0, 0}, -1},
                  });
    EXPECT_EQ(p->boundMin[0], -0.001);
    EXPECT_EQ(p->boundMax[2], 0.001);
    EXPECT_EQ(printLine(p), "patch\n");
    Vector line[6] = {{0, 0, 0}, {0, 0, 1}, {1, 1, 1}, {0, 0, 1}, {2, 2, 2}, {0, 0, 0}};
    Object* none = makePatch(line);  // zero determinant, zero corner normal: never hit
    expectRays(none, {{{1, 1, 5}, {0, 0, -1}, -1}, {{1, 1, 5}, {-1, -1, -1}, -1}});
}

TEST_F(Patch, CornerNormalsTurnedMadeUnitAndInterpolated) {
    Vector data[6] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 0, -3}, {0, 1, 0}, {0, 0, 1}};
    Object* p = makePatch(data);
    EXPECT_EQ(data[1].x, -1.0);  // in the face plane (f . N = 0): negated as well
    EXPECT_EQ(data[3].z, 3.0);   // the caller's array is turned
    EXPECT_EQ(data[5].z, 1.0);
    EXPECT_EQ(p->patch.vertexNormal[1].z, 1.0);

    p = unitPatch({0, 0, 1}, {1, 0, 1}, {0, 1, 1});
    const double s = std::sqrt(0.5);
    expectVector(p->normalFn(p, {1, 0, 0}), {s, 0, s});
    Vector centroid{s, s, 1 + 2 * s};  // the sum of the unit corner normals
    VecNorm(&centroid);
    expectVector(p->normalFn(p, {1.0 / 3, 1.0 / 3, 0}), centroid);

    const double in[3][3] = {{2, 0, 0}, {1, 1, 0}, {0, 0, 4}};
    const double transposedInverse[3][3] = {{0.5, -0.5, 0}, {0, 1, 0}, {0, 0, 0.25}};
    double out[3][3];
    invertMatrix(in, out);
    for (int i = 0; i < 9; ++i) EXPECT_EQ(out[i / 3][i % 3], transposedInverse[i / 3][i % 3]) << i;
}

TEST_F(Patch, NormalBelongsToTheRayThatFoundTheHit) {
    Object* p = unitPatch({0, 0, 1}, {1, 0, 1}, {0, 1, 1});
    Ray first = makeRay({0.7, 0.1, 3}, {-0.05, 0.02, -1});
    Ray second = makeRay({0.05, 0.6, 4}, {0.02, 0.05, -1});
    Hit hit{};
    Hit later{};
    ASSERT_EQ(p->intersectFn(p, &first, &hit), 1);
    ASSERT_EQ(p->intersectFn(p, &second, &later), 1);  // must not disturb the first hit's normal
    const Vector point = hitPoint(first, hit);
    const Vector normal = p->normalFn(p, point);
    // The weights the intersection saw, from q = (O + t * D) - V0: the very same bits.
    const PatchData& d = p->patch;
    const Vector q = point - d.vertex[0];
    const double u = d.toLocal[0][0] * q.x + d.toLocal[0][1] * q.y + d.toLocal[0][2] * q.z;
    const double v = d.toLocal[1][0] * q.x + d.toLocal[1][1] * q.y + d.toLocal[1][2] * q.z;
    Vector expected = (1 - u - v) * d.vertexNormal[0] + u * d.vertexNormal[1] + v * d.vertexNormal[2];
    VecNorm(&expected);
    EXPECT_TRUE(normal.x == expected.x && normal.y == expected.y && normal.z == expected.z);
    EXPECT_GT(u, 0.5);  // near V1, far from the second hit
}

}  // namespace
