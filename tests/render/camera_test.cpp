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

TEST_F(CameraTest, SetupMakesUpOrthogonalAndRunsAgainOnDemand) {
    myViewPoint.up = {0, 3, 3};
    myViewPoint.lookAt = {0, 5, 0};
    cameraSetup();
    EXPECT_NEAR(myViewPoint.up.z, 1.0, 1e-15);
    EXPECT_NEAR(myViewPoint.up.y, 0.0, 1e-15);
    myViewPoint.lookAt = {1, 0, 0};
    Ray ray;
    screenInit(&ray);
    EXPECT_EQ(ray.direction.y, 1.0);  // the frame stays until cameraSetup runs again
    cameraSetup();
    screenInit(&ray);
    EXPECT_EQ(ray.direction.x, 1.0);
}

TEST_F(CameraTest, DepthOfFieldAveragesLensRaysThroughTheFocus) {
    addObject(recordRay, nullptr);
    myBackGroundColor = {0.5, 0.5, 0.5};
    Ray ray;
    screenInit(&ray);
    Color c;
    int level = 0;
    EXPECT_EQ(randDraws([&] { shoot(&ray, &c, &level); }), 0);
    EXPECT_EQ(calls, 1);
    myViewPoint.aperture = 0.5;
    cameraSetup();
    calls = 0;
    EXPECT_EQ(randDraws([&] { shoot(&ray, &c, &level); }), 64);
    EXPECT_EQ(calls, 16);
    EXPECT_EQ(c.red, 0.5);
    // Draws a, sign of a, b, sign of b; the lens axes are view x and -up, 0.5 long.
    std::srand(12345);
    double ab[2];
    for (double& v : ab) {
        v = std::rand() / 2147483647.0;
        if (std::rand() / 2147483647.0 > 0.5) v = -v;
    }
    EXPECT_DOUBLE_EQ(rays[0].origin.x, 0.5 * ab[0]);
    EXPECT_DOUBLE_EQ(rays[0].origin.z, -0.5 * ab[1]);
    for (const Ray& r : rays) {  // all pass through the focus (0, 10, 0)
        EXPECT_NEAR(r.origin.x + (10 - r.origin.y) / r.direction.y * r.direction.x, 0.0, 1e-12);
        EXPECT_NEAR(r.origin.z + (10 - r.origin.y) / r.direction.y * r.direction.z, 0.0, 1e-12);
    }
}
