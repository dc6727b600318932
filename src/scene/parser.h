// The scene-file driver: reads a scene file's top-level statements, hands each block to its
// parser, follows `include` into other files (looked for from the working directory, then beside
// the including file), keeps the colours made by `declare`, and at the end checks that the scene
// has a camera, settings and a surface and prints the statistics.
#pragma once

#include <cstdio>

#include "objects/data.h"
#include "shading/surface.h"

// The current surface: every surface block overwrites it, every object block copies it. It
// exists while parseFile runs and starts with the values of an empty surface block.
extern Surface* surface;
// The object made by the last object block.
extern Object* object;

// Blocks read so far: camera, settings, surface, light.
extern short c, s, su, l;

// Statistics, printed at the end of parseFile.
extern int iNumSphere, iNumRing, iNumPlane, iNumCone, iNumCylinder, iNumDisc, iNumPolygone,
    iNumTriangle, iNumPatch, iNumSurface, iNumLight;

// An include chain may hold this many open files; one more is a parse error.
inline constexpr int maxIncludeDepth = 64;

// Reads the scene. 0 when it is complete, -1 when the camera, the settings or the surface is
// missing (message printed). Errors inside the scene end the run through yyerror.
int parseFile(const char* name);
// Reads one file and everything it includes; 0, or the run ends.
int parseScene(const char* name);
// The rest of `declare "name" color r g b`.
void yy_declare(FILE* file);

// Releases everything that reading the scene built (objects, hierarchy, lights, declared colours,
// the current surface) and puts the parser's globals and counters back to their start values.
void releaseScene();
