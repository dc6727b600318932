// Wavefront OBJ models, read with tinyobjloader: `v` positions, `vn` normals and `f` faces, whose
// indices count from 1, or back from the latest vertex when negative; a face of more than three
// corners becomes the fan of triangles from its first corner. Texture coordinates, groups,
// smoothing groups, lines, points and materials are read past (no .mtl file is opened). Large
// files are cut at line ends into pieces that several threads read side by side.
#pragma once

#include "scene/model/mesh.h"

ModelRead readObj(ModelBytes bytes, int threads);

// Whether the first statement of the bytes (after blank and comment lines) is one an OBJ file
// has: v, vn, vt, f, o, g, s, l, p, usemtl or mtllib.
bool looksLikeObj(ModelBytes bytes);
