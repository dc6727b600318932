// Decisive rays against each primitive: the root chosen, the thresholds, the edges that belong to
// it, the sides it is seen from; the cone's normal, turned outwards.
#include <cmath>

#include "objects/primitives/cone.h"
#include "objects/primitives/patch.h"
#include "objects/primitives/plane.h"
#include "objects/primitives/polygon.h"
#include "objects/primitives/ring.h"
#include "objects/primitives/sphere.h"
#include "objects/primitives/triangle.h"
#include "support/scene_fixture.h"

namespace {

using Primitive = SceneTest;

constexpr Vector up{0, 0, 1};
constexpr Vector down{0, 0, -1};

// One ray against one object: the distance expected (negative: no hit) and the entering flag.
TEST_F(Primitive, DecisiveRays) {
    Object* sphere = makeSphere({0, 0, 0}, 1);
    Object* cylinder = makeCone({0, 0, 0}, 1, {0, 0, 2}, 1);  // open ends: never entered
    Object* cone = makeCone({0, 0, 0}, 1, {0, 0, 1}, 0);
    Object* plane = makePlane({0, 0, 2}, 3);  // z = 3: the normal made unit, the distance kept
    Object* ring = makeRing({0, 0, 0}, up, 0.5, 1);
    Object* triangle = makeTriangle(vertexArray({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}));
    Vector flat[6] = {{0, 0, 0}, up, {1, 0, 0}, up, {0, 1, 0}, up}, inLine[6] = {{0, 0, 0}, up, {1, 1, 1}, up, {2, 2, 2}};
    Object* patch = makePatch(flat);
    const struct {
        const char* what;
        const Object* obj;
        Vector origin, direction;
        double distance;
        int entering = 1;
    } cases[] = {
        {"sphere from the centre: the far root", sphere, {0, 0, 0}, {1, 0, 0}, 1, 0},
        {"sphere leaving from its surface", sphere, {0, 0, 1}, up, -1},
        {"sphere from within 0.001 of the radius squared: inside", sphere, {0, 0, -1.0002}, up, 2.0002, 0},
        {"cylinder from outside: not entering", cylinder, {5, 0, 1}, {-1, 0, 0}, 4, 0},
        {"cylinder, near root too high: the inner wall", cylinder, {-2, 0, 4}, {1, 0, -1}, 3 * std::sqrt(2.0), 0},
        {"cone along a generating line: one root", cone, {0, 0, -0.5}, {1, 0, 1}, 0.75 * std::sqrt(2.0), 0},
        {"cone with base equal to cap", makeCone({0, 0, 0}, 1, {0, 0, 0}, 1), {-5, 0.1, 0.2}, {1, 1, 1}, -1},
        {"plane along its normal", plane, {0, 0, -2}, up, 5},
        {"plane against its normal", plane, {0, 0, 5}, down, -1},
        {"plane below a cosine of 0.001", plane, {0, 0, -2}, {0.99999975, 0, 0.0005}, -1},
        {"ring's inner circle, from below", ring, {0.5, 0, -5}, up, 5},
        {"ring's hole", ring, {0.25, 0, 5}, down, -1},
        {"disc of a normal made unit", makeRing({4, 5, 6}, {0, 0, 2}, 0, 2), {4.5, 5, 10}, down, 4},
        {"ring of no normal", makeRing({0, 0, 0}, {0, 0, 0}, 0, 1), {0.1, 0.2, 5}, down, -1},
        {"triangle inside the far edge by less than 0.001", triangle, {0.4995, 0.5, 5}, down, -1},
        {"triangle inside the far edge by more, from below", triangle, {0.498, 0.5, -5}, up, 5},
        {"triangle of corners in a line", makeTriangle(vertexArray({{0, 0, 0}, {1, 1, 1}, {2, 2, 2}})), {1, 1, 5}, down, -1},
        {"patch's edge u + v = 1, from below", patch, {0.5, 0.5, -5}, up, 5},
        {"patch of corners in a line", makePatch(inLine), {1, 1, 5}, down, -1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        const Ray ray = makeRay(c.origin, c.direction);
        Hit hit{};
        const bool found = c.obj->intersectFn(c.obj, &ray, &hit) == 1;
        EXPECT_EQ(found, c.distance >= 0);
        EXPECT_TRUE(!found ||
                    (std::abs(hit.distance - c.distance) < 1e-12 && hit.entering == c.entering && hit.object == c.obj))
            << hit.distance << " entering " << hit.entering;
    }
    EXPECT_LT(length(cone->normalFn(cone, {0.5, 0, 0.5}) - Vector{std::sqrt(0.5), 0, std::sqrt(0.5)}), 1e-12);  // outwards
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
    Object* tilted = makePolygon(vertexArray({{1, 0, 0}, {1, 1, 0}, {0, 1, 1}, {0, 0, 1}}), 4);  // x + z = 1
    EXPECT_EQ(hitsAt(tilted, {{0.5, 0.5}, {0.5, 1.5}}), "10");
    // Corners at the point's height: one neighbour below and one above, one edge counts; both
    // below, both or neither; both above, none.
    Object* diamond = makePolygon(vertexArray({{1, 0, 0}, {2, 1, 0}, {1, 2, 0}, {0, 1, 0}}), 4);
    EXPECT_EQ(hitsAt(diamond, {{1, 1}, {2.5, 1}, {-0.5, 1}}), "100");
    Object* peak = makePolygon(vertexArray({{0, 0, 0}, {2, 0, 0}, {1, 1, 0}, {0, 0.5, 0}}), 4);
    EXPECT_EQ(hitsAt(peak, {{0.5, 1}, {1.5, 1}}), "00");
    Object* valley = makePolygon(vertexArray({{0, 2, 0}, {1, 1, 0}, {2, 2, 0}, {1, 3, 0}}), 4);
    EXPECT_EQ(hitsAt(valley, {{0.5, 1}, {1, 2}}), "01");
}

}  // namespace
