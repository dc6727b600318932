// The camera and its primary rays, the recursive trace, the three image scans with their
// anti-aliasing, and the progress bar.
#pragma once

#include "objects/data.h"
#include "render/rows.h"

struct ViewPoint {
    Vector position;
    Vector up;
    Vector lookAt;
    Vector apertureU;
    Vector apertureV;
    double fov;          // horizontal half angle, radians
    double fovVertical;  // fov / ratio
    double ratio;
    double aperture;  // lens half-size; 0 or less: pinhole
    double focalLength;
    int samples;     // depth-of-field rays per primary ray
    int projection;  // 0 flat, 1 fisheye
};

extern ViewPoint myViewPoint;

// Completes the camera (unit up orthogonal to the view, lens axes, frustum) and sets ray to the
// central ray. Once cameraSetup has run, it only yields the central ray and writes nothing shared.
void screenInit(Ray* ray);
// The camera completion alone, run once before render threads start.
void cameraSetup();
// Clears the camera and its completed frame, as before any camera block was read.
void resetCamera();
// Writes the unit direction through the continuous pixel position (x, y); the origin is untouched.
void initRay(double x, double y, Ray* ray);
// The colour seen along a primary ray, averaged over the lens when the aperture is open.
void shoot(Ray* ray, Color* color, int* level);

// The colour seen along a ray (clamped to at most 1) and the distance to what it hits:
// 1e10 on a miss, 0.0 past the recursion limit.
double trace(const Ray* ray, Color* color, int* level);

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
void adapt(int a, int b, double x, double y, Color* result, int size, Ray* ray, int* level,
           CornerSample grid[5][5]);

// The bar, and the ticks after rows: ticks are 0xB1 bytes, or U+2592 in UTF-8 on a terminal.
void showProgressInit();
void showProgress(int y);
