// The flat and fisheye projections are pinned by the end-to-end reference pictures; the lens is
// not (its scene has no reference), so it is checked here.
#include <algorithm>
#include <cmath>

#include "support/render_fixture.h"

namespace {

int calls = 0;
Ray rays[16];

int recordRay(const Object*, const Ray* ray, Hit*) {
    rays[calls++ % 16] = *ray;
    return 0;
}

using CameraTest = RenderTest;

}  // namespace

// With an aperture, 16 lens rays (four draws each) through the focus 10 ahead, averaged; they start
// within the aperture (0.5) along view x and along up.
TEST_F(CameraTest, DepthOfFieldAveragesLensRaysThroughTheFocus) {
    addObject(recordRay, nullptr);
    myBackGroundColor = {0.5, 0.5, 0.5};
    myViewPoint.aperture = 0.5;
    cameraSetup();
    Ray ray;
    screenInit(&ray);
    Color c;
    int level = 0;
    EXPECT_EQ(randDraws([&] { shoot(&ray, &c, &level); }), 64);
    EXPECT_EQ(calls, 16);
    EXPECT_EQ(c.red, 0.5);
    double spread[2] = {0, 0};  // the largest lens offset along each axis
    for (const Ray& r : rays) {
        EXPECT_EQ(r.origin.y, 0.0);
        spread[0] = std::max(spread[0], std::fabs(r.origin.x));
        spread[1] = std::max(spread[1], std::fabs(r.origin.z));
        EXPECT_NEAR(r.origin.x + (10 - r.origin.y) / r.direction.y * r.direction.x, 0.0, 1e-12);
        EXPECT_NEAR(r.origin.z + (10 - r.origin.y) / r.direction.y * r.direction.z, 0.0, 1e-12);
    }
    for (const double s : spread) EXPECT_TRUE(s > 0.1 && s <= 0.5) << s;
}
