#include "shading/shade.h"

#include <tuple>

#include "shading/trace.h"

#include "support/render_fixture.h"

namespace {

int glassEntering = 1;
Object floorRecord{};  // what rays leaving the glass downwards meet, 2 below its top

Vector upNormal(const Object*, Vector) { return {0, 0, 1}; }

// The plane z = 0, met from above.
int floorHit(const Object* obj, const Ray* ray, Hit* hit) {
    *hit = {-ray->origin.z / ray->direction.z, 1, obj};
    return hit->distance > 0.001;
}
// A glass top at z = 0 over a white floor at z = -2.
int glassHit(const Object* obj, const Ray* ray, Hit* hit) {
    if (ray->origin.z > 0.5) {
        *hit = {-ray->origin.z / ray->direction.z, glassEntering, obj};
        return 1;
    }
    *hit = {(-2 - ray->origin.z) / ray->direction.z, 1, &floorRecord};
    return ray->direction.z < 0;
}

auto rgb(const Color& c) { return std::tuple(c.red, c.green, c.blue); }

class ShadeTest : public RenderTest {
protected:
    void SetUp() override {
        RenderTest::SetUp();
        floorRecord.normalFn = upNormal;
        floorRecord.surface = matte({1, 1, 1}, 1.0);
    }
    // The colour traced from (0, 0, 5) straight down.
    static Color traceDown() {
        const Ray ray{{0, 0, 5}, {0, 0, -1}};
        Color c;
        int level = 0;
        trace(&ray, &c, &level);
        return c;
    }
    static void light(Vector at, Color color) { makeLight(at, color, 0, 2, 0, 0, 0, 0, 0, {0, 0, -1}); }
};

}  // namespace

// d2 at distance 2 quarters the light only when red + green + blue / 3 exceeds 1.
TEST_F(ShadeTest, AttenuationOnlyForBrightLights) {
    light({0, 0, 2}, {1, 1, 1});
    addObject(floorHit, upNormal, matte({1, 1, 1}, 0.0, 1.0));
    for (auto [lc, expected] : {std::pair{Color{0.4, 0.4, 0.4}, 0.4}, {{0.5, 0.5, 0.2}, 0.125}}) {
        myLightList->surface.color = lc;
        EXPECT_EQ(traceDown().red, expected) << lc.blue;
    }
}

TEST_F(ShadeTest, RefractionAbsorbsOnlyWhenEntering) {
    Surface glass = matte({0.5, 1, 1}, 0.0);
    glass.refraction = 1.0;
    glass.refractionIndex = 1.5;
    addObject(glassHit, upNormal, glass);
    EXPECT_EQ(traceDown().red, 0.25);  // 2 units through red 0.5
    glassEntering = 0;
    EXPECT_EQ(traceDown().red, 1.0);  // leaving: no absorption
    glassEntering = 1;
}

// A miss is the background (or the haze colour) as given; each component of a hit's colour is
// held at 1 at most, nothing holds it from below.
TEST_F(ShadeTest, OnlyAHitIsClampedAndOnlyAbove) {
    myBackGroundColor = {2.0, -1.0, 0.5};
    EXPECT_EQ(rgb(traceDown()), std::tuple(2.0, -1.0, 0.5));
    myHaze = {0.5, {0.1, 0.2, 3.0}};
    EXPECT_EQ(rgb(traceDown()), std::tuple(0.1, 0.2, 3.0));
    myHaze = {};
    Object* floor = addObject(floorHit, upNormal, matte({1, 0.75, 0.5}, 2.0));
    EXPECT_EQ(rgb(traceDown()), std::tuple(1.0, 1.0, 1.0));
    floor->surface.color = {0.25, -0.5, 1};
    EXPECT_EQ(rgb(traceDown()), std::tuple(0.5, -1.0, 1.0));
}

namespace {

int floorQueries = 0;

int countedFloorHit(const Object* obj, const Ray* ray, Hit* hit) {
    ++floorQueries;
    return floorHit(obj, ray, hit);
}

}  // namespace

// A light whose answer no term uses (behind the surface, no highlight towards it) costs no shadow
// ray; a smooth one still draws its three numbers per sample, so every later draw stays in step.
TEST_F(ShadeTest, ShadowRaysOnlyWhereTheAnswerCounts) {
    const struct {
        double lightZ;      // the light on the axis, above (lit side) or below the floor
        int smoothSamples;  // 0: sharp
        double diffuse, specular;
        int queries, draws;  // the camera ray's query and the shadow rays; rand() values drawn
    } cases[] = {
        {2, 0, 1, 0, 2, 0}, {-2, 0, 1, 0, 1, 0}, {2, 0, 0, 1, 2, 0},   {-2, 0, 0, 1, 1, 0},
        {2, 0, 0, 0, 1, 0}, {2, 4, 1, 0, 5, 12}, {-2, 4, 1, 0, 1, 12}, {-2, 4, 0, 1, 1, 12},
    };
    int row = 0;
    for (const auto& c : cases) {
        resetRunState();
        makeLight({0, 0, c.lightZ}, {1, 1, 1}, 0, 0, c.smoothSamples ? 1 : 0, 0.5, c.smoothSamples, 0, 0, {0, 0, -1});
        Surface surface = matte({1, 1, 1}, 0.1, c.diffuse);
        surface.specular = c.specular;
        addObject(countedFloorHit, upNormal, surface);
        floorQueries = 0;
        EXPECT_EQ(randDraws([] { traceDown(); }), c.draws) << "row " << row;
        EXPECT_EQ(floorQueries, c.queries) << "row " << row++;
    }
}

// A prepared camera ray shades as trace does and counts as one traced ray, a miss as well.
TEST_F(ShadeTest, APreparedRayIsTracedAsTraceDoes) {
    light({0, 0, 2}, {1, 1, 1});
    addObject(floorHit, upNormal, matte({1, 0.5, 0.25}, 0.1, 0.7));
    PreparedRay rays[2];
    rays[0].ray = {{0, 0, 5}, {0, 0, -1}};
    rays[1].ray = {{0, 0, 5}, {0, 0, 1}};  // away from the floor
    prepareRays(rays, 2);
    for (const PreparedRay& prepared : rays) {
        Color expected;
        Color color;
        int level = 0;
        const double distance = trace(&prepared.ray, &expected, &level);
        const std::uint64_t before = tracedRays;
        EXPECT_EQ(tracePrepared(prepared, &color, &level), distance);
        EXPECT_EQ(tracedRays, before + 1);
        EXPECT_EQ(rgb(color), rgb(expected));
    }
}
