#include "shading/light.h"

#include <cmath>

#include "objects/bound.h"
#include "objects/sphere.h"
#include "support/render_fixture.h"

namespace {

int calls = 0;
int blockedCalls = 0;  // bit i set: the i-th query is blocked

int scriptedHit(const Object* obj, const Ray*, Hit* hit) {
    *hit = {1.0, 1, obj};
    return (blockedCalls >> calls++) & 1;
}

// A light at (0, 0, 4) aimed down, with inner and outer cones of 10 and 30 degrees.
Light* light(Color color, int attenuation, int shadow = 0, int samples = 0) {
    makeLight({0, 0, 4}, color, 0, attenuation, shadow, 0.5, samples, 0.9961946980917455, 0.9659258262890683, {0, 0, -3});
    return myLightList;
}

using LightTest = RenderTest;

}  // namespace

TEST_F(LightTest, ListRunsNewestFirstWithRaysAndAttenuation) {
    Light* d = light({1, 1, 1}, 1);
    Light* d2 = light({1, 1, 1}, 2);
    Light* none = light({1, 1, 1}, 0);
    EXPECT_TRUE(myLightList == none && none->next == d2 && d2->next == d && d->kind == kindLight);
    EXPECT_EQ(d->light.direction.z, -1.0);  // made unit length
    Ray ray;
    EXPECT_EQ(makeLightRay(d, {0, 0, 0}, &ray), 4.0);
    EXPECT_EQ(ray.direction.z, 1.0);
    EXPECT_TRUE(attenuationFactor(d, 4.0) == 0.25 && attenuationFactor(d2, 4.0) == 0.0625 && attenuationFactor(none, 4.0) == 1);
}

TEST_F(LightTest, ShadowsPassTheFractionOfFreeRays) {
    Light* sharp = light({0.5, 1, 2}, 2);
    Light* smooth = light({0.5, 1, 2}, 2, 1, 4);
    addObject(scriptedHit, nullptr);
    Ray ray;
    const double d = makeLightRay(sharp, {0, 0, 0}, &ray);
    Color c;
    struct Case { const Light* light; int blocked; double fraction; };
    for (const Case& t : {Case{sharp, 1, 0.0}, Case{sharp, 0, 1.0}, Case{smooth, 0xF, 0.0}, Case{smooth, 0, 1.0},
                          Case{smooth, 0b0010, 0.75}}) {
        calls = 0;
        blockedCalls = t.blocked;
        EXPECT_EQ((t.light == sharp ? getLightColor : smoothShadow)(&c, t.light, nullptr, &ray, d), &c);
        EXPECT_TRUE(c.red == 0.5 * t.fraction && c.blue == 2.0 * t.fraction) << t.blocked;
        EXPECT_EQ(calls, t.light == sharp ? 1 : 4);
    }
    EXPECT_EQ(randDraws([&] { smoothShadow(&c, smooth, nullptr, &ray, d); }), 12);
}

TEST_F(LightTest, SpotFactorFallsOffBetweenTheCones) {
    const Light* spot = light({1, 1, 1}, 2);
    // L points from the point towards the light: c = -(axis . L) = L.z here.
    double s = -1;
    auto factor = [&](double c) { return spotFactor(spot, {std::sqrt(1 - c * c), 0, c}, &s); };
    EXPECT_TRUE(factor(0.99));
    EXPECT_NEAR(s, 0.795, 0.001);
    EXPECT_FALSE(factor(0.9));
    EXPECT_TRUE(factor(0.9659258262890683) && s == 0.0);  // the outer cone belongs to it
    EXPECT_TRUE(factor(0.999) && s == 1.0);
    myLightList->light.cosMinAngle = 0.9;  // inner cone wider than the outer one: hard edge
    EXPECT_TRUE(factor(0.97) && s == 1.0);
}

TEST_F(LightTest, ShadowRaysSkipTheLitObjectAndStopAtTheLight) {
    const Object* lit = makeSphere({0, 0, 0}, 1);
    makeSphere({0, 0, 6}, 1);  // beyond the light
    makeSphere({9, 0, 0}, 1);
    buildBoundingSlabs();
    const Light* above = light({1, 1, 1}, 2);
    Ray ray;
    const double d = makeLightRay(above, {0, 0, -1}, &ray);  // up through the lit sphere
    Color c;
    EXPECT_EQ(getLightColor(&c, above, lit, &ray, d)->red, 1.0);
    EXPECT_EQ(getLightColor(&c, above, nullptr, &ray, d)->red, 0.0);
}
