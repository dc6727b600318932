#include <gtest/gtest.h>

#include <climits>
#include <string>

#include "scene/blocks.h"
#include "scene/lexer.h"
#include "support/parse_fixture.h"

namespace {

class ObjectBlocks : public ParseTest {
protected:
    void SetUp() override {
        ParseTest::SetUp();
        Surface shiny = surfaceDefaults;
        shiny.color = {0.25, 0.5, 0.75};
        shiny.refraction = 0.5;
        shiny.refractionIndex = 1.33;
        shiny.reflectionSamples = 7;
        provideSurface(shiny);
    }

    // Runs a block that must succeed; returns the object it made.
    template <class Block>
    static const Object& make(Block block, const std::string& text) {
        runBlock(block, text);
        EXPECT_EQ(object, myObjectList);
        return *myObjectList;
    }

    template <class Block>
    static std::string failure(Block block, const std::string& text) {
        resetLexer();
        const std::string out = abortOutput([&] { runBlock(block, text); });
        const auto at = out.rfind("\n Parser Error");
        return at == std::string::npos ? out : out.substr(at + 1);
    }
    static std::string error(int line, const std::string& message) { return parseError(line, message).substr(1); }
};

TEST_F(ObjectBlocks, SphereTakesTheCurrentSurface) {
    const Object& sphere = make(yy_sphere, "{ radius 2 center <1 2 3> }");
    EXPECT_EQ(sphere.sphere.center.y, 2.0);
    EXPECT_EQ(sphere.sphere.radius, 2.0);
    EXPECT_EQ(sphere.surface.color.blue, 0.75);
    EXPECT_EQ(sphere.surface.refraction, 0.5);
    EXPECT_EQ(sphere.surface.refractionIndex, 1.33);
    EXPECT_EQ(sphere.surface.reflectionSamples, 7);
    EXPECT_EQ(iNumSphere, 1);
    // A later surface change leaves the copy alone.
    surface->color.blue = 0.0;
    EXPECT_EQ(sphere.surface.color.blue, 0.75);
}

TEST_F(ObjectBlocks, SphereErrors) {
    EXPECT_EQ(failure(yy_sphere, "{ center <0 0 0> radius 0 }"), error(1, " sphere radius must be greater than 0"));
    EXPECT_EQ(failure(yy_sphere, "{ radius -1 center <0 0 0> }"), error(1, " sphere radius must be greater than 0"));
    EXPECT_EQ(failure(yy_sphere, "{ radius 1\n}"), error(2, " error in sphere structure declaration"));
    EXPECT_EQ(failure(yy_sphere, "{ radius 1 radius 1 center <0 0 0> }"), error(1, " error in sphere structure declaration"));
    EXPECT_EQ(failure(yy_sphere, "{ color 1 0 0 }"), error(1, " Unkown parameter in sphere structure"));
    EXPECT_EQ(failure(yy_sphere, "{ radius 1"), error(1, " Unkown parameter in sphere structure"));
    EXPECT_EQ(failure(yy_sphere, "center"), error(1, " Opening bracket '{' expected"));
    EXPECT_EQ(failure(yy_sphere, "{ center 0 0 0 }"), error(1, " Opening backet '<' expected before x component"));
    EXPECT_EQ(myObjectList, nullptr);
}

TEST_F(ObjectBlocks, CylinderIsAConeWithOneRadius) {
    const Object& cylinder = make(yy_cylindre, "{ base <0 0 0> cap <0 0 2> radius 0.5 }");
    EXPECT_EQ(cylinder.cone.baseRadius, 0.5);
    EXPECT_EQ(cylinder.cone.capRadius, 0.5);
    EXPECT_EQ(cylinder.cone.cap.z, 2.0);
    EXPECT_EQ(iNumCylinder, 1);
    EXPECT_EQ(iNumCone, 0);
    EXPECT_EQ(failure(yy_cylindre, "{ base <0 0 0> cap <0 0 2> }"), error(1, " error in cylinder structure declaration"));
    EXPECT_EQ(failure(yy_cylindre, "{ base <0 0 0> cap <0 0 2> radius 0 }"), error(1, " radius cannot be null or negative"));
    EXPECT_EQ(failure(yy_cylindre, "{ base_radius 1 }"), error(1, " Unkown parameter in cylinder structure"));
}

TEST_F(ObjectBlocks, Cone) {
    const Object& cone = make(yy_cone, "{ base <0 0 0> cap <0 0 2> base_radius 1 cap_radius 0 }");
    EXPECT_EQ(cone.cone.baseRadius, 1.0);
    EXPECT_EQ(cone.cone.capRadius, 0.0);
    EXPECT_EQ(iNumCone, 1);
    const std::string ends = "base <0 0 0> cap <0 0 2> ";
    EXPECT_EQ(failure(yy_cone, "{ " + ends + "base_radius 1 }"), error(1, " Error in cone structure"));
    EXPECT_EQ(failure(yy_cone, "{ " + ends + "base_radius 0 cap_radius 0 }"),
              error(1, " base radius and cap radius cannot be both null"));
    EXPECT_EQ(failure(yy_cone, "{ " + ends + "base_radius 1 cap_radius -1 }"),
              error(1, " base radius or cap radius cannot be negative"));
    EXPECT_EQ(failure(yy_cone, "{ radius 1 }"), error(1, " Unkown parameter in cone structure"));
}

TEST_F(ObjectBlocks, PlaneIsStoredNegated) {
    const Object& plane = make(yy_plane, "{ normal <0 0 1> distance 2 }");
    EXPECT_EQ(plane.plane.normal.z, -1.0);
    EXPECT_EQ(plane.plane.d, 2.0);  // the constructor's d is minus the distance it is given, -2
    EXPECT_EQ(iNumPlane, 1);
    EXPECT_EQ(failure(yy_plane, "{ normal <0 0 1> }"), error(1, " error in plane structure declaration"));
    EXPECT_EQ(failure(yy_plane, "{ normal <0 0 0> distance 1 }"), error(1, " plane normal cannot be <0 0 0>"));
    EXPECT_EQ(failure(yy_plane, "{ center <0 0 0> }"), error(1, " Unkown parameter in plane structure"));
}

TEST_F(ObjectBlocks, DiscIsARingWithoutHole) {
    const Object& disc = make(yy_disc, "{ center <0 0 0> normal <0 0 1> radius 2 }");
    EXPECT_EQ(disc.ring.innerRadius2, 0.0);
    EXPECT_EQ(disc.ring.outerRadius2, 4.0);
    EXPECT_EQ(iNumDisc, 1);
    EXPECT_EQ(iNumRing, 0);
    EXPECT_EQ(failure(yy_disc, "{ center <0 0 0> radius 2 }"), error(1, " missing parameter(s) in disc structure"));
    EXPECT_EQ(failure(yy_disc, "{ center <0 0 0> normal <0 0 1> radius -2 }"),
              error(1, " radius cannot be null or negative"));
    EXPECT_EQ(failure(yy_disc, "{ center <0 0 0> normal <0 0 0>\n radius 1 }"), error(2, " disc normal cannot be <0 0 0>"));
    EXPECT_EQ(failure(yy_disc, "{ internal_radius 1 }"), error(1, " Unkown parameter in disc structure"));
}

TEST_F(ObjectBlocks, RingOrdersItsRadii) {
    const Object& ring = make(yy_ring, "{ center <0 0 0> normal <0 0 1> internal_radius 3 external_radius 1 }");
    EXPECT_EQ(ring.ring.innerRadius2, 1.0);
    EXPECT_EQ(ring.ring.outerRadius2, 9.0);
    EXPECT_EQ(iNumRing, 1);
    const std::string placed = "center <0 0 0> normal <0 0 1> ";
    EXPECT_EQ(failure(yy_ring, "{ center <0 0 0> internal_radius 1 external_radius 2 }"),
              error(1, " missing parameter(s) in disc structure"));
    EXPECT_EQ(failure(yy_ring, "{ " + placed + "internal_radius 0 external_radius 2 }"),
              error(1, " external and internal radius cannot be null or negative"));
    EXPECT_EQ(failure(yy_ring, "{ " + placed + "internal_radius 2 external_radius 2 }"), error(1, " both radius are equal"));
    EXPECT_EQ(failure(yy_ring, "{ center <0 0 0> normal <0 0 0> internal_radius 1 external_radius 2 }"),
              error(1, " ring normal cannot be <0 0 0>"));
    EXPECT_EQ(failure(yy_ring, "{ radius 1 }"), error(1, " Unkown parameter in ring structure"));
}

TEST_F(ObjectBlocks, TriangleTakesExactlyThreeVertices) {
    const Object& triangle = make(yy_triangle, "{ vertex <0 0 0> vertex <1 0 0> vertex <0 1 0> }");
    EXPECT_EQ(triangle.triangle.vertices[1].x, 1.0);
    EXPECT_EQ(triangle.triangle.vertices[2].y, 1.0);
    EXPECT_EQ(iNumTriangle, 1);
    const std::string three = "vertex <0 0 0> vertex <1 0 0> vertex <0 1 0> ";
    // The fourth vertex is refused before its vector is read.
    EXPECT_EQ(failure(yy_triangle, "{ " + three + "vertex junk }"), error(1, " Too many vertices in triangle structure"));
    EXPECT_EQ(failure(yy_triangle, "{ vertex <0 0 0> vertex <1 0 0> }"), error(1, " Too few vertices in triangle structure"));
    // The keyword is tested before the count.
    EXPECT_EQ(failure(yy_triangle, "{ " + three + "normal <0 0 1> }"), error(1, " Unkown parameter in triangle structure"));
    EXPECT_EQ(failure(yy_triangle, "{ vertex <0 0 0>"), error(1, " Unkown parameter in triangle structure"));
}

TEST_F(ObjectBlocks, PolygonReadsItsCountFirst) {
    const Object& polygon =
        make(yy_polygon, "{ 4 vertex <0 0 0> vertex <1 0 0> vertex <1 1 0> vertex <0 1 0> }");
    EXPECT_EQ(polygon.polygon.vertexCount, 4);
    EXPECT_EQ(polygon.polygon.vertices[3].y, 1.0);
    EXPECT_EQ(iNumPolygone, 1);
    EXPECT_EQ(failure(yy_polygon, "{ 3 vertex <0 0 0> vertex <1 0 0> vertex <1 1 0> }"),
              error(1, " valid number of vertices expected"));
    EXPECT_EQ(failure(yy_polygon, "{ vertex <0 0 0> }"), error(1, " Integer value expected"));
    EXPECT_EQ(failure(yy_polygon, "{ 4 vertex <0 0 0> vertex <1 0 0> vertex <1 1 0> }"),
              error(1, " Too few vertices in polygon structure"));
    EXPECT_EQ(failure(yy_polygon, "{ 4 vertex <0 0 0> vertex <1 0 0> vertex <1 1 0> vertex <0 1 0> vertex <0 2 0> }"),
              error(1, " Too many vertices in polygon structure"));
    EXPECT_EQ(failure(yy_polygon, "{ 4 vertex <0 0 0> normal <0 0 1> }"), error(1, " Unkown parameter in polygon structure"));
}

TEST_F(ObjectBlocks, AbsurdPolygonCountsFailCleanly) {
    EXPECT_EQ(failure(yy_polygon, "{ 2000000000 vertex <0 0 0> }"), error(1, " memory allocation failed"));
    EXPECT_EQ(failure(yy_polygon, "{ " + std::to_string(INT_MAX) + " }"), error(1, " memory allocation failed"));
    EXPECT_EQ(failure(yy_polygon, "{ 99999999999 }"), error(1, " number out of range: 99999999999"));
    // A large count that memory can hold is only allocated, not touched, before its vertices come.
    EXPECT_EQ(failure(yy_polygon, "{ 1000000 vertex <0 0 0> }"), error(1, " Too few vertices in polygon structure"));
}

TEST_F(ObjectBlocks, PatchPairsNormalsWithVerticesInOrderOfAppearance) {
    const Object& patch = make(yy_patch,
                               "{ vertex <0 0 0> normal <0 0 1> vertex <1 0 0> vertex <0 1 0> normal <0 1 1> "
                               "normal <1 0 1> }");
    EXPECT_EQ(patch.patch.vertex[1].x, 1.0);
    EXPECT_EQ(patch.patch.vertex[2].y, 1.0);
    // Whatever the constructor does to the normals' length, their directions show the pairing.
    EXPECT_EQ(patch.patch.vertexNormal[0].x, 0.0);
    EXPECT_EQ(patch.patch.vertexNormal[0].y, 0.0);
    EXPECT_GT(patch.patch.vertexNormal[1].y, 0.0);
    EXPECT_EQ(patch.patch.vertexNormal[1].x, 0.0);
    EXPECT_GT(patch.patch.vertexNormal[2].x, 0.0);
    EXPECT_EQ(patch.patch.vertexNormal[2].y, 0.0);
    EXPECT_EQ(iNumPatch, 1);

    const std::string three = "vertex <0 0 0> vertex <1 0 0> vertex <0 1 0> ";
    const std::string normals = "normal <0 0 1> normal <0 0 1> normal <0 0 1> ";
    EXPECT_EQ(failure(yy_patch, "{ " + three + "normal <0 0 1> normal <0 0 1> }"), error(1, " Too few normals in patch structure"));
    EXPECT_EQ(failure(yy_patch, "{ vertex <0 0 0> }"), error(1, " Too few vertices in patch structure"));
    EXPECT_EQ(failure(yy_patch, "{ " + three + "vertex <1 1 1> }"), error(1, " Too many vertices in patch structure"));
    EXPECT_EQ(failure(yy_patch, "{ " + normals + "normal x }"), error(1, " Too many normals in patch structure"));
    EXPECT_EQ(failure(yy_patch, "{ center <0 0 0> }"), error(1, " Unkown parameter in patch structure"));
}

TEST_F(ObjectBlocks, SmoothTriangleIsAPatchInAScene) {
    ASSERT_EQ(parse(std::string(camera) + settings + plainSurface +
                    "smooth_triangle { vertex <0 0 0> normal <0 0 1> vertex <1 0 0> vertex <0 1 0> normal <0 0 1> "
                    "normal <0 0 1> }\npatch { vertex <0 0 0> normal <0 0 1> vertex <1 0 0> normal <0 0 1> "
                    "vertex <0 1 0> normal <0 0 1> }"),
              0);
    EXPECT_EQ(iNumPatch, 2);
    EXPECT_EQ(nPrims, 2);
}

}  // namespace
