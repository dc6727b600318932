#include "shading/light.h"

#include <algorithm>
#include <cmath>

#include "support/render_fixture.h"

namespace {

int calls = 0;
int blockedCalls = 0;  // bit i set: the i-th query is blocked

double widest = 0.0;  // the largest sine of the angle between a shadow ray and the z axis

int scriptedHit(const Object* obj, const Ray* ray, Hit* hit) {
    widest = std::max(widest, length(cross(ray->direction, {0, 0, 1})));
    *hit = {1.0, 1, obj};
    const int k = calls++;
    return k < 31 && (blockedCalls >> k) & 1;  // queries past the script are free
}

using LightTest = RenderTest;

}  // namespace

// Smooth shadows: three draws per sample, and the fraction of free samples passes (16 samples,
// two blocked: seven eighths). The sample rays lean from the ray to the light's centre by up to
// the light's radius (0.5) over its distance: within the disc the light shows from the point.
TEST_F(LightTest, SmoothShadowsPassTheFreeSamplesSpreadByTheRadiusOverTheDistance) {
    makeLight({0, 0, 4}, {0.5, 1, 2}, 0, 2, 1, 0.5, 16, 0, 0, {0, 0, -3});  // radius 0.5, 16 samples
    const Light* smooth = myLightList;
    addObject(scriptedHit, nullptr);
    blockedCalls = 0b0110;
    for (const double distance : {4.0, 8.0}) {
        Ray ray;
        makeLightRay(smooth, {0, 0, 4 - distance}, &ray);
        Color c;
        calls = 0;
        widest = 0.0;
        EXPECT_EQ(randDraws([&] { smoothShadow(&c, smooth, nullptr, &ray, distance); }), 48);
        EXPECT_EQ(calls, 16);
        EXPECT_TRUE(c.red == 0.4375 && c.blue == 1.75) << c.red << " " << c.blue;
        EXPECT_LE(widest, 0.5 / distance) << distance;
        EXPECT_GT(widest, 0.35 / distance) << distance;
    }
}
