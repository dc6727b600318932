// The values the blocks leave, read through whole scene files: what the reference images of the
// end-to-end tests do not show (defaults a later block restores, checks made once the scene is
// read, long outlines).
#include "scene/blocks.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

#include "render/camera.h"
#include "support/parse_fixture.h"

namespace {

using Blocks = ParseTest;
constexpr double pi = 3.141592653589793;

// Every camera block starts again from the defaults, and so do size, sampling, background and
// haze in every settings block; the output type and name keep what an earlier block set, and the
// JPEG quality is held at 100 at most.
TEST_F(Blocks, ALaterBlockStartsFromTheDefaults) {
    jpeg_quality = 42;
    run("camera { position <0 -10 2> look_at <0 0 0> up <0 1 1> fov 90 ratio 1 aperture 0.5 samples 2 "
        "projection_type \"fisheye\" focal_length 3 }"
        "camera { position <0 -10 2> look_at <0 0 0> }"
        "settings { display 2 3 output_name \"o\" output_type \"ppm\" aa_type \"quick\" aa_jitter \"yes\" "
        "background 0.1 2 0.3 haze_color 0.5 0.5 0.5 haze_factor 0.25 aa_distance 30 }"
        "settings { output_type \"jpeg\" output_name \"pic\" jpeg_quality 150 }");
    const ViewPoint& v = myViewPoint;
    EXPECT_EQ(std::tuple(v.up.y, v.fov, v.ratio, v.aperture, v.focalLength, v.samples, v.projection),
              std::tuple(0.0, pi / 8, 4.0 / 3, 0.0, 10.0, 16, 0));
    EXPECT_EQ(std::tuple(myDisplay.width, myDisplay.height, iAntialias, adapt_dist, jitter, myBackGroundColor.green,
                         myHaze.factor, myHaze.color.red),
              std::tuple(320, 240, 0, 64, 0, 0.0, 0.0, 0.0));
    EXPECT_EQ(std::tuple(iImageType, std::string(myDisplay.outputName), jpeg_quality), std::tuple(4, "pic", 100));
}

// Only the camera and the image size that will be rendered are checked, once the scene is read:
// a later block or keyword may replace a value that could not be rendered, and a refused value
// is reported at the line of the block that set it.
TEST_F(Blocks, OnlyTheCameraAndSizeRenderedAreChecked) {
    const std::string surface = "surface { color 1 1 1 }\n";
    const std::string camera = "camera { position <0 -10 2> look_at <0 0 0> }\n";
    const std::string settings = "settings { output_type \"png\" output_name \"o\" ";
    const std::string sameEye = "camera { position <1 2 3> look_at <1 2 3>\n}\n";
    const std::string sizeMessage = " image width and height must be greater than 0";
    const std::string eyeMessage = " camera position and look_at cannot be the same point";
    const std::pair<std::string, std::string> cases[] = {
        {camera + surface + settings + "display 0 0 display 8 6 }", ""},
        {sameEye + camera + surface + settings + "}", ""},
        {camera + surface + settings + "display 8 6 }\n" + settings + "\ndisplay 8 0 }", parseError(5, sizeMessage)},
        {camera + sameEye + surface + settings + "}", parseError(3, eyeMessage)},  // the closing brace
        {settings + "display 0 1 }", parseError(1, sizeMessage)},                  // no camera
        {sameEye + settings + "display 0 1 }", parseError(2, eyeMessage)},         // of two, the one read first
    };
    for (const auto& [text, expected] : cases) {
        int result = 1;
        const std::string out = run(text, &result);
        EXPECT_EQ(result, expected.empty() ? 0 : 1) << text << out;
        EXPECT_TRUE(out.ends_with(expected)) << text << out;
    }
}

TEST_F(Blocks, ALongOutlineKeepsItsCornersWhileItsArrayGrows) {
    std::string corners;
    for (int k = 0; k < 37; ++k) corners += "vertex <" + std::to_string(k) + " " + std::to_string(k * k) + " 0> ";
    run("polygon { 37 " + corners + "}");
    const PolygonData& outline = myObjectList->polygon;
    ASSERT_EQ(outline.vertexCount, 37);
    for (int k = 0; k < 37; ++k) EXPECT_EQ(outline.vertices[k].y, k * k) << k;
}

}  // namespace
