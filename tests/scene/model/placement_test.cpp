// Placing a model (scale, then turns about x, y and z, then move) and planning its records:
// which triangles are left out, which are flat and which smooth, and the patches' corner normals.
#include <gtest/gtest.h>

#include <vector>

#include "scene/model/placement.h"

namespace {

bool same(Vector a, Vector b) { return a.x == b.x && a.y == b.y && a.z == b.z; }

ModelMesh onePoint(Vector position, Vector normal) {
    ModelMesh mesh;
    mesh.positions = {position};
    mesh.normals = {normal};
    return mesh;
}

// Quarter turns are exact; the order is scale, x, y, z, move; normals are divided by a scale that
// stretches unevenly, reversed by an even negative one and left alone by an even positive one.
TEST(ModelPlacement, ScaleTurnsMoveInThatOrder) {
    const struct {
        Placement placement;
        Vector position, normal;
    } cases[] = {
        {{{1, 1, 1}, {0, 0, -270}, {}, false, false}, {-2, 1, 3}, {-0.25, 0.5, 0.125}},
        {{{1, 1, 1}, {90, 90, 0}, {}, false, false}, {2, -3, -1}, {0.25, -0.125, -0.5}},
        {{{2, 1, 1}, {0, 0, 90}, {10, 0, 0.5}, true, true}, {8, 2, 3.5}, {-0.25, 0.25, 0.125}},
        {{{-2, -2, -2}, {}, {}, true, false}, {-2, -4, -6}, {-0.5, -0.25, -0.125}},
        {{{3, 3, 3}, {}, {-1, 0, 0}, true, true}, {2, 6, 9}, {0.5, 0.25, 0.125}},
    };
    for (const auto& c : cases) {
        ModelMesh mesh = onePoint({1, 2, 3}, {0.5, 0.25, 0.125});
        ASSERT_TRUE(placeMesh(mesh, c.placement, 1));
        EXPECT_TRUE(same(mesh.positions[0], c.position))
            << mesh.positions[0].x << " " << mesh.positions[0].y << " " << mesh.positions[0].z;
        EXPECT_TRUE(same(mesh.normals[0], c.normal))
            << mesh.normals[0].x << " " << mesh.normals[0].y << " " << mesh.normals[0].z;
    }
    ModelMesh mesh = onePoint({1, 2, 3}, {0, 0, 1});
    placeMesh(mesh, {{1, 1, 1}, {30, 0, 0}, {}, false, false}, 1);
    EXPECT_NEAR(mesh.positions[0].y, 2 * std::sqrt(0.75) - 1.5, 1e-15);
    EXPECT_NEAR(mesh.positions[0].z, 1 + 3 * std::sqrt(0.75), 1e-15);
    mesh = onePoint({1e300, 0, 0}, {0, 0, 1});
    EXPECT_FALSE(placeMesh(mesh, {{1e10, 1, 1}, {}, {}, true, false}, 1));
}

// Four triangles on a square: one with a repeated corner and one with its corners on a line are
// left out.
ModelMesh square() {
    ModelMesh mesh;
    mesh.positions = {{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}, {2, 0, 0}};
    mesh.corners = {0, 1, 2, 0, 2, 3, 0, 1, 1, 0, 1, 4};
    return mesh;
}

std::vector<Piece> piecesOf(const ModelMesh& mesh, Shading shading) { return planMesh(mesh, shading, 2).pieces; }

TEST(ModelPlacement, PlansFlatAndSmoothTrianglesAndLeavesOutThoseWithoutArea) {
    using P = Piece;
    ModelMesh mesh = square();
    EXPECT_EQ(piecesOf(mesh, Shading::asFile), (std::vector<P>{P::triangle, P::triangle, P::skipped, P::skipped}));
    EXPECT_EQ(piecesOf(mesh, Shading::smooth), (std::vector<P>{P::patch, P::patch, P::skipped, P::skipped}));
    // Normals given for some corners only: as the file says, only the triangle whose corners all
    // have one is smooth.
    mesh.normals = {{0, 0, 1}, {0, 0, 2}};
    mesh.cornerNormals = {0, 1, 0, 0, 1, noNormal, 0, 0, 0, 0, 0, 0};
    EXPECT_EQ(piecesOf(mesh, Shading::asFile), (std::vector<P>{P::patch, P::triangle, P::skipped, P::skipped}));
    EXPECT_EQ(piecesOf(mesh, Shading::flat), (std::vector<P>{P::triangle, P::triangle, P::skipped, P::skipped}));
    const MeshPlan plan = planMesh(mesh, Shading::smooth, 1);
    EXPECT_EQ(plan.patches, 2u);
    EXPECT_EQ(plan.skipped, 2u);
}

// A patch's corner takes the file's normal; where there is none or it is zero, the sum of the
// face normals (twice the area long) around the vertex; where that is zero, the face's own.
TEST(ModelPlacement, PatchNormalsComeFromTheFileThenTheVertexThenTheFace) {
    ModelMesh mesh;
    // A roof of two faces meeting along the edge from (0, 0, 1) to (0, 2, 1), the first face twice,
    // once the other way round: around (1, 0, 0) the face normals cancel.
    mesh.positions = {{0, 0, 1}, {0, 2, 1}, {1, 0, 0}, {-1, 0, 0}};
    mesh.corners = {0, 2, 1, 0, 1, 3, 0, 1, 2};
    mesh.normals = {{0, 0, 0}, {1, 0, 0}};
    mesh.cornerNormals = {noNormal, noNormal, 0, 1, 1, 1, 0, 0, 0};
    const MeshPlan plan = planMesh(mesh, Shading::smooth, 1);
    Vector normals[3];
    patchNormals(mesh, plan, 0, normals);
    EXPECT_TRUE(same(normals[0], Vector{-2, 0, 2}));  // the sum (2, 0, 2) + (-2, 0, 2) - (2, 0, 2)
    EXPECT_TRUE(same(normals[1], Vector{2, 0, 2}));   // a zero sum: the face's own
    EXPECT_TRUE(same(normals[2], Vector{-2, 0, 2}));  // a zero normal in the file: the sum
    patchNormals(mesh, plan, 1, normals);
    EXPECT_TRUE(same(normals[0], Vector{1, 0, 0}) && same(normals[2], Vector{1, 0, 0}));
}

// Corners that stand apart (STL) are one vertex where their positions are equal, also -0 and 0.
TEST(ModelPlacement, CornersApartShareNormalsWhereTheyMeet) {
    ModelMesh mesh;
    mesh.positions = {{0, 0, 1}, {1, 0, 0}, {0, 2, 1}, {-0.0, 0, 1}, {0, 2, 1}, {-1, 0, 0}};
    mesh.corners = {0, 1, 2, 3, 4, 5};
    mesh.cornersApart = true;
    const MeshPlan plan = planMesh(mesh, Shading::smooth, 1);
    Vector first[3], second[3];
    patchNormals(mesh, plan, 0, first);
    patchNormals(mesh, plan, 1, second);
    EXPECT_TRUE(same(first[0], Vector{0, 0, 4}));
    EXPECT_TRUE(same(second[0], first[0]));
    EXPECT_TRUE(same(second[1], first[2]));
    EXPECT_TRUE(same(first[1], Vector{2, 0, 2}));
}

}  // namespace
