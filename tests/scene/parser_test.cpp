#include "scene/parser.h"

#include <gtest/gtest.h>

#include <string>

#include "scene/colors.h"
#include "support/parse_fixture.h"

namespace {

using Parser = ParseTest;

TEST_F(Parser, CompletenessChecksAndStatistics) {
    int result = 0;
    EXPECT_EQ(run("surface { }", &result), "\n Parsing scene.orv Missing camera!");  // not the settings too
    EXPECT_EQ(result, -1);
    EXPECT_EQ(run("camera { position <0 1 0> look_at <0 0 0> }", &result), "\n Parsing scene.orv Missing settings!");
    EXPECT_EQ(run("camera { position <0 1 0> look_at <0 0 0> } settings { output_type \"png\" output_name \"o\" }"),
              "\n Parsing scene.orv Missing surface!");
    EXPECT_EQ(run(std::string(base) + "sphere { center <0 0 0> radius 1 } ring { center <0 0 0> normal <0 0 1> "
                                      "internal_radius 1 external_radius 2 } surface { }",
                  &result),
              "\n Parsing scene.orv Warning: scene doesn't contain any light.\n\n Number of sphere(s):\t\t1\n"
              " Number of ring(s):\t\t1\n Number of plane(s):\t\t0\n Number of cone(s):\t\t0\n"
              " Number of cylinder(s):\t\t0\n Number of disc(s):\t\t0\n Number of polygon(s):\t\t0\n"
              " Number of triangle(s):\t\t0\n Number of patch(es):\t\t0\n Number of surface(s):\t\t2\n"
              " Number of light(s):\t\t0\n");
    EXPECT_EQ(result, 0);
    EXPECT_EQ(c + s + su + l, 4);
    EXPECT_EQ(surface, nullptr);  // the current surface lives only while the file is read
}

TEST_F(Parser, StrayTopLevelTokensReportTheirCodeAndText) {
    const std::pair<const char*, const char*> cases[] = {
        {"\n\nfoo", "0 'foo'"}, {"}", "11 ''"}, {"12", "1 '12'"}, {"modify", "1000 'modify'"}, {"radius 1", "502 'radius'"}};
    for (const auto& [text, reported] : cases) {
        const int line = text[0] == '\n' ? 3 : 1;
        EXPECT_EQ(run(text), "\n Parsing scene.orv\n Scene parser returned error: " + std::string(reported) + "\n" +
                                 parseError(line, " Unkown term"));
    }
}

TEST_F(Parser, DeclaredColoursAndTheirErrors) {
    run("declare \"red\" color 1 0 0 surface { color #red } sphere { center <0 0 0> radius 1 }\n"
        "declare \"red\" color 0 1 0 surface { color #red } sphere { center <0 0 5> radius 1 }\n"
        "declare \"" + std::string(63, 'n') + "\" color 2 0 0 settings { output_type \"png\" output_name \"o\" "
        "background #" + std::string(63, 'n') + " }");
    EXPECT_EQ(myObjectList->surface.color.green, 1.0);  // newest object first
    EXPECT_EQ(myObjectList->next->surface.color.red, 1.0);
    EXPECT_EQ(myBackGroundColor.red, 2.0);  // declarations take any value
    EXPECT_EQ(myColorList, nullptr);

    EXPECT_EQ(error("surface { color #red }"), parseError(1, " Color declaration not found"));
    EXPECT_EQ(error("declare \"red\" colour 1 0 0"), parseError(1, " Unkown element in declaration"));
    EXPECT_EQ(error("declare red color 1 0 0"), parseError(1, " string expected"));
    EXPECT_EQ(error("declare \"red\" color 1 #blue 0"), parseError(1, " Decimal value expected"));
    EXPECT_EQ(error("declare \"" + std::string(64, 'n') + "\" color 1 0 0"),
              parseError(1, " color name longer than 63 characters"));
}

TEST_F(Parser, IncludedFilesAreReadInPlaceAndCountLines) {
    write("part.orv", "sphere { center <0 0 1> radius 1 }\n");
    const std::string out = run("sphere { center <0 0 0> radius 1 }\ninclude \"part.orv\"\nsphere { center <0 0 2> radius 1 }");
    EXPECT_EQ(out.substr(0, 38), "\n Parsing scene.orv\n Parsing part.orv ");
    EXPECT_EQ(myObjectList->sphere.center.z, 2.0);
    EXPECT_EQ(myObjectList->next->sphere.center.z, 1.0);
    EXPECT_EQ(myObjectList->next->next->sphere.center.z, 0.0);

    write("broken.orv", "\nsphere { radius 0 }\n");
    EXPECT_EQ(run("\n\ninclude \"broken.orv\""),
              "\n Parsing scene.orv\n Parsing broken.orv" + parseError(4, " sphere radius must be greater than 0"));
    EXPECT_EQ(run("include \"missing.orv\""), "\n Parsing scene.orv\n Scene file: missing.orv could no be opened\n");
    std::filesystem::create_directory("parts");
    EXPECT_EQ(run("include \"parts\" sphere { center <0 0 0> radius 1 }"),
              "\n Parsing scene.orv\n Scene file: parts is a directory\n");

    // A file that includes itself stops at the depth limit, with every file closed on the way.
    write("loop.orv", "include \"loop.orv\"\n");
    const std::string loop = run("include \"loop.orv\"");
    EXPECT_EQ(loop.substr(loop.rfind("\n Parser")), parseError(1, " include chain deeper than 64 files"));
    size_t opened = 0;
    for (auto at = loop.find("\n Parsing"); at != std::string::npos; at = loop.find("\n Parsing", at + 1)) ++opened;
    EXPECT_EQ(opened, static_cast<size_t>(maxIncludeDepth));
    int result = 1;
    run(base, &result);
    EXPECT_EQ(result, 0);
}

TEST_F(Parser, AnErrorLeavesTheSceneForReleaseSceneToFree) {
    run("declare \"a\" color 1 1 1 light { position <0 0 9> color #a }\nsphere { center <0 0 0> radius 1 }\n"
        "triangle { vertex <0 0 0> vertex <1 0 0> }");
    EXPECT_EQ(surface, nullptr);
    EXPECT_EQ(myColorList, nullptr);
    ASSERT_NE(myObjectList, nullptr);
    ASSERT_NE(myLightList, nullptr);
    releaseScene();
    EXPECT_TRUE(myObjectList == nullptr && myLightList == nullptr && nPrims == 0 && comptligne == 1);
    EXPECT_EQ(iNumSphere + iNumLight + c + s + su + l, 0);
    EXPECT_EQ(abortOutput([] { parseFile("nowhere.orv"); }), "\n Scene file: nowhere.orv could no be opened\n");
}

}  // namespace
