// Placing a model in the scene and planning the records made of it. The placement is a scale,
// then turns about x, y and z (in degrees, right-handed; multiples of 90 degrees turn exactly),
// then a move, applied to the positions, and as normals to the normals (divided by the scale,
// then turned). The plan says of each triangle whether it is left out (its corners give no
// normal: fewer than three distinct corners, or all on one line), a flat triangle or a smooth
// patch, and gives the corner normals of a patch: the file's, or where the file has none (or a
// zero one), the area-weighted normal of the vertex, or where that is zero too, the face's own.
#pragma once

#include <cstdint>
#include <vector>

#include "scene/model/mesh.h"

struct Placement {
    Vector scale{1.0, 1.0, 1.0};  // no component 0
    Vector rotate{0.0, 0.0, 0.0};
    Vector move{0.0, 0.0, 0.0};
    bool scaled = false;
    bool moved = false;
};

// asFile: a triangle whose three corners have normals in the file is a patch, any other flat.
enum class Shading { asFile, smooth, flat };

enum class Piece : std::uint8_t { skipped, triangle, patch };

struct MeshPlan {
    std::vector<Piece> pieces;  // one a triangle of the mesh
    std::size_t triangles = 0;
    std::size_t patches = 0;
    std::size_t skipped = 0;
    // The area-weighted normals of the vertices, when a patch needs one.
    std::vector<Vector> vertexNormals;
    // For a mesh whose corners stand apart: the vertex of each position (the first position
    // equal to it).
    std::vector<std::uint32_t> vertexOf;
};

// Places the positions and normals in the mesh; false when a position is no longer finite.
bool placeMesh(ModelMesh& mesh, const Placement& placement, int threads);

MeshPlan planMesh(const ModelMesh& mesh, Shading shading, int threads);

// The corner normals of triangle t, which the plan makes a patch.
void patchNormals(const ModelMesh& mesh, const MeshPlan& plan, std::size_t t, Vector normals[3]);
