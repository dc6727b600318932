// The object block parsers. Each is called with the open scene file right after its keyword,
// reads its parameters through the closing brace, checks them, calls its primitive's constructor
// and gives the new object a copy of the current surface, or ends the run through yyerror.
#pragma once

#include <cstdio>

void yy_sphere(FILE* file);
void yy_cylindre(FILE* file);
void yy_cone(FILE* file);
void yy_plane(FILE* file);
void yy_disc(FILE* file);
void yy_ring(FILE* file);
void yy_triangle(FILE* file);
void yy_polygon(FILE* file);
void yy_patch(FILE* file);  // `patch` and `smooth_triangle`
