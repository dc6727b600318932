#include "shading/shade.h"

#include <algorithm>
#include <cmath>

#include "support/render_fixture.h"

namespace {

int calls = 0;
Ray lastRay{};
int glassEntering = 1;
Object floorRecord{};  // what rays leaving the glass downwards meet, 2 below its top

Vector upNormal(const Object*, Vector) { return {0, 0, 1}; }

// Mirrors facing each other at z = 0 and z = 10 (with far = 0: the plane z = 0 alone).
double far = 10.0;
double steepest = 1.0;  // the smallest z of the rays that went up
int mirrorsHit(const Object* obj, const Ray* ray, Hit* hit) {
    ++calls;
    if (ray->direction.z > 0) steepest = std::min(steepest, ray->direction.z);
    *hit = {((ray->direction.z < 0 ? 0.0 : far) - ray->origin.z) / ray->direction.z, 1, obj};
    return hit->distance > 0.001;
}
// A glass top at z = 0 over a white floor at z = -2.
int glassHit(const Object* obj, const Ray* ray, Hit* hit) {
    if (ray->origin.z > 0.5) {
        *hit = {-ray->origin.z / ray->direction.z, glassEntering, obj};
        return 1;
    }
    lastRay = *ray;
    *hit = {(-2 - ray->origin.z) / ray->direction.z, 1, &floorRecord};
    return ray->direction.z < 0;
}

void expectColor(const Color& c, const Color& expected) {
    EXPECT_EQ(c.red, expected.red);
    EXPECT_EQ(c.green, expected.green);
    EXPECT_EQ(c.blue, expected.blue);
}

class ShadeTest : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        calls = 0;
        far = 0.0;
        floorRecord.normalFn = upNormal;
        floorRecord.surface = matte({1, 1, 1}, 1.0);
    }
    // The colour traced from (0, 0, 5) along d.
    static Color traceDown(Vector d = {0, 0, -1}) {
        const Ray ray{{0, 0, 5}, d};
        Color c;
        int level = 0;
        trace(&ray, &c, &level);
        return c;
    }
    // The colour of the point p of the plane z = 0 seen from above, with surface s.
    static Color shadeFloor(const Surface& s, Vector p = {0, 0, 0}) {
        Object* floor = myObjectList ? myObjectList : addObject(mirrorsHit, upNormal);
        floor->surface = s;
        const Ray ray{p + Vector{0, 0, 5}, {0, 0, -1}};
        const Hit hit{5.0, 1, floor};
        Color c;
        int level = 0;
        shade(floor, &ray, {0, 0, 1}, p, &c, &level, &hit);
        return c;
    }
    static void light(Vector at, Color color) { makeLight(at, color, 0, 2, 0, 0, 0, 0, 0, {0, 0, -1}); }
};

}  // namespace

// d2 at distance 2 quarters the light only when red + green + blue / 3 exceeds 1.
TEST_F(ShadeTest, AttenuationOnlyForBrightLights) {
    light({0, 0, 2}, {1, 1, 1});
    for (auto [lc, expected] : {std::pair{Color{1, 1, 1}, 0.25}, {{0.4, 0.4, 0.4}, 0.4}, {{0.5, 0.5, 0.2}, 0.125}}) {
        myLightList->surface.color = lc;
        EXPECT_EQ(shadeFloor(matte({1, 1, 1}, 0.0, 1.0)).red, expected) << lc.blue;
    }
}

// The highlight takes the light as the diffuse step left it: attenuated only with diffuse.
TEST_F(ShadeTest, HighlightTakesTheLightAsTheDiffuseStepLeftIt) {
    light({0, 0, 2}, {2, 2, 2});
    Surface shiny = matte({0, 0, 0}, 0.0);
    shiny.specular = shiny.roughness = 1.0;
    EXPECT_EQ(shadeFloor(shiny).red, 2.0);
    shiny.diffuse = 1.0;
    EXPECT_EQ(shadeFloor(shiny).red, 0.5);
}

// A light 60 degrees off the normal: cosine 0.5, squared by brilliance 2 only; none from behind.
TEST_F(ShadeTest, DiffuseFollowsTheCosineToTheBrilliance) {
    light({std::sqrt(3.0), 0, 1}, {0.4, 0.4, 0.4});
    Surface s = matte({1, 1, 1}, 0.0, 1.0);
    for (auto [brilliance, expected] : {std::pair{1.0, 0.2}, {2.0, 0.1}}) {
        s.brilliance = brilliance;
        EXPECT_NEAR(shadeFloor(s).red, expected, 1e-15);
    }
    myLightList->light.position = {0, 0, -2};
    EXPECT_EQ(shadeFloor(s).red, 0.0);
}

TEST_F(ShadeTest, SpotLightScalesOrSkipsBeforeTheShadowTest) {
    makeLight({0, 0, 1}, {0.4, 0.4, 0.4}, 1, 0, 0, 0, 0, 0.9961946980917455, 0.9659258262890683, {0, 0, -1});
    const double s = (0.99 - 0.9659258262890683) / (0.9961946980917455 - 0.9659258262890683);
    EXPECT_NEAR(shadeFloor(matte({1, 1, 1}, 0.0, 1.0), {std::sqrt(1 / 0.9801 - 1), 0, 0}).red, 0.4 * s * 0.99, 1e-12);
    EXPECT_EQ(shadeFloor(matte({1, 1, 1}, 0.0, 1.0), {std::sqrt(1 / 0.81 - 1), 0, 0}).red, 0.0);
    EXPECT_EQ(calls, 1);  // outside the outer cone: no shadow ray
}

