#include "scene/parser.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <string>

#include "scene/colors.h"
#include "scene/lexer.h"
#include "support/parse_fixture.h"

namespace {

using Parser = ParseTest;

std::string statistics(int spheres, int surfaces, int lights) {
    return "\n\n Number of sphere(s):\t\t" + std::to_string(spheres) +
           "\n Number of ring(s):\t\t0\n Number of plane(s):\t\t0\n Number of cone(s):\t\t0\n"
           " Number of cylinder(s):\t\t0\n Number of disc(s):\t\t0\n Number of polygon(s):\t\t0\n"
           " Number of triangle(s):\t\t0\n Number of patch(es):\t\t0\n Number of surface(s):\t\t" +
           std::to_string(surfaces) + "\n Number of light(s):\t\t" + std::to_string(lights) + "\n";
}

TEST_F(Parser, IncompleteScenesNameTheFirstMissingBlock) {
    std::string out;
    EXPECT_EQ(parse("", &out), -1);
    EXPECT_EQ(out, "\n Parsing scene.orv Missing camera!");
    EXPECT_EQ(parse(plainSurface, &out), -1);  // neither camera nor settings: only the camera is named
    EXPECT_EQ(out, "\n Parsing scene.orv Missing camera!");
    EXPECT_EQ(parse(std::string(camera) + plainSurface, &out), -1);
    EXPECT_EQ(out, "\n Parsing scene.orv Missing settings!");
    EXPECT_EQ(parse(std::string(camera) + settings, &out), -1);
    EXPECT_EQ(out, "\n Parsing scene.orv Missing surface!");
    EXPECT_EQ(surface, nullptr);  // the current surface is gone on this path too
}

TEST_F(Parser, CompleteSceneWithoutLightWarnsAndPrintsStatistics) {
    std::string out;
    EXPECT_EQ(parse(std::string(camera) + settings + plainSurface + "sphere { center <0 0 0> radius 1 }", &out), 0);
    EXPECT_EQ(out, "\n Parsing scene.orv Warning: scene doesn't contain any light." + statistics(1, 1, 0));
    EXPECT_EQ(c, 1);
    EXPECT_EQ(s, 1);
    EXPECT_EQ(su, 1);
    EXPECT_EQ(l, 0);
    EXPECT_EQ(nPrims, 1);
    EXPECT_EQ(surface, nullptr);

    EXPECT_EQ(parse(std::string(camera) + settings + plainSurface + plainSurface +
                        "light { position <0 0 10> color 1 1 1 }",
                    &out),
              0);
    EXPECT_EQ(out, "\n Parsing scene.orv" + statistics(0, 2, 1));  // counters start again at 0
}

TEST_F(Parser, StrayTopLevelTokensReportTheirCodeAndText) {
    const std::string base = std::string(camera) + settings;  // two lines
    EXPECT_EQ(parseFails(base + "\n\n\n\nfoo"),
              "\n Parsing scene.orv\n Scene parser returned error: 0 'foo'\n" + parseError(7, " Unkown term"));
    EXPECT_EQ(parseFails("}"), "\n Parsing scene.orv\n Scene parser returned error: 11 ''\n" + parseError(1, " Unkown term"));
    EXPECT_EQ(parseFails("12"), "\n Parsing scene.orv\n Scene parser returned error: 1 '12'\n" + parseError(1, " Unkown term"));
    EXPECT_EQ(parseFails("modify"),
              "\n Parsing scene.orv\n Scene parser returned error: 1000 'modify'\n" + parseError(1, " Unkown term"));
    EXPECT_EQ(parseFails("radius 1"),
              "\n Parsing scene.orv\n Scene parser returned error: 502 'radius'\n" + parseError(1, " Unkown term"));
}

TEST_F(Parser, DeclaredColoursAreFoundNewestFirstAndLiveOnlyDuringTheParse) {
    ASSERT_EQ(parse(std::string(camera) + settings +
                        "declare \"red\" color 1 0 0\n"
                        "surface { color #red }\n"
                        "sphere { center <0 0 0> radius 1 }\n"
                        "declare \"red\" color 0 1 0\n"
                        "surface { color #red }\n"
                        "sphere { center <0 0 5> radius 1 }\n"),
              0);
    ASSERT_NE(myObjectList, nullptr);
    const Object* second = myObjectList;  // newest first
    const Object* first = second->next;
    EXPECT_EQ(first->surface.color.red, 1.0);
    EXPECT_EQ(first->surface.color.green, 0.0);
    EXPECT_EQ(second->surface.color.red, 0.0);
    EXPECT_EQ(second->surface.color.green, 1.0);
    EXPECT_EQ(myColorList, nullptr);
}

TEST_F(Parser, DeclarationErrors) {
    EXPECT_EQ(errorOf("surface { color #red }"), parseError(1, " Color declaration not found"));
    EXPECT_EQ(errorOf("declare \"red\" colour 1 0 0"), parseError(1, " Unkown element in declaration"));
    EXPECT_EQ(errorOf("declare red color 1 0 0"), parseError(1, " string expected"));
    EXPECT_EQ(errorOf("declare \"red color 1 0 0"), parseError(1, " '\"' string delimiter expected"));
    EXPECT_EQ(errorOf("declare \"red\" color 1 #blue 0"), parseError(1, " Decimal value expected"));
    EXPECT_EQ(errorOf("declare \"" + std::string(64, 'n') + "\" color 1 0 0"),
              parseError(1, " color name longer than 63 characters"));
    // 63 characters fit, and declared values need not lie in 0 to 1.
    const std::string name63(63, 'n');
    EXPECT_EQ(parse("declare \"" + name63 + "\" color 2 0 0 settings { output_type \"png\" output_name \"o\" "
                    "background #" + name63 + " }"),
              -1);
    EXPECT_EQ(myBackGroundColor.red, 2.0);
}

TEST_F(Parser, IncludedFilesAreReadInPlaceAndCountLines) {
    write("part.orv", "sphere { center <0 0 1> radius 1 }\n");
    std::string out;
    ASSERT_EQ(parse(std::string(camera) + settings + plainSurface +
                        "sphere { center <0 0 0> radius 1 }\ninclude \"part.orv\"\nsphere { center <0 0 2> radius 1 }\n",
                    &out),
              0);
    EXPECT_THAT(out, testing::StartsWith("\n Parsing scene.orv\n Parsing part.orv Warning"));
    double z[3];
    int i = 0;
    for (const Object* o = myObjectList; o && i < 3; o = o->next) z[i++] = o->sphere.center.z;
    ASSERT_EQ(i, 3);
    EXPECT_EQ(z[0], 2.0);
    EXPECT_EQ(z[1], 1.0);
    EXPECT_EQ(z[2], 0.0);

    // Line numbers run on through the included file: three lines here, two more there.
    write("broken.orv", "\nsphere { radius 0 }\n");
    EXPECT_EQ(parseFails("\n\ninclude \"broken.orv\""),
              "\n Parsing scene.orv\n Parsing broken.orv" + parseError(4, " sphere radius must be greater than 0"));
}

TEST_F(Parser, IncludeFailures) {
    EXPECT_EQ(parseFails("include \"missing.orv\""),
              "\n Parsing scene.orv\n Scene file: missing.orv could no be opened\n");
    EXPECT_EQ(errorOf("include missing.orv"), parseError(1, " string expected"));

    // A file that includes itself stops at the depth limit; every file opened on the way is closed.
    write("loop.orv", "include \"loop.orv\"\n");
    const std::string out = parseFails("include \"loop.orv\"");
    EXPECT_EQ(out.substr(out.rfind("\n Parser Error")), parseError(1, " include chain deeper than 64 files"));
    size_t opened = 0;
    for (size_t at = out.find("\n Parsing"); at != std::string::npos; at = out.find("\n Parsing", at + 1)) ++opened;
    EXPECT_EQ(opened, static_cast<size_t>(maxIncludeDepth));
    // The parser is usable again afterwards: nothing of the aborted chain is left.
    EXPECT_EQ(parse(std::string(camera) + settings + plainSurface), 0);
}

TEST_F(Parser, MissingSceneFileEndsTheRun) {
    EXPECT_EQ(abortOutput([] { parseFile("nowhere.orv"); }), "\n Scene file: nowhere.orv could no be opened\n");
    EXPECT_EQ(surface, nullptr);
}

TEST_F(Parser, LaterCameraBlockWinsAndBothCount) {
    ASSERT_EQ(parse(std::string(camera) + "camera { position <1 2 3> look_at <0 0 0> fov 90 }" + settings + plainSurface),
              0);
    EXPECT_EQ(c, 2);
    EXPECT_EQ(myViewPoint.position.x, 1.0);
    EXPECT_EQ(myViewPoint.fov, 3.141592653589793 / 4);
}

TEST_F(Parser, ObjectsBeforeAnySurfaceBlockGetTheEmptySurface) {
    ASSERT_EQ(parse(std::string(camera) + settings + "sphere { center <0 0 0> radius 1 }" + plainSurface), 0);
    const Surface& got = myObjectList->surface;
    EXPECT_EQ(got.color.red, 0.0);
    EXPECT_EQ(got.ambient, 0.0);
    EXPECT_EQ(got.reflectionSamples, 10);
    EXPECT_EQ(got.reflectionRadius, 1.0);
    EXPECT_EQ(got.refractionIndex, 1.0);
}

TEST_F(Parser, ErrorsLeaveNothingBehindAndReleaseResetsEverything) {
    parseFails(std::string(camera) + settings + plainSurface + "declare \"a\" color 1 1 1\n"
               "light { position <0 0 9> color #a }\nsphere { center <0 0 0> radius 1 }\n"
               "triangle { vertex <0 0 0> vertex <1 0 0> }");
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(myColorList, nullptr);
    EXPECT_NE(myObjectList, nullptr);  // what was built stays until the scene is released
    EXPECT_NE(myLightList, nullptr);
    releaseScene();
    EXPECT_EQ(myObjectList, nullptr);
    EXPECT_EQ(myLightList, nullptr);
    EXPECT_EQ(nPrims, 0);
    EXPECT_EQ(comptligne, 1);
    EXPECT_EQ(iNumSphere, 0);
    EXPECT_EQ(iNumLight, 0);
    EXPECT_EQ(c + s + su + l, 0);
}

}  // namespace
