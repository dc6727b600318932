// Decisive rays against each primitive: the root chosen, the thresholds, the edges that belong to
// it, the sides it is seen from; the normals where they are more than the figure's own.
#include <cmath>
#include <initializer_list>
#include <string>

#include "objects/cone.h"
#include "objects/patch.h"
#include "objects/plane.h"
#include "objects/polygon.h"
#include "objects/ring.h"
#include "objects/sphere.h"
#include "objects/triangle.h"
#include "support/scene_fixture.h"

namespace {

using Primitive = SceneTest;

constexpr Vector up{0, 0, 1};
constexpr Vector down{0, 0, -1};

// One ray against one object: the distance expected (negative: no hit) and the entering flag.
struct RayCase {
    Vector origin;
    Vector direction;
    double distance;
    int entering = 1;
};

void expectRays(const Object* obj, std::initializer_list<RayCase> cases) {
    int index = 0;
    for (const RayCase& c : cases) {
        SCOPED_TRACE("ray case " + std::to_string(index++));
        const Ray ray = makeRay(c.origin, c.direction);
        Hit hit{};
        const int found = obj->intersectFn(obj, &ray, &hit);
        EXPECT_EQ(found, c.distance < 0 ? 0 : 1);
        if (found && c.distance >= 0) {
            EXPECT_NEAR(hit.distance, c.distance, 1e-12);
            EXPECT_EQ(hit.entering, c.entering);
            EXPECT_EQ(hit.object, obj);
        }
    }
}

void expectVector(Vector v, Vector expected) {
    EXPECT_NEAR(v.x, expected.x, 1e-12);
    EXPECT_NEAR(v.y, expected.y, 1e-12);
    EXPECT_NEAR(v.z, expected.z, 1e-12);
}

TEST_F(Primitive, Sphere) {
    Object* s = makeSphere({0, 0, 0}, 1);
    EXPECT_EQ(nPrims, 1);
    expectRays(s, {
                      // From outside the near root, from the centre the far one; leaving from the surface both are too
                      // close, and a start on it (or within 0.001 of the radius squared) counts as inside; the near root
                      // counts from 0.001 on; tangent; too far aside; behind; no number.
                      {{0, 0, -5}, up, 4},
                      {{0, 0, 0}, {1, 0, 0}, 1, 0},
                      {{0, 0, 1}, up, -1},
                      {{0, 0, 1}, down, 2, 0},
                      {{0, 0, -1.0002}, up, 2.0002, 0},
                      {{0, 0, -1.005}, up, 0.005},
                      {{1, 0, -5}, up, 5},
                      {{1.5, 0, -5}, up, -1},
                      {{0, 0, 5}, up, -1},
                      {{NAN, 0, 0}, up, -1},
                  });
}

TEST_F(Primitive, ConeAndCylinder) {
    Object* c = makeCone({0, 0, 0}, 1, {0, 0, 2}, 1);  // open ends: never entered
    expectRays(c, {
                      // Hits are never entering; from inside the root behind is refused; above the cap height; in through
                      // the open cap and out through the base; the near root too high: the inner wall.
                      {{5, 0, 1}, {-1, 0, 0}, 4, 0},
                      {{0, 0, 1}, {1, 0, 0}, 1, 0},
                      {{5, 0, 3}, {-1, 0, 0}, -1},
                      {{0.5, 0, 5}, {-0.1, 0, -1}, -1},
                      {{-2, 0, 4}, {1, 0, -1}, 3 * std::sqrt(2.0), 0},
                  });
    expectRays(makeCone({0, 0, 0}, 1, {0, 1.2, 1.6}, 1), {{{5, 0.6, 0.8}, {-1, 0, 0}, 4, 0}});  // oblique
    Object* cone = makeCone({0, 0, 0}, 1, {0, 0, 1}, 0);
    expectVector(cone->normalFn(cone, {0.5, 0, 0.5}), {std::sqrt(0.5), 0, std::sqrt(0.5)});
    // Parallel to a generating line (no quadratic term): one root, at (0.75, 0, 0.25).
    expectRays(cone, {{{0, 0, -0.5}, {1, 0, 1}, 0.75 * std::sqrt(2.0), 0}});
    expectRays(makeCone({0, 0, 2}, 0.5, {0, 0, 0}, 1), {{{5, 0, 0.5}, {-1, 0, 0}, 4.125, 0}});  // cap below
    Object* none = makeCone({0, 0, 0}, 1, {0, 0, 0}, 1);  // base equal to cap: never hit
    expectRays(none, {{{-5, 0.1, 0.2}, {1, 0, 0}, -1}, {{-5, 0.1, 0.2}, {1, 1, 1}, -1}});
}

TEST_F(Primitive, PlaneIsSeenAlongItsNormalOnly) {
    Object* p = makePlane({0, 0, 2}, 3);  // z = 3: the normal made unit, the distance kept
    expectRays(p, {
                      // Along the normal only, from a cosine of 0.001 on; a ray starting on the plane hits it at 0.
                      {{0, 0, -2}, up, 5},
                      {{0, 0, 5}, down, -1},
                      {{0, 0, -2}, {1, 0, 0}, -1},
                      {{0, 0, -2}, {0.99999975, 0, 0.0005}, -1},
                      {{1, 1, 3}, up, 0},
                      {{1, 1, 3.5}, up, -1},
                  });
    // A scene plane of normal (0, 1, 0) and distance -1 arrives negated: the floor y = -1.
    Object* floor = makePlane(-Vector{0, 1, 0}, 1.0);
    expectRays(floor, {{{3, 4, 5}, {0, -1, 0}, 5}});
}

TEST_F(Primitive, RingAndDisc) {
    Object* ring = makeRing({0, 0, 0}, up, 0.5, 1);
    expectRays(ring, {
                         // From both sides; both circles belong to it; outside, in the hole, along it, nearer than 0.001.
                         {{0.75, 0, 5}, down, 5},
                         {{0.75, 0, -5}, up, 5},
                         {{1, 0, 5}, down, 5},
                         {{0.5, 0, 5}, down, 5},
                         {{1.5, 0, 5}, down, -1},
                         {{0.25, 0, 5}, down, -1},
                         {{-5, 0, 0}, {1, 0, 0}, -1},
                         {{0.75, 0, 0.0005}, down, -1},
                     });
    Object* disc = makeRing({4, 5, 6}, {0, 0, 2}, 0, 2);  // the normal made unit before the plane
    expectRays(disc, {{{4.5, 5, 10}, down, 4}});
    EXPECT_EQ(disc->normalFn(disc, {4, 5, 6}).z, 1.0);
    expectRays(makeRing({0, 0, 0}, {0, 0, 0}, 0, 1), {{{0.1, 0.2, 5}, down, -1}, {{0.1, 0.2, 5}, {1, 2, 3}, -1}});
}

TEST_F(Primitive, TriangleSeenFromBothSides) {
    Object* t = makeTriangle(vertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    expectRays(t, {
                      // Both sides; two crossings; along the plane; away from it. A crossing up to 0.001 beyond the
                      // point counts: just inside the far edge misses.
                      {{0.25, 0.25, 5}, down, 5},
                      {{0.25, 0.25, -5}, up, 5},
                      {{0.75, 0.75, 5}, down, -1},
                      {{-1, 0.25, 0}, {1, 0, 0}, -1},
                      {{0.25, 0.25, 5}, up, -1},
                      {{0.4995, 0.5, 5}, down, -1},
                      {{0.498, 0.5, 5}, down, 5},
                  });
    Object* line = makeTriangle(vertexArray({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}}));
    expectRays(line, {{{1, 1, 5}, down, -1}, {{1, 1, 5}, {-1, -1, -1}, -1}});
}

// For each point (x, y), '1' when the vertical ray through it hits a figure lying in z = 0, else '0'.
std::string hitsAt(const Object* p, std::initializer_list<std::pair<double, double>> points) {
    std::string hits;
    for (const auto& [x, y] : points) {
        Hit hit{};
        const Ray r = makeRay({x, y, 5}, down);
        hits += p->intersectFn(p, &r, &hit) == 1 ? '1' : '0';
    }
    return hits;
}

TEST_F(Primitive, PolygonCountsHalfOpenCrossings) {
    // An L: the square 0..2 without its upper right quarter. An edge at the point's height: the
    // top one counts.
    Object* p = makePolygon(vertexArray({{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {1, 1, 0}, {1, 2, 0}, {0, 2, 0}}), 6);
    EXPECT_EQ(hitsAt(p, {{0.5, 1.5}, {1.5, 0.5}, {1.5, 1.5}, {2.5, 0.5}, {0.5, 2}, {0.5, 0}}), "110010");
    expectRays(p, {{{0.5, 0.5, -2}, up, 2}});
    Object* tilted = makePolygon(vertexArray({{1, 0, 0}, {1, 1, 0}, {0, 1, 1}, {0, 0, 1}}), 4);  // x + z = 1
    expectRays(tilted, {{{0.5, 0.5, 5}, down, 4.5}, {{0.5, 1.5, 5}, down, -1}});
    // Corners at the point's height: one neighbour below and one above, one edge counts; both
    // below, both or neither; both above, none.
    Object* diamond = makePolygon(vertexArray({{1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}}), 4);
    EXPECT_EQ(hitsAt(diamond, {{1, 1}, {2.5, 1}, {-0.5, 1}}), "100");
    Object* peak = makePolygon(vertexArray({{0, 0, 0}, {2, 0, 0}, {1, 1, 0}, {0, 0.5, 0}}), 4);
    EXPECT_EQ(hitsAt(peak, {{0.5, 1}, {1.5, 1}}), "00");
    Object* valley = makePolygon(vertexArray({{0, 2, 0}, {1, 1, 0}, {2, 2, 0}, {1, 3, 0}}), 4);
    EXPECT_EQ(hitsAt(valley, {{0.5, 1}, {1, 2}}), "01");
}

TEST_F(Primitive, PatchEdgesAndInterpolatedNormals) {
    Vector flat[6] = {{0, 0, 0}, up, {1, 0, 0}, up, {0, 1, 0}, up};
    Object* p = makePatch(flat);
    expectRays(p, {
                      // Both sides; the edges belong to it (u + v = 1, u = 0, v = 0); along it.
                      {{0.25, 0.25, 5}, down, 5},
                      {{0.25, 0.25, -5}, up, 5},
                      {{0.5, 0.5, 5}, down, 5},
                      {{0.75, 0.75, 5}, down, -1},
                      {{-0.01, 0.5, 5}, down, -1},
                      {{0.5, -0.01, 5}, down, -1},
                      {{-1, 0.25, 0}, {1, 0, 0}, -1},
                  });
    Vector line[6] = {{0, 0, 0}, up, {1, 1, 1}, up, {2, 2, 2}, {0, 0, 0}};
    expectRays(makePatch(line), {{{1, 1, 5}, down, -1}, {{1, 1, 5}, {-1, -1, -1}, -1}});
    // Corner normals are turned to the face normal's side (f . N = 0 too), in the caller's array.
    Vector turned[6] = {{0, 0, 0}, {1, 0, 0}, {1, 0, 0}, {0, 0, -3}, {0, 1, 0}, up};
    makePatch(turned);
    EXPECT_EQ(turned[1].x, -1);
    EXPECT_EQ(turned[3].z, 3);
    EXPECT_EQ(turned[5].z, 1);

    // The unit corner normals weighted by the hit point's own barycentric coordinates, whatever
    // the patch was asked since.
    const double s = std::sqrt(0.5);
    Vector bent[6] = {{0, 0, 0}, up, {1, 0, 0}, {1, 0, 1}, {0, 1, 0}, {0, 1, 1}};
    Object* q = makePatch(bent);
    expectVector(q->normalFn(q, {1, 0, 0}), {s, 0, s});
    const Ray first = makeRay({0.7, 0.1, 3}, {-0.05, 0.02, -1});
    const Ray second = makeRay({0.05, 0.6, 4}, {0.02, 0.05, -1});
    Hit hit{}, later{};
    ASSERT_TRUE(q->intersectFn(q, &first, &hit));
    ASSERT_TRUE(q->intersectFn(q, &second, &later));
    const Vector at = hitPoint(first, hit);  // u = x, v = y here
    Vector expected = (1 - at.x - at.y) * up + at.x * Vector{s, 0, s} + at.y * Vector{0, s, s};
    VecNorm(&expected);
    expectVector(q->normalFn(q, at), expected);
}

}  // namespace
