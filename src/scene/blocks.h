// The block parsers of the camera, settings, light and surface blocks. Each is called with the
// open scene file right after its keyword, reads the block through its closing brace, and either
// fills the record the block describes (camera, settings, the current surface) or makes a light,
// or ends the run through yyerror.
#pragma once

#include <cstdio>

void yy_camera(FILE* file);
void yy_settings(FILE* file);
void yy_light(FILE* file);
void yy_surface(FILE* file);

// Once the whole scene is read, the values that will be rendered: the camera of the last camera
// block, and for each side of the image that the command line does not set, the size of the last
// settings block. One that cannot be rendered ends the run through yyerror, with the line where
// its block set it (of two, the one read first). Only kinds of block that were read are checked.
void checkRenderedValues(bool camera, bool settings);
