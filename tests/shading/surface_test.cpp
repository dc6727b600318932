#include "shading/surface.h"

#include <gtest/gtest.h>

#include "objects/data.h"

TEST(Surface, CopyTakesRefractionBeforeReflectionParameters) {
    Object obj{};
    setSurfaceAttrib(&obj, {0.1, 0.2, 0.3}, 1.0, 2.0, 3.0, 4.0, 5.0, 6.0, /*refraction*/ 7.0,
                     /*refractionIndex*/ 8.0, /*reflectionType*/ 1, /*reflectionSamples*/ 9,
                     /*reflectionRadius*/ 10.0);
    const Surface& s = obj.surface;
    EXPECT_EQ(s.color.green, 0.2);
    EXPECT_EQ(s.ambient, 1.0);
    EXPECT_EQ(s.diffuse, 2.0);
    EXPECT_EQ(s.brilliance, 3.0);
    EXPECT_EQ(s.specular, 4.0);
    EXPECT_EQ(s.roughness, 5.0);
    EXPECT_EQ(s.reflection, 6.0);
    EXPECT_EQ(s.refraction, 7.0);
    EXPECT_EQ(s.refractionIndex, 8.0);
    EXPECT_EQ(s.reflectionType, 1);
    EXPECT_EQ(s.reflectionSamples, 9);
    EXPECT_EQ(s.reflectionRadius, 10.0);
}

TEST(Surface, PrintsColourAndSixWeights) {
    Object obj{};
    obj.surface = surfaceDefaults;
    obj.surface.color = {1, 0.5, 0.25};
    obj.surface.ambient = 0.2;
    obj.surface.reflectionSamples = 77;  // not part of the listing
    testing::internal::CaptureStdout();
    printSurfaceAttrib(&obj);
    EXPECT_EQ(testing::internal::GetCapturedStdout(),
              "Color: red = 1, green = 0.5, blue = 0.25\n"
              "Ambient: ambient = 0.2\nDiffuse: diffuse = 0\nBrilliance: brilliance = 0\n"
              "Specular: specular = 0\nRoughness: roughness = 0\nReflection: reflection = 0\n");
}
