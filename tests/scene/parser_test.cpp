#include "scene/parser.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "scene/colors.h"
#include "support/parse_fixture.h"

namespace {

using Parser = ParseTest;

// An incomplete scene or anything but a block or statement at the top is refused.
TEST_F(Parser, AnIncompleteSceneIsRefusedAndACompleteOneCounted) {
    int result = 0;
    EXPECT_EQ(run("camera { position <0 1 0> look_at <0 0 0> }"), "\n Parsing scene.orv Missing settings!");
    EXPECT_EQ(run("camera { position <0 1 0> look_at <0 0 0> } settings { output_type \"png\" output_name \"o\" }"),
              "\n Parsing scene.orv Missing surface!");
    EXPECT_EQ(run(std::string(sceneBase) + "sphere { center <0 0 0> radius 1 } ring { center <0 0 0> normal <0 0 1> "
                                           "internal_radius 1 external_radius 2 } surface { }",
                  &result),
              "\n Parsing scene.orv Warning: scene doesn't contain any light.\n\n Number of sphere(s):\t\t1\n"
              " Number of ring(s):\t\t1\n Number of plane(s):\t\t0\n Number of cone(s):\t\t0\n"
              " Number of cylinder(s):\t\t0\n Number of disc(s):\t\t0\n Number of polygon(s):\t\t0\n"
              " Number of triangle(s):\t\t0\n Number of patch(es):\t\t0\n Number of surface(s):\t\t2\n"
              " Number of light(s):\t\t0\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(run("\n\nfoo"),
              "\n Parsing scene.orv\n Scene parser returned error: 0 'foo'\n" + parseError(3, " Unkown term"));
}

TEST_F(Parser, DeclaredColours) {
    const std::string name(63, 'n');  // the longest
    run("declare \"red\" color 1 0 0 surface { color #red } sphere { center <0 0 0> radius 1 }\n"
        "declare \"red\" color 0 1 0 surface { color #red } sphere { center <0 0 5> radius 1 }\ndeclare \"" +
        name + "\" color 2 0 0 settings { output_type \"png\" output_name \"o\" background #" + name + " }");
    EXPECT_EQ(myObjectList->surface.color.green, 1.0);  // the newest declaration wins
    EXPECT_EQ(myObjectList->next->surface.color.red, 1.0);
    EXPECT_EQ(myBackGroundColor.red, 2.0);  // declarations take any value
    EXPECT_EQ(myColorList, nullptr);
}

TEST_F(Parser, IncludedFilesAreReadInPlace) {
    write("part.orv", "sphere { center <0 0 1> radius 1 }\n");  // read in place, its name kept aside
    EXPECT_EQ(
        run("sphere { center <0 0 0> radius 1 }\ninclude \"part.orv\"\nsphere { center <0 0 2> radius 1 }").substr(0, 38),
        "\n Parsing scene.orv\n Parsing part.orv ");
    EXPECT_EQ(myObjectList->sphere.center.z, 2);  // the list runs newest first
    EXPECT_EQ(myObjectList->next->sphere.center.z, 1);
    write("broken.orv", "\nsphere { radius 0 }\n");  // lines count on through the included file
    EXPECT_EQ(run("\n\ninclude \"broken.orv\""),
              "\n Parsing scene.orv\n Parsing broken.orv" + parseError(4, " sphere radius must be greater than 0"));
    std::filesystem::create_directory("parts");
    EXPECT_EQ(run("include \"parts\""), "\n Parsing scene.orv\n Scene file: parts is a directory\n");
}

// A file that includes itself stops at the depth limit, with every file closed on the way.
TEST_F(Parser, AnIncludeLoopStopsAtTheDepthLimit) {
    write("loop.orv", "include \"loop.orv\"\n");
    const std::string loop = run("include \"loop.orv\"");
    EXPECT_EQ(loop.substr(loop.rfind("\n Parser")), parseError(1, " include chain deeper than 64 files"));
    int opened = 0;
    for (size_t at = 0; (at = loop.find("\n Parsing", at)) != std::string::npos; ++at) ++opened;
    EXPECT_EQ(opened, maxIncludeDepth);
    int result = 1;
    run(sceneBase, &result);  // the next parse starts at depth 0
    EXPECT_EQ(result, 0);
}

// A sample of the parse errors, one row for each kind of check of each block and reader: the
// error it ends with.
TEST_F(Parser, BlockMessages) {
    const std::string camera = "camera { position <0 -10 2> look_at <0 0 0> ";
    const std::string settings = "settings { output_type \"png\" output_name \"o\" ";
    const std::string light = "light { position <0 0 1> color 1 1 1 ";
    const std::string missing = " Error in light structure - missing parameters";
    const std::string place = "center <0 0 0> normal <0 0 1> ";
    const std::string three = "vertex <0 0 0> vertex <1 0 0> vertex <0 1 0> ";
    const std::string pad(40, ' ');
    const std::pair<std::string, std::string> cases[] = {
        {"declare \"red\" colour 1 0 0", " Unkown element in declaration"},
        {"declare \"" + std::string(64, 'n') + "\" color 1 0 0", " color name longer than 63 characters"},
        {"settings { output_type png }", " string expected"},  // the readers
        {"settings { output_name \"my file\" }", " '\"' string delimiter expected"},
        {"sphere { radius r }", " Decimal value expected"},
        {"settings { aa_distance }", " Integer value expected"},
        {"sphere { center 0 0 0 }", " Opening backet '<' expected before x component"},
        {"sphere { center <0 0 z> }", " z componente expected"},
        {"sphere { center <1-2 0>" + pad + "}", " z componente expected"},  // "1-2" is one number, read ahead
        {"sphere { center <0 0 0 0> }", " Closing bracket '>' expected after z component"},
        {"surface { color 1 0 }", " Blue component expeced"},
        {"surface { color #blue }", " Color declaration not found"},
        {"sphere { center <0 -1e400 0> }", " number out of range: -1e400"},
        {"polygon { 2147483648 }", " number out of range: 2147483648"},
        {"settings { output_name \"w" + std::string(255, 'x') + "\" }", " word longer than 255 characters"},
        {"sphere { radius " + std::string(256, '9') + " }", " number longer than 255 characters"},
        {"camera position", " Opening bracket '{' expected"},
        {camera + "samples 0 }", " camera samples must be greater than 0"},
        {camera + "projection_type \"Fisheye\" }", " invalid camera projection type specified"},
        {camera + "focal_length 5 focal_point <0 0 0> }", " focal lenght OR focal point must be defined"},
        {"camera { position <0 0 5> look_at <0 0 0> }",
         " camera up vector cannot be null or parallel to the viewing direction"},
        {settings + "output_type \"jpg\" }", " invalid output file type specified"},
        {settings + "jitter \"true\" }", " jitter must be either 'yes' or 'no'"},
        {"settings { output_type \"png\" }", " error in settings structure declaration"},
        {light + "color 0 1 1 }", " invalid color component(s)"},
        {light + "light_type \"area\" }", " invalid light type specified"},
        {light + "radius 0 }", " smooth light radius must be greater than 0"},
        {"light { position <0 0 1> target <0 0 1> }", " Error in light structure - invalid target"},  // checked first
        {"light { position <0 0 1> }", missing},
        {light + "shadow_type \"smooth\" radius 1 samples 4 samples 4 }", missing},
        {light + "light_type \"spot\" }", missing},  // a spot light needs a target
        {"surface { color 0 0 -0.1 }", " invalid color component(s)"},
        {"surface { reflection_type \"blurry\" }", " invalid reflection type specified"},
        {"surface { radius 1 }", " Unkown parameter in surface structure"},
        {"sphere { radius -1 }", " sphere radius must be greater than 0"},  // while reading
        {"sphere { radius 1 radius 1 center <0 0 0> }", " error in sphere structure declaration"},
        {"cylinder { base <0 0 0> cap <0 0 2> }", " error in cylinder structure declaration"},
        {"cylinder { base <0 0 0> cap <0 0 2> radius 0 }", " radius cannot be null or negative"},
        {"cone { base <0 0 0> cap <0 0 2> base_radius 1 }", " Error in cone structure"},
        {"cone { base <0 0 0> cap <0 0 2> base_radius 0 cap_radius 0 }", " base radius and cap radius cannot be both null"},
        {"cone { base <0 0 0> cap <0 0 2> base_radius 1 cap_radius -1 }", " base radius or cap radius cannot be negative"},
        {"plane { normal <0 0 1> }", " error in plane structure declaration"},
        {"plane { normal <0 0 0> distance 1 }", " plane normal cannot be <0 0 0>"},
        {"disc { center <0 0 0> radius 2 }", " missing parameter(s) in disc structure"},
        {"disc { " + place + "radius -2 }", " radius cannot be null or negative"},
        {"disc { center <0 0 0> normal <0 0 0> radius 1 }", " disc normal cannot be <0 0 0>"},
        {"ring { center <0 0 0> normal <0 0 0> internal_radius 1 external_radius 2 }", " ring normal cannot be <0 0 0>"},
        {"ring { center <0 0 0> internal_radius 1 external_radius 2 }", " missing parameter(s) in disc structure"},
        {"ring { " + place + "internal_radius 0 external_radius 2 }",
         " external and internal radius cannot be null or negative"},
        {"ring { " + place + "internal_radius 2 external_radius 2 }", " both radius are equal"},
        {"triangle { " + three + "vertex junk }", " Too many vertices in triangle structure"},  // before the vector
        {"triangle { vertex <0 0 0> vertex <1 0 0> }", " Too few vertices in triangle structure"},
        {"polygon { 3 " + three + "}", " valid number of vertices expected"},
        {"polygon { 4 " + three + "}", " Too few vertices in polygon structure"},
        {"polygon { 4 " + three + three + "}", " Too many vertices in polygon structure"},
        {"polygon { " + std::to_string(INT_MAX) + " vertex <0 0 0> }", " Too few vertices in polygon structure"},
        {"patch { " + three + "normal <0 0 1> normal <0 0 1> }", " Too few normals in patch structure"},
        {"patch { " + three + "vertex <1 1 1> }", " Too many vertices in patch structure"},
        {"smooth_triangle { center <0 0 0> }", " Unkown parameter in patch structure"},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(error(text), parseError(1, message)) << text;
    EXPECT_EQ(error("settings { output_type \"png\" output_name \"" + std::string(255, 'w') + "\" }"), "");  // the longest
    // Counts are checked at the closing brace, not while reading.
    EXPECT_EQ(error("camera { position <0 1 0>\n\n}"), parseError(3, " error in camera structure declaration"));
    EXPECT_EQ(error("sphere { radius 1\n}"), parseError(2, " error in sphere structure declaration"));
}

}  // namespace
