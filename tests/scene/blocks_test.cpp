#include "scene/blocks.h"

#include <gtest/gtest.h>

#include <cmath>
#include <string>

#include "scene/lexer.h"
#include "support/parse_fixture.h"

namespace {

constexpr double pi = 3.141592653589793;

class Blocks : public ParseTest {
protected:
    // The message a block ends with when run on its own.
    template <class Block>
    static std::string failure(Block block, const std::string& text) {
        resetLexer();
        const std::string out = abortOutput([&] { runBlock(block, text); });
        const auto at = out.rfind("\n Parser Error");
        return at == std::string::npos ? out : out.substr(at + 1);
    }
    static std::string error(int line, const std::string& message) { return parseError(line, message).substr(1); }
};

TEST_F(Blocks, CameraDefaults) {
    myViewPoint.up = {9, 9, 9};
    myViewPoint.samples = 3;
    runBlock(yy_camera, "{ position <0 -10 2> look_at <0 0 0> }");
    EXPECT_EQ(myViewPoint.position.y, -10.0);
    EXPECT_EQ(myViewPoint.up.x, 0.0);
    EXPECT_EQ(myViewPoint.up.z, 1.0);
    EXPECT_EQ(myViewPoint.fov, 0.39269908169872414);
    EXPECT_EQ(myViewPoint.ratio, 1.3333333333333333);
    EXPECT_EQ(myViewPoint.aperture, 0.0);
    EXPECT_EQ(myViewPoint.focalLength, 10.0);
    EXPECT_EQ(myViewPoint.samples, 16);
    EXPECT_EQ(myViewPoint.projection, 0);
}

TEST_F(Blocks, CameraParameters) {
    runBlock(yy_camera,
             "{ position <0 -10 2> look_at <0 0 0> up <0 1 1> fov 90 ratio 1 aperture 0.5 camera_samples 4 "
             "projection_type \"fisheye\" focal_point <0 0 2> }");
    EXPECT_EQ(myViewPoint.fov, pi / 4);
    EXPECT_EQ(myViewPoint.up.y, 1.0);
    EXPECT_EQ(myViewPoint.ratio, 1.0);
    EXPECT_EQ(myViewPoint.aperture, 0.5);
    EXPECT_EQ(myViewPoint.samples, 4);
    EXPECT_EQ(myViewPoint.projection, 1);
    EXPECT_EQ(myViewPoint.focalLength, 10.0);  // distance from the position to the focal point
    runBlock(yy_camera, "{ position <3 0 0> look_at <0 0 0> focal_point <0 4 0> samples 2 projection_type \"flat\" }");
    EXPECT_EQ(myViewPoint.focalLength, 5.0);
    EXPECT_EQ(myViewPoint.samples, 2);
    EXPECT_EQ(myViewPoint.projection, 0);
    runBlock(yy_camera, "{ position <1 0 0> look_at <0 0 0> focal_length 2.5 }");
    EXPECT_EQ(myViewPoint.focalLength, 2.5);
}

TEST_F(Blocks, CameraErrorsWhileReading) {
    const std::string ok = "position <0 -10 2> look_at <0 0 0> ";
    EXPECT_EQ(failure(yy_camera, "position"), error(1, " Opening bracket '{' expected"));
    EXPECT_EQ(failure(yy_camera, "{ " + ok + "samples 0 }"), error(1, " camera samples must be greater than 0"));
    EXPECT_EQ(failure(yy_camera, "{ samples -3 }"), error(1, " camera samples must be greater than 0"));
    EXPECT_EQ(failure(yy_camera, "{ projection_type \"Fisheye\" }"), error(1, " invalid camera projection type specified"));
    for (const char* word : {"direction", "target", "camera_index", "light", "color"}) {
        EXPECT_EQ(failure(yy_camera, std::string("{ ") + word + " <0 0 1> }"),
                  error(1, " Unkown parameter in camera structure"))
            << word;
    }
    EXPECT_EQ(failure(yy_camera, "{ " + ok + "\n"), error(2, " Unkown parameter in camera structure"));
    EXPECT_EQ(failure(yy_camera, "{ fov \"wide\" }"), error(1, " Decimal value expected"));
}

TEST_F(Blocks, CameraChecksAtTheClosingBraceInOrder) {
    // A repeated or missing position/look_at is only found at the closing brace (line 2 here).
    EXPECT_EQ(failure(yy_camera, "{ position <0 1 0> position <0 2 0> look_at <0 0 0>\n}"),
              error(2, " error in camera structure declaration"));
    EXPECT_EQ(failure(yy_camera, "{ position <0 1 0>\n}"), error(2, " error in camera structure declaration"));
    EXPECT_EQ(failure(yy_camera, "{ position <0 1 0> look_at <0 0 0> focal_length 5 focal_point <0 0 0> }"),
              error(1, " focal lenght OR focal point must be defined"));
    EXPECT_EQ(failure(yy_camera, "{ focal_length 5 focal_point <0 0 0> }"),
              error(1, " error in camera structure declaration"));
    EXPECT_EQ(failure(yy_camera, "{ position <1 2 3> look_at <1 2 3> }"),
              error(1, " camera position and look_at cannot be the same point"));
    EXPECT_EQ(failure(yy_camera, "{ position <0 0 5> look_at <0 0 0> }"),  // default up along the view
              error(1, " camera up vector cannot be null or parallel to the viewing direction"));
    EXPECT_EQ(failure(yy_camera, "{ position <0 5 0> look_at <0 0 0> up <0 0 0> }"),
              error(1, " camera up vector cannot be null or parallel to the viewing direction"));
    EXPECT_EQ(failure(yy_camera, "{ position <0 5 0> look_at <0 0 0> up <0 1e-300 0> }"),
              error(1, " camera up vector cannot be null or parallel to the viewing direction"));
    runBlock(yy_camera, "{ position <0 0 5> look_at <0 0 0> up <0 1 0> }");
    EXPECT_EQ(myViewPoint.up.y, 1.0);
}

TEST_F(Blocks, SettingsDefaultsResetAtEachBlock) {
    myDisplay.width = 1;
    iAntialias = 2;
    adapt_dist = 5;
    jitter = 1;
    iImageType = 1;
    jpeg_quality = 42;
    myBackGroundColor = {1, 1, 1};
    myHaze = {0.5, {1, 1, 1}};
    runBlock(yy_settings, "{ output_type \"png\" output_name \"out\" }");
    EXPECT_EQ(myDisplay.width, 320);
    EXPECT_EQ(myDisplay.height, 240);
    EXPECT_STREQ(myDisplay.outputName, "out");
    EXPECT_EQ(iImageType, 3);
    EXPECT_EQ(iAntialias, 0);
    EXPECT_EQ(adapt_dist, 64);
    EXPECT_EQ(jitter, 0);
    EXPECT_EQ(jpeg_quality, 42);  // not reset
    EXPECT_EQ(myBackGroundColor.red, 0.0);
    EXPECT_EQ(myHaze.factor, 0.0);
    EXPECT_EQ(myHaze.color.blue, 0.0);
}

TEST_F(Blocks, SettingsParameters) {
    runBlock(yy_settings,
             "{ resolution 640 480 output_type \"tga\" output_name \"pic\" aa_jitter \"yes\" aa_type \"adaptive\" "
             "aa_distance 30 background 0.1 2 0.3 haze_color 0.5 0.5 0.5 haze_factor 0.25 jpeg_quality 75 }");
    EXPECT_EQ(myDisplay.width, 640);
    EXPECT_EQ(myDisplay.height, 480);
    EXPECT_EQ(iImageType, 0);
    EXPECT_EQ(jitter, 1);
    EXPECT_EQ(iAntialias, 2);
    EXPECT_EQ(adapt_dist, 30);
    EXPECT_EQ(myBackGroundColor.green, 2.0);  // no range check
    EXPECT_EQ(myHaze.color.red, 0.5);
    EXPECT_EQ(myHaze.factor, 0.25);
    EXPECT_EQ(jpeg_quality, 75);

    const std::pair<const char*, int> types[] = {{"tga", 0}, {"bmp", 1}, {"ppm", 2}, {"png", 3}, {"jpeg", 4}};
    for (const auto& [word, code] : types) {
        runBlock(yy_settings, std::string("{ output_name \"o\" display 2 3 antialiasing \"quick\" jitter \"no\" "
                                          "output_type \"") + word + "\" }");
        EXPECT_EQ(iImageType, code) << word;
        EXPECT_EQ(myDisplay.width, 2);
        EXPECT_EQ(iAntialias, 1);
        EXPECT_EQ(jitter, 0);
    }
    const std::pair<const char*, int> qualities[] = {{"0", 90}, {"-5", 90}, {"150", 100}, {"100", 100}, {"1", 1}};
    for (const auto& [text, stored] : qualities) {
        runBlock(yy_settings, std::string("{ output_name \"o\" output_type \"jpeg\" jpeg_quality ") + text + " }");
        EXPECT_EQ(jpeg_quality, stored) << text;
    }
}

TEST_F(Blocks, SettingsErrors) {
    const std::string ok = "output_type \"png\" output_name \"out\" ";
    EXPECT_EQ(failure(yy_settings, "{ " + ok + "output_type \"jpg\" }"), error(1, " invalid output file type specified"));
    EXPECT_EQ(failure(yy_settings, "{ output_type \"JPEG\" }"), error(1, " invalid output file type specified"));
    EXPECT_EQ(failure(yy_settings, "{ jitter \"true\" }"), error(1, " jitter must be either 'yes' or 'no'"));
    EXPECT_EQ(failure(yy_settings, "{ aa_type \"Quick\" }"), error(1, " invalid anti-aliasing type specified"));
    EXPECT_EQ(failure(yy_settings, "{ output_type \"png\"\n}"), error(2, " error in settings structure declaration"));
    EXPECT_EQ(failure(yy_settings, "{ " + ok + "output_type \"png\" }"), error(1, " error in settings structure declaration"));
    for (const char* word : {"input_name", "global_illumination", "distribution", "brightness", "hammersley", "halton"}) {
        EXPECT_EQ(failure(yy_settings, std::string("{ ") + word + " \"scene\" }"),
                  error(1, " Unkown parameter in settings structure"))
            << word;
    }
    EXPECT_EQ(failure(yy_settings, "{ " + ok), error(1, " Unkown parameter in settings structure"));
    EXPECT_EQ(failure(yy_settings, "{ resolution 640 }"), error(1, " Integer value expected"));
    EXPECT_EQ(failure(yy_settings, "{ resolution 0 240 }"), error(1, " image width and height must be greater than 0"));
    EXPECT_EQ(failure(yy_settings, "{ display 320 -1 }"), error(1, " image width and height must be greater than 0"));
    EXPECT_EQ(failure(yy_settings, "{ background #sky }"), error(1, " Color declaration not found"));
    EXPECT_EQ(failure(yy_settings, "resolution"), error(1, " Opening bracket '{' expected"));
}

TEST_F(Blocks, LightDefaultsAndDirection) {
    runBlock(yy_light, "{ position <0 0 10> color 1 1 1 target <0 0 0> }");
    ASSERT_NE(myLightList, nullptr);
    const LightData& light = myLightList->light;
    EXPECT_EQ(myLightList->surface.color.red, 1.0);
    EXPECT_EQ(light.position.z, 10.0);
    EXPECT_EQ(light.lightType, 0);
    EXPECT_EQ(light.attenuationType, 2);
    EXPECT_EQ(light.shadowType, 0);
    EXPECT_EQ(light.samples, 0);
    EXPECT_EQ(light.radius, 0.0);
    EXPECT_EQ(light.direction.z, -1.0);  // (0, 0, -10) made unit
    EXPECT_EQ(light.cosMinAngle, 0.9961946980917455);
    EXPECT_EQ(light.cosMaxAngle, 0.9659258262890683);
    EXPECT_EQ(iNumLight, 1);
}

TEST_F(Blocks, LightParameters) {
    runBlock(yy_light,
             "{ position <1 2 3> color 2 0.5 3 light_type \"spot\" target <1 2 0> attenuation_type \"d\" "
             "shadow_type \"smooth\" radius 0.5 light_samples 8 min_angle 20 max_angle 60 }");
    const LightData& light = myLightList->light;
    EXPECT_EQ(myLightList->surface.color.blue, 3.0);  // light colours may exceed 1
    EXPECT_EQ(light.lightType, 1);
    EXPECT_EQ(light.attenuationType, 1);
    EXPECT_EQ(light.shadowType, 1);
    EXPECT_EQ(light.radius, 0.5);
    EXPECT_EQ(light.samples, 8);
    EXPECT_EQ(light.cosMinAngle, std::cos(10.0 * pi / 180.0));
    EXPECT_EQ(light.cosMaxAngle, std::cos(30.0 * pi / 180.0));
    runBlock(yy_light, "{ position <0 0 0> color 1 1 1 attenuation_type \"none\" samples 3 }");
    EXPECT_EQ(myLightList->light.attenuationType, 0);
    EXPECT_EQ(myLightList->light.samples, 3);
    runBlock(yy_light, "{ position <0 0 0> color 1 1 1 attenuation_type \"d2\" light_type \"point\" }");
    EXPECT_EQ(myLightList->light.attenuationType, 2);
    EXPECT_EQ(iNumLight, 3);
}

TEST_F(Blocks, LightErrors) {
    EXPECT_EQ(failure(yy_light, "{ color 0 1 1 }"), error(1, " invalid color component(s)"));
    EXPECT_EQ(failure(yy_light, "{ color 1 -1 1 }"), error(1, " invalid color component(s)"));
    EXPECT_EQ(failure(yy_light, "{ light_type \"area\" }"), error(1, " invalid light type specified"));
    EXPECT_EQ(failure(yy_light, "{ attenuation_type \"D\" }"), error(1, " invalid light attenuation type specified"));
    EXPECT_EQ(failure(yy_light, "{ shadow_type \"soft\" }"), error(1, " invalid shadow type specified"));
    EXPECT_EQ(failure(yy_light, "{ radius 0 }"), error(1, " smooth light radius must be greater than 0"));
    EXPECT_EQ(failure(yy_light, "{ light_samples 0 }"), error(1, " smooth light samples must be greater than 0"));
    EXPECT_EQ(failure(yy_light, "{ direction <0 0 1> }"), error(1, " Unkown parameter in light structure"));
    EXPECT_EQ(failure(yy_light, "{ position <0 0 1>"), error(1, " Unkown parameter in light structure"));
    EXPECT_EQ(failure(yy_light, "light"), error(1, " Opening bracket '{' expected"));
}

TEST_F(Blocks, LightChecksAtTheClosingBraceInOrder) {
    const std::string missing = " Error in light structure - missing parameters";
    EXPECT_EQ(failure(yy_light, "{ position <0 0 1>\n}"), error(2, missing));
    EXPECT_EQ(failure(yy_light, "{ position <0 0 1> position <0 0 1> color 1 1 1 }"), error(1, missing));
    // The invalid target comes first, and applies to point lights too.
    EXPECT_EQ(failure(yy_light, "{ position <0 0 1> target <0 0 1> }"),
              error(1, " Error in light structure - invalid target"));
    EXPECT_EQ(failure(yy_light, "{ position <0 0 1> color 1 1 1 shadow_type \"smooth\" samples 4 }"), error(1, missing));
    EXPECT_EQ(failure(yy_light, "{ position <0 0 1> color 1 1 1 shadow_type \"smooth\" radius 1 samples 4 samples 4 }"),
              error(1, missing));
    // A spot light needs a target to point at; other lights do not.
    EXPECT_EQ(failure(yy_light, "{ position <0 0 1> color 1 1 1 light_type \"spot\" }"), error(1, missing));
    runBlock(yy_light, "{ position <0 0 1> color 1 1 1 }");
    EXPECT_EQ(myLightList->light.lightType, 0);
    EXPECT_EQ(myLightList->light.radius, 0.0);
    EXPECT_EQ(myLightList->light.samples, 0);
}

TEST_F(Blocks, SurfaceStartsFromDefaultsEveryTime) {
    provideSurface();
    runBlock(yy_surface,
             "{ color 0.2 0.4 0.6 ambient 0.1 diffuse 0.7 brilliance 2 specular 0.5 roughness 20 reflection 0.3 "
             "reflection_type \"fuzzy\" reflection_samples 4 reflection_radius 0.2 refraction 0.8 refraction_index 1.5 }");
    EXPECT_EQ(surface->color.green, 0.4);
    EXPECT_EQ(surface->ambient, 0.1);
    EXPECT_EQ(surface->diffuse, 0.7);
    EXPECT_EQ(surface->brilliance, 2.0);
    EXPECT_EQ(surface->specular, 0.5);
    EXPECT_EQ(surface->roughness, 20.0);
    EXPECT_EQ(surface->reflection, 0.3);
    EXPECT_EQ(surface->reflectionType, 1);
    EXPECT_EQ(surface->reflectionSamples, 4);
    EXPECT_EQ(surface->reflectionRadius, 0.2);
    EXPECT_EQ(surface->refraction, 0.8);
    EXPECT_EQ(surface->refractionIndex, 1.5);
    runBlock(yy_surface, "{ ambient 0.2 reflection_type \"sharp\" }");
    EXPECT_EQ(surface->color.green, 0.0);  // not the earlier block's colour
    EXPECT_EQ(surface->ambient, 0.2);
    EXPECT_EQ(surface->reflectionType, 0);
    EXPECT_EQ(surface->reflectionSamples, 10);
    EXPECT_EQ(surface->reflectionRadius, 1.0);
    EXPECT_EQ(surface->refractionIndex, 1.0);
    EXPECT_EQ(iNumSurface, 2);
}

TEST_F(Blocks, SurfaceChecksColourAndIndex) {
    provideSurface();
    testing::internal::CaptureStdout();
    runBlock(yy_surface, "{ refraction_index 0.5 color 0 0 0 }");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), " indice of refraction cannot be lower than 1.0");
    EXPECT_EQ(surface->refractionIndex, 1.0);
    testing::internal::CaptureStdout();
    runBlock(yy_surface, "{ refraction_index 1.0 color 1 1 1 }");
    EXPECT_EQ(testing::internal::GetCapturedStdout(), "");
    EXPECT_EQ(failure(yy_surface, "{ color 2 2 2 }"), error(1, " invalid color component(s)"));
    EXPECT_EQ(failure(yy_surface, "{ color 0 0 -0.1 }"), error(1, " invalid color component(s)"));
    EXPECT_EQ(failure(yy_surface, "{ reflection_type \"blurry\" }"), error(1, " invalid reflection type specified"));
    EXPECT_EQ(failure(yy_surface, "{ radius 1 }"), error(1, " Unkown parameter in surface structure"));
    EXPECT_EQ(failure(yy_surface, "{ reflection_samples 2.5x }"), error(1, " Unkown parameter in surface structure"));
}

}  // namespace
