// The object blocks, read through whole scene files.
#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "support/parse_fixture.h"

namespace {

class ObjectBlocks : public ParseTest {
protected:
    // The object the text's last block made, after a surface with recognisable values.
    static const Object& made(const std::string& text) {
        run("surface { color 0.25 0.5 0.75 refraction 0.5 refraction_index 1.33 reflection_samples 7 }" + text);
        EXPECT_EQ(object, myObjectList);
        return *myObjectList;
    }
};

TEST_F(ObjectBlocks, EachBlockCallsItsConstructorAndCopiesTheSurface) {
    const Object& sphere = made("sphere { radius 2 center <1 2 3> }");
    EXPECT_TRUE(sphere.sphere.center.y == 2 && sphere.sphere.radius == 2);
    EXPECT_TRUE(sphere.surface.color.blue == 0.75 && sphere.surface.refraction == 0.5 &&
                sphere.surface.refractionIndex == 1.33 && sphere.surface.reflectionSamples == 7);

    const Object& cylinder = made("cylinder { base <0 0 0> cap <0 0 2> radius 0.5 }");
    EXPECT_TRUE(cylinder.cone.baseRadius == 0.5 && cylinder.cone.capRadius == 0.5 && cylinder.cone.cap.z == 2);
    const Object& cone = made("cone { base <0 0 0> cap <0 0 2> base_radius 1 cap_radius 0 }");
    EXPECT_TRUE(cone.cone.baseRadius == 1 && cone.cone.capRadius == 0);
    const Object& plane = made("plane { normal <0 0 1> distance 2 }");  // handed over negated
    EXPECT_TRUE(plane.plane.normal.z == -1 && plane.plane.d == 2);
    const Object& disc = made("disc { center <0 0 0> normal <0 0 1> radius 2 }");
    EXPECT_TRUE(disc.ring.innerRadius2 == 0 && disc.ring.outerRadius2 == 4);
    const Object& ring = made("ring { center <0 0 0> normal <0 0 1> internal_radius 3 external_radius 1 }");
    EXPECT_TRUE(ring.ring.innerRadius2 == 1 && ring.ring.outerRadius2 == 9);  // put in order
    const Object& triangle = made("triangle { vertex <0 0 0> vertex <1 0 0> vertex <0 1 0> }");
    EXPECT_TRUE(triangle.triangle.vertices[1].x == 1 && triangle.triangle.vertices[2].y == 1);
    const Object& polygon = made("polygon { 4 vertex <0 0 0> vertex <1 0 0> vertex <1 1 0> vertex <0 1 0> }");
    EXPECT_TRUE(polygon.polygon.vertexCount == 4 && polygon.polygon.vertices[3].y == 1);
    // A long outline keeps every corner in order while its array grows.
    std::string corners;
    for (int k = 0; k < 37; ++k) corners += "vertex <" + std::to_string(k) + " " + std::to_string(k * k) + " 0> ";
    const Object& outline = made("polygon { 37 " + corners + "}");
    ASSERT_EQ(outline.polygon.vertexCount, 37);
    for (int k = 0; k < 37; ++k) EXPECT_TRUE(outline.polygon.vertices[k].x == k && outline.polygon.vertices[k].y == k * k);
    // Normals pair with vertices in order of appearance, however the two are interleaved.
    const Object& patch = made("smooth_triangle { vertex <0 0 0> normal <0 0 1> vertex <1 0 0> vertex <0 1 0> "
                               "normal <0 1 1> normal <1 0 1> }");
    EXPECT_TRUE(patch.patch.vertex[1].x == 1 && patch.patch.vertex[2].y == 1);
    EXPECT_TRUE(patch.patch.vertexNormal[0].x == 0 && patch.patch.vertexNormal[0].y == 0);
    EXPECT_TRUE(patch.patch.vertexNormal[1].x == 0 && patch.patch.vertexNormal[1].y > 0);
    EXPECT_TRUE(patch.patch.vertexNormal[2].x > 0 && patch.patch.vertexNormal[2].y == 0);

    releaseScene();
    run("sphere { center <0 0 0> radius 1 } cylinder { base <0 0 0> cap <0 0 2> radius 0.5 } "
        "patch { vertex <0 0 0> normal <0 0 1> vertex <1 0 0> normal <0 0 1> vertex <0 1 0> normal <0 0 1> }");
    EXPECT_TRUE(iNumSphere == 1 && iNumCylinder == 1 && iNumCone == 0 && iNumPatch == 1 && nPrims == 3);
}

TEST_F(ObjectBlocks, EveryMessage) {
    const std::string place = "center <0 0 0> normal <0 0 1> ";
    const std::string three = "vertex <0 0 0> vertex <1 0 0> vertex <0 1 0> ";
    const std::pair<std::string, std::string> cases[] = {
        {"sphere center", " Opening bracket '{' expected"},
        {"sphere { center <0 0 0> radius 0 }", " sphere radius must be greater than 0"},
        {"sphere { radius -1 }", " sphere radius must be greater than 0"},  // while reading
        {"sphere { radius 1 radius 1 center <0 0 0> }", " error in sphere structure declaration"},
        {"sphere { color 1 0 0 }", " Unkown parameter in sphere structure"},
        {"sphere { radius 1", " Unkown parameter in sphere structure"},
        {"sphere { center 0 0 0 }", " Opening backet '<' expected before x component"},
        {"cylinder { base <0 0 0> cap <0 0 2> }", " error in cylinder structure declaration"},
        {"cylinder { base <0 0 0> cap <0 0 2> radius 0 }", " radius cannot be null or negative"},
        {"cylinder { base_radius 1 }", " Unkown parameter in cylinder structure"},
        {"cone { base <0 0 0> cap <0 0 2> base_radius 1 }", " Error in cone structure"},
        {"cone { base <0 0 0> cap <0 0 2> base_radius 0 cap_radius 0 }", " base radius and cap radius cannot be both null"},
        {"cone { base <0 0 0> cap <0 0 2> base_radius 1 cap_radius -1 }", " base radius or cap radius cannot be negative"},
        {"cone { radius 1 }", " Unkown parameter in cone structure"},
        {"plane { normal <0 0 1> }", " error in plane structure declaration"},
        {"plane { normal <0 0 0> distance 1 }", " plane normal cannot be <0 0 0>"},
        {"plane { center <0 0 0> }", " Unkown parameter in plane structure"},
        {"disc { center <0 0 0> radius 2 }", " missing parameter(s) in disc structure"},
        {"disc { " + place + "radius -2 }", " radius cannot be null or negative"},
        {"disc { center <0 0 0> normal <0 0 0> radius 1 }", " disc normal cannot be <0 0 0>"},
        {"disc { internal_radius 1 }", " Unkown parameter in disc structure"},
        {"ring { center <0 0 0> internal_radius 1 external_radius 2 }", " missing parameter(s) in disc structure"},
        {"ring { " + place + "internal_radius 0 external_radius 2 }", " external and internal radius cannot be null or negative"},
        {"ring { " + place + "internal_radius 2 external_radius 2 }", " both radius are equal"},
        {"ring { center <0 0 0> normal <0 0 0> internal_radius 1 external_radius 2 }", " ring normal cannot be <0 0 0>"},
        {"ring { radius 1 }", " Unkown parameter in ring structure"},
        {"triangle { " + three + "vertex junk }", " Too many vertices in triangle structure"},  // before the vector
        {"triangle { vertex <0 0 0> vertex <1 0 0> }", " Too few vertices in triangle structure"},
        {"triangle { " + three + "normal <0 0 1> }", " Unkown parameter in triangle structure"},  // keyword first
        {"polygon { 3 " + three + "}", " valid number of vertices expected"},
        {"polygon { vertex <0 0 0> }", " Integer value expected"},
        {"polygon { 4 " + three + "}", " Too few vertices in polygon structure"},
        {"polygon { 4 " + three + three + "}", " Too many vertices in polygon structure"},
        {"polygon { 4 vertex <0 0 0> normal <0 0 1> }", " Unkown parameter in polygon structure"},
        {"polygon { 2000000000 vertex <0 0 0> }", " Too few vertices in polygon structure"},
        {"polygon { " + std::to_string(INT_MAX) + " }", " Too few vertices in polygon structure"},
        {"polygon { 99999999999 }", " number out of range: 99999999999"},
        {"polygon { 1000000 vertex <0 0 0> }", " Too few vertices in polygon structure"},  // allocated, not touched
        {"patch { " + three + "normal <0 0 1> normal <0 0 1> }", " Too few normals in patch structure"},
        {"patch { vertex <0 0 0> }", " Too few vertices in patch structure"},
        {"patch { " + three + "vertex <1 1 1> }", " Too many vertices in patch structure"},
        {"patch { normal <0 0 1> normal <0 0 1> normal <0 0 1> normal x }", " Too many normals in patch structure"},
        {"smooth_triangle { center <0 0 0> }", " Unkown parameter in patch structure"},
    };
    for (const auto& [text, message] : cases) EXPECT_EQ(error(text), parseError(1, message)) << text;
    EXPECT_EQ(error("sphere { radius 1\n}"), parseError(2, " error in sphere structure declaration"));
}

}  // namespace
