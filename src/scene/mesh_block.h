// The mesh block: a model file (OBJ, PLY, STL, glTF) brought into the scene, placed with scale,
// rotate and move, made into the same triangle and patch records its triangles typed out would
// make, each with a copy of the current surface.
#pragma once

#include <cstdio>

// Called with the open scene file right after `mesh`; `holder` is the name of the file that
// holds the block (a relative model name not found from the working directory is looked for
// beside it). Reads through the closing brace, reads the model, makes its records and prints
// one line saying what it made, how many faces it left out and where the model lies, or ends the
// run through yyerror.
void yy_mesh(FILE* file, const char* holder);
