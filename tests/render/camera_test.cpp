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

Vector through(double x, double y) {
    Ray ray{};
    initRay(x, y, &ray);
    return ray.direction;
}
double degreesFromView(Vector d) { return std::acos(d.y) * 180 / M_PI; }

using CameraTest = RenderTest;

}  // namespace

TEST_F(CameraTest, FlatAndFisheyeFields) {
    EXPECT_NEAR(degreesFromView(through(320, 120)), 22.5, 1e-9);
    EXPECT_GT(through(320, 120).x, 0);  // image x grows along view x up
    EXPECT_NEAR(degreesFromView(through(160, 0)), 16.875, 1e-9);
    EXPECT_GT(through(160, 0).z, 0);  // the top row leans towards up
    for (int projection : {0, 1}) {
        myViewPoint.projection = projection;
        EXPECT_NEAR(through(160, 120).y, 1.0, 1e-15);
    }
    myViewPoint.fov = M_PI / 2;  // fisheye still
    cameraSetup();
    EXPECT_NEAR(through(0, 120).x, -1.0, 1e-12);
    EXPECT_NEAR(through(320, 120).x, 1.0, 1e-12);
    EXPECT_NEAR(through(240, 120).x, std::sin(M_PI / 4), 1e-12);  // angles, not tangents
}

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
    for (const double s : spread) {
        EXPECT_GT(s, 0.1);
        EXPECT_LE(s, 0.5);
    }
}