TEST_F(ShadeTest, HazeGoesByTheLightDeclaredFirst) {
    myHaze = {0.5, {1, 1, 1}};
    EXPECT_EQ(shadeFloor(matte({0.2, 0.2, 0.2}, 1.0)).red, 0.2);  // no light: no haze
    light({0, 0, -2}, {1, 1, 1});
    light({0, 0, -3}, {1, 1, 1});
    const Surface black = matte({0, 0, 0}, 0.0);
    EXPECT_EQ(shadeFloor(black).red, 0.75);
    for (double factor : {1.0, 2.0}) {
        myHaze.factor = factor;
        EXPECT_EQ(shadeFloor(black).green, 1.0);
    }
}

TEST_F(ShadeTest, RefractionBendsByTheIndexAndAbsorbsWhenEntering) {
    Vector t;
    EXPECT_EQ(refractionDirection(1.5, 1.0, {std::sqrt(0.75), 0, -0.5}, {0, 0, 1}, &t), 0);
    EXPECT_NEAR(t.x, -0.5, 1e-15);  // 2 c1 N - I, made unit
    EXPECT_NEAR(t.z, std::sqrt(0.75), 1e-15);
    Surface glass = matte({0.5, 1, 1}, 0.0);
    glass.refraction = 1.0;
    glass.refractionIndex = 1.5;
    addObject(glassHit, upNormal, glass);
    EXPECT_EQ(traceDown().red, 0.25);  // 2 units through red 0.5
    traceDown({0.5, 0, -std::sqrt(0.75)});
    EXPECT_DOUBLE_EQ(lastRay.direction.x, 0.75);  // entering: ratio 1.5
    glassEntering = 0;
    EXPECT_EQ(traceDown({0.5, 0, -std::sqrt(0.75)}).red, 1.0);  // not entering: no absorption
    EXPECT_NEAR(lastRay.direction.x, 0.5 / 1.5, 1e-15);
    glassEntering = 1;
    myObjectList->surface.refractionIndex = 1.0;
    EXPECT_EQ(traceDown().green, 0.0);
}

TEST_F(ShadeTest, ReflectionsStopAfterFiveBounces) {
    Surface mirror = matte({1, 1, 1}, 0.1);
    mirror.reflection = 1.0;
    addObject(mirrorsHit, upNormal, mirror);
    far = 10.0;
    EXPECT_NEAR(traceDown().red, 0.6, 1e-12);
    EXPECT_EQ(calls, 6);  // the primary hit and five reflections
}

// A fuzzy floor: one ray (missing upwards) per sample, three draws each, the mirror direction
// plus a unit offset scaled by the radius over the distance (1 / 5); no samples: sharp.
TEST_F(ShadeTest, FuzzyReflectionSpreadsItsSamples) {
    Surface fuzzy = matte({1, 1, 1}, 0.1);
    fuzzy.reflection = 1.0;
    fuzzy.reflectionType = 1;
    addObject(mirrorsHit, upNormal, fuzzy);
    myBackGroundColor = {0.1, 0.1, 0.1};
    for (auto [samples, draws, rays] : {std::tuple{4, 12, 5}, {0, 0, 2}}) {
        myObjectList->surface.reflectionSamples = samples;
        calls = 0;
        steepest = 1.0;
        EXPECT_EQ(randDraws([&] { EXPECT_NEAR(traceDown().red, 0.2, 1e-15); }), draws);
        EXPECT_EQ(calls, rays);
        EXPECT_GE(steepest, std::sqrt(1 - 0.2 * 0.2));
        EXPECT_EQ(steepest<1.0, samples> 0) << steepest;
    }
}

TEST_F(ShadeTest, AMissIsTheBackgroundOrTheHazeUnclamped) {
    myBackGroundColor = {2.0, -1.0, 0.5};
    expectColor(traceDown(), {2.0, -1.0, 0.5});
    myHaze = {0.5, {0.1, 0.2, 3.0}};
    expectColor(traceDown(), {0.1, 0.2, 3.0});
}

// Each component of a hit's colour is held at 1 at most; nothing holds it from below.
TEST_F(ShadeTest, AHitIsClampedAboveOnly) {
    Object* floor = addObject(mirrorsHit, upNormal, matte({1, 0.75, 0.5}, 2.0));
    EXPECT_EQ(traceDown().red, 1.0);
    floor->surface.color = {0.25, 1, 0.5};
    EXPECT_EQ(traceDown().green, 1.0);
    floor->surface.color = {0.25, -0.5, 1};
    expectColor(traceDown(), {0.5, -1.0, 1.0});
}

TEST_F(ShadeTest, TraceGivesTheHitDistanceUpToTheRecursionLimit) {
    addObject(mirrorsHit, upNormal, matte({1, 1, 1}, 0.5));
    const Ray ray{{0, 0, 5}, {0, 0, -1}};
    Color c;
    int level = 5;
    EXPECT_EQ(trace(&ray, &c, &level), 5.0);
    expectColor(c, {0.5, 0.5, 0.5});
    level = 6;
    EXPECT_EQ(trace(&ray, &c, &level), 0.0);
    expectColor(c, {0, 0, 0});
}
