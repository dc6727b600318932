// Decisive rays against each primitive: the root chosen, the thresholds, the edges that belong to
// it, the sides it is seen from; the cone's normal, turned outwards. The compact shapes the query
// tree's leaves hold answer as their records do, bit for bit.
#include <cmath>
#include <cstring>
#include <limits>
#include <random>

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

// The record's answer and its compact shape's (objects/primitives/shape.h): the same, bit for bit;
// returns the record's.
bool hitsAlike(const Object* obj, const Ray& ray, Hit* hit) {
    *hit = {};
    const bool found = obj->intersectFn(obj, &ray, hit) == 1;
    const ShapeForm form = shapeForm(obj);
    unsigned char shape[shapeSize] = {};
    form.copy(obj, shape);
    Hit compact{};
    EXPECT_EQ(form.test(shape, &ray, &compact) == 1, found);
    if (found) {
        EXPECT_EQ(std::memcmp(&compact.distance, &hit->distance, sizeof hit->distance), 0) << hit->distance;
        EXPECT_EQ(compact.entering, hit->entering);
    }
    return found;
}

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
        const bool found = hitsAlike(c.obj, ray, &hit);
        EXPECT_EQ(found, c.distance >= 0);
        EXPECT_TRUE(!found ||
                    (std::abs(hit.distance - c.distance) < 1e-12 && hit.entering == c.entering && hit.object == c.obj))
            << hit.distance << " entering " << hit.entering;
    }
    EXPECT_LT(length(cone->normalFn(cone, {0.5, 0, 0.5}) - Vector{std::sqrt(0.5), 0, std::sqrt(0.5)}), 1e-12);  // outwards
}

// Random primitives of every kind, some degenerate (no radius, corners in a line, a corner with no
// number), against random rays, rays along an axis and rays through a corner or the centre.
TEST_F(Primitive, CompactShapesAnswerAsTheirRecords) {
    std::mt19937 engine(5150);
    auto uniform = [&](double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine); };
    auto point = [&](double half) { return Vector{uniform(-half, half), uniform(-half, half), uniform(-half, half)}; };
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    int hits = 0;
    for (int trial = 0; trial < 3000; ++trial) {
        const Vector c = point(3);
        Vector corners[3] = {c + point(2), c + point(2), trial % 11 == 0 ? corners[0] * 2.0 - c : c + point(2)};
        if (trial % 47 == 0) corners[1].y = nan;
        const double r = trial % 13 == 0 ? 0.0 : uniform(0.1, 2);
        Vector patch[6] = {corners[0], point(1), corners[1], point(1), corners[2], point(1)};
        Object* obj = nullptr;
        switch (trial % 7) {
            case 0: obj = makeSphere(c, r); break;
            case 1: obj = makePlane(point(1), uniform(-3, 3)); break;
            case 2: obj = makeRing(c, point(1), r / 3, r); break;
            case 3: obj = makeTriangle(vertexArray({corners[0], corners[1], corners[2]})); break;
            case 4: obj = makePatch(patch); break;
            case 5: obj = makeCone(c, r, c + point(2), uniform(0, 1)); break;
            default: obj = makePolygon(vertexArray({corners[0], corners[1], corners[2], c}), 4);
        }
        const Vector origin = point(8);
        const Vector axes[] = {{1, 0, 0}, {0, -1, 0}, {0, 0, 1}};
        const Vector direction = trial % 5 == 0   ? axes[trial % 3]
                                 : trial % 5 == 1 ? corners[trial % 3] - origin
                                 : trial % 5 == 2 ? c - origin
                                                  : point(1);
        Hit hit;
        hits += hitsAlike(obj, makeRay(origin, direction), &hit);
    }
    EXPECT_GT(hits, 400);
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
