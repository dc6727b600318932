// The three image scans with their anti-aliasing: each renders the rows its feed gives, sample by
// sample through the camera, and hands the feed every finished row.
#pragma once

#include "objects/data.h"
#include "render/rows.h"
#include "shading/trace.h"

struct CornerSample {
    unsigned char red;
    unsigned char green;
    unsigned char blue;
    unsigned char done;
};

// A colour component as an image byte: the low 8 bits of the integer part of c * 255.0.
unsigned char colorToByte(double c);

// The three scans: each renders the spans its feed gives and hands it the finished rows.
void scanNone(RowFeed* feed);
void scanCorners(RowFeed* feed);
void scanAdaptive(RowFeed* feed);
// The colour of a square of the pixel at (x, y); `bottomRight`, when given, is the pixel's corner
// (4, 4) with its queries answered beforehand.
void adapt(int a, int b, double x, double y, Color* result, int size, Ray* ray, int* level,
           CornerSample grid[5][5], const PreparedRay* bottomRight = nullptr);
