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
