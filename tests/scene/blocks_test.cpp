// The camera, settings, light and surface blocks, read through whole scene files.
#include "scene/blocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "support/parse_fixture.h"

namespace {

using Blocks = ParseTest;
constexpr double pi = 3.141592653589793;

TEST_F(Blocks, CameraDefaultsAndParameters) {
    run("camera { position <0 -10 2> look_at <0 0 0> up <0 1 1> fov 90 ratio 1 aperture 0.5 samples 2 }"
        "camera { position <0 -10 2> look_at <0 0 0> }");  // a later block starts again from the defaults
    EXPECT_TRUE(myViewPoint.up.x == 0 && myViewPoint.up.y == 0 && myViewPoint.up.z == 1);
    EXPECT_EQ(myViewPoint.fov, 0.39269908169872414);
    EXPECT_EQ(myViewPoint.ratio, 1.3333333333333333);
    EXPECT_EQ(myViewPoint.aperture, 0.0);
    EXPECT_EQ(myViewPoint.focalLength, 10.0);
    EXPECT_EQ(myViewPoint.samples, 16);
    EXPECT_EQ(myViewPoint.projection, 0);
    EXPECT_EQ(c, 2);

    run("camera { position <3 0 0> look_at <0 0 0> fov 90 ratio 1.5 aperture 0.5 camera_samples 4 "
        "projection_type \"fisheye\" focal_point <0 4 0> }");
    EXPECT_EQ(myViewPoint.fov, pi / 4);
    EXPECT_EQ(myViewPoint.ratio, 1.5);
    EXPECT_EQ(myViewPoint.aperture, 0.5);
    EXPECT_EQ(myViewPoint.samples, 4);
    EXPECT_EQ(myViewPoint.projection, 1);
    EXPECT_EQ(myViewPoint.focalLength, 5.0);  // from the position to the focal point
}

TEST_F(Blocks, SettingsDefaultsAndParameters) {
    jpeg_quality = 42;
    iImageType = 1;
    run("settings { resolution 640 480 output_type \"tga\" output_name \"a\" aa_jitter \"yes\" aa_type \"adaptive\" "
        "aa_distance 30 background 0.1 2 0.3 haze_color 0.5 0.5 0.5 haze_factor 0.25 }"
        "settings { output_type \"jpeg\" output_name \"pic\" }");
    EXPECT_EQ(myDisplay.width, 320);
    EXPECT_EQ(myDisplay.height, 240);
    EXPECT_STREQ(myDisplay.outputName, "pic");
    EXPECT_EQ(iImageType, 4);
    EXPECT_EQ(iAntialias, 0);
    EXPECT_EQ(adapt_dist, 64);
    EXPECT_EQ(jitter, 0);
    EXPECT_EQ(jpeg_quality, 42);  // not reset by a block
    EXPECT_EQ(myBackGroundColor.green, 0.0);
    EXPECT_EQ(myHaze.factor, 0.0);

    run("settings { display 2 3 output_name \"o\" output_type \"ppm\" antialiasing \"quick\" jitter \"yes\" "
        "background 0.1 2 0.3 haze_color 0.5 0.5 0.5 haze_factor 0.25 aa_distance 30 }");
    EXPECT_TRUE(myDisplay.width == 2 && myDisplay.height == 3 && iImageType == 2 && iAntialias == 1 && jitter == 1);
    EXPECT_TRUE(myBackGroundColor.green == 2.0 && myHaze.color.red == 0.5 && myHaze.factor == 0.25 && adapt_dist == 30);
    const std::pair<const char*, int> qualities[] = {{"0", 90}, {"-5", 90}, {"150", 100}, {"100", 100}, {"1", 1}};
    for (const auto& [text, stored] : qualities) {
        run(std::string("settings { output_name \"o\" output_type \"jpeg\" jpeg_quality ") + text + " }");
        EXPECT_EQ(jpeg_quality, stored) << text;
    }
}

TEST_F(Blocks, LightDefaultsAndParameters) {
    run("light { position <0 0 10> color 1 1 1 target <0 0 0> }");
    const LightData* light = &myLightList->light;
    EXPECT_EQ(light->direction.z, -1.0);  // towards the target, made unit
    EXPECT_TRUE(light->lightType == 0 && light->attenuationType == 2 && light->shadowType == 0);
    EXPECT_TRUE(light->samples == 0 && light->radius == 0.0);  // a sharp light needs neither
    EXPECT_EQ(light->cosMinAngle, 0.9961946980917455);
    EXPECT_EQ(light->cosMaxAngle, 0.9659258262890683);

    run("light { position <1 2 3> color 2 0.5 3 light_type \"spot\" target <1 2 0> attenuation_type \"d\" "
        "shadow_type \"smooth\" radius 0.5 light_samples 8 min_angle 20 max_angle 60 }"
        "light { position <0 0 0> color 1 1 1 attenuation_type \"none\" samples 3 }");
    light = &myLightList->next->light;  // newest first
    EXPECT_EQ(myLightList->next->surface.color.blue, 3.0);  // light colours may exceed 1
    EXPECT_TRUE(light->lightType == 1 && light->attenuationType == 1 && light->shadowType == 1);
    EXPECT_TRUE(light->radius == 0.5 && light->samples == 8);
    EXPECT_EQ(light->cosMinAngle, std::cos(10.0 * pi / 180.0));
    EXPECT_EQ(light->cosMaxAngle, std::cos(30.0 * pi / 180.0));
    EXPECT_TRUE(myLightList->light.attenuationType == 0 && myLightList->light.samples == 3);
    EXPECT_EQ(iNumLight, 2);
}

TEST_F(Blocks, SurfaceBlocksReplaceTheWholeCurrentSurface) {
    std::string out = run("sphere { center <0 0 0> radius 1 }"  // before any surface block: the empty surface
                          "surface { color 0.2 0.4 0.6 ambient 0.1 diffuse 0.7 brilliance 2 specular 0.5 roughness 20 "
                          "reflection 0.3 reflection_type \"fuzzy\" reflection_samples 4 reflection_radius 0.2 "
                          "refraction 0.8 refraction_index 1.5 } sphere { center <0 0 0> radius 1 }"
                          "surface { ambient 0.2 refraction_index 0.5 } sphere { center <0 0 0> radius 1 }");
    const Surface& first = myObjectList->next->next->surface;
    EXPECT_TRUE(first.color.red == 0 && first.ambient == 0 && first.reflectionSamples == 10 &&
                first.reflectionRadius == 1.0 && first.refractionIndex == 1.0);
    const Surface& full = myObjectList->next->surface;
    EXPECT_TRUE(full.color.green == 0.4 && full.ambient == 0.1 && full.diffuse == 0.7 && full.brilliance == 2 &&
                full.specular == 0.5 && full.roughness == 20 && full.reflection == 0.3 && full.reflectionType == 1 &&
                full.reflectionSamples == 4 && full.reflectionRadius == 0.2 && full.refraction == 0.8 &&
                full.refractionIndex == 1.5);
    const Surface& last = myObjectList->surface;
    EXPECT_TRUE(last.color.green == 0 && last.ambient == 0.2 && last.reflectionType == 0 && last.refractionIndex == 1.0);
    EXPECT_NE(out.find("\n Parsing scene.orv indice of refraction cannot be lower than 1.0 Missing camera!"),
              std::string::npos);
    EXPECT_EQ(run("surface { refraction_index 1.0 color 0 0 0 }"), "\n Parsing scene.orv Missing camera!");
}

TEST_F(Blocks, EveryMessage) {
    const std::string camera = "camera { position <0 -10 2> look_at <0 0 0> ";
    const std::string settings = "settings { output_type \"png\" output_name \"o\" ";
    const std::string light = "light { position <0 0 1> color 1 1 1 ";
    const std::string missing = " Error in light structure - missing parameters";
    const std::pair<std::string, std::string> cases[] = {
        {"camera position", " Opening bracket '{' expected"},
        {camera + "samples 0 }", " camera samples must be greater than 0"},
        {camera + "camera_samples -3 }", " camera samples must be greater than 0"},
        {camera + "projection_type \"Fisheye\" }", " invalid camera projection type specified"},
        {camera + "direction <0 0 1> }", " Unkown parameter in camera structure"},
        {camera + "target <0 0 1> }", " Unkown parameter in camera structure"},
        {camera + "camera_index 1 }", " Unkown parameter in camera structure"},
        {camera, " Unkown parameter in camera structure"},
        {camera + "position <0 1 0> }", " error in camera structure declaration"},
        {"camera { position <0 1 0> }", " error in camera structure declaration"},
        {"camera { focal_length 5 focal_point <0 0 0> }", " error in camera structure declaration"},
        {camera + "focal_length 5 focal_point <0 0 0> }", " focal lenght OR focal point must be defined"},
        {"camera { position <1 2 3> look_at <1 2 3> }", " camera position and look_at cannot be the same point"},
        {"camera { position <0 0 5> look_at <0 0 0> }", " camera up vector cannot be null or parallel to the viewing direction"},
        {camera + "up <0 0 0> }", " camera up vector cannot be null or parallel to the viewing direction"},
        {camera + "up <0 1e-300 0> }", " camera up vector cannot be null or parallel to the viewing direction"},
        {settings + "output_type \"jpg\" }", " invalid output file type specified"},
        {settings + "output_type \"JPEG\" }", " invalid output file type specified"},
        {settings + "jitter \"true\" }", " jitter must be either 'yes' or 'no'"},
        {settings + "aa_type \"Quick\" }", " invalid anti-aliasing type specified"},
        {"settings { output_type \"png\" }", " error in settings structure declaration"},
        {settings + "output_type \"png\" }", " error in settings structure declaration"},
        {settings + "input_name \"a\" }", " Unkown parameter in settings structure"},
        {settings + "halton }", " Unkown parameter in settings structure"},
        {settings, " Unkown parameter in settings structure"},
        {settings + "resolution 640 }", " Integer value expected"},
        {settings + "resolution 0 240 }", " image width and height must be greater than 0"},
        {settings + "display 320 -1 }", " image width and height must be greater than 0"},
        {settings + "background #sky }", " Color declaration not found"},
        {light + "color 0 1 1 }", " invalid color component(s)"},
        {light + "light_type \"area\" }", " invalid light type specified"},
        {light + "attenuation_type \"D\" }", " invalid light attenuation type specified"},
        {light + "shadow_type \"soft\" }", " invalid shadow type specified"},
        {light + "radius 0 }", " smooth light radius must be greater than 0"},
        {light + "light_samples 0 }", " smooth light samples must be greater than 0"},
        {light + "direction <0 0 1> }", " Unkown parameter in light structure"},
        {light + "target <0 0 1> }", " Error in light structure - invalid target"},
        {"light { position <0 0 1> target <0 0 1> }", " Error in light structure - invalid target"},  // checked first
        {"light { position <0 0 1> }", missing},
        {light + "position <0 0 1> }", missing},
        {light + "shadow_type \"smooth\" samples 4 }", missing},
        {light + "shadow_type \"smooth\" radius 1 samples 4 samples 4 }", missing},
        {light + "light_type \"spot\" }", missing},  // a spot light needs a target
        {"surface { color 2 2 2 }", " invalid color component(s)"},
        {"surface { color 0 0 -0.1 }", " invalid color component(s)"},
        {"surface { reflection_type \"blurry\" }", " invalid reflection type specified"},
        {"surface { radius 1 }", " Unkown parameter in surface structure"},
        {"surface { reflection_samples 2.5x }", " Unkown parameter in surface structure"},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(error(text), parseError(1, message)) << text;
    // Counts are checked at the closing brace, not while reading.
    EXPECT_EQ(error("camera { position <0 1 0>\n\n}"), parseError(3, " error in camera structure declaration"));
    EXPECT_EQ(error("light { position <0 0 1>\n}"), parseError(2, missing));
}

}  // namespace
