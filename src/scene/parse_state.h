// The parser's working state, shared by the scene-file driver and the block parsers only.
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
extern int iNumSphere, iNumRing, iNumPlane, iNumCone, iNumCylinder, iNumDisc, iNumPolygone, iNumTriangle,
    iNumPatch, iNumSurface, iNumLight;

// Reads one file and everything it includes; 0, or the run ends.
int parseScene(const char* name);
// The rest of `declare "name" color r g b`.
void yy_declare(FILE* file);
