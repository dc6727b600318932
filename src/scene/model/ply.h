// PLY models (the format of scans): ASCII, binary little-endian and binary big-endian files; from
// the `vertex` element its x, y and z and, when all three are there, nx, ny and nz, of any
// property type; from the `face` element its list of vertex indices (`vertex_indices` or
// `vertex_index`), of any count and index type. Other elements and properties are read past, and
// so are header lines other than format, element, property and end_header (comments).
// The counts of the header are checked against the size of the file before anything is
// allocated for them.
#pragma once

#include "scene/model/mesh.h"

// The model in the bytes of a PLY file; `threads` threads may share the decoding.
ModelRead readPly(ModelBytes bytes, int threads);

// Whether the bytes begin as a PLY file does ("ply" alone on the first line).
bool looksLikePly(ModelBytes bytes);
