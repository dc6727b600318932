// STL models (the format of 3D-printing parts): binary files (an 80-byte header, a triangle count,
// 50 bytes a triangle) and ASCII files (solid ... facet ... outer loop, vertex lines, endloop,
// endfacet ... endsolid, keywords in any case, several solids one after the other). The facet
// normals are not used: a triangle's corners give its side. Every corner has a position of its
// own; equal positions are one vertex only where smooth normals are computed.
#pragma once

#include "scene/model/mesh.h"

ModelRead readStl(ModelBytes bytes, int threads);

// Whether the bytes have exactly the size a binary STL file of the count it gives has; such a
// file is binary even when its header begins with "solid", as some programs write it.
bool looksLikeBinaryStl(ModelBytes bytes);
// Whether the bytes begin as an ASCII STL file ("solid", after any blanks).
bool looksLikeAsciiStl(ModelBytes bytes);
