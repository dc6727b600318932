// The camera: its record, the frame completed from it, and the primary rays through pixel
// positions, averaged over the lens when the aperture is open.
#pragma once

#include "objects/data.h"

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
// initRay in two halves, for scans that trace a grid of positions: what the direction takes from
// the column alone and from the row alone, worked out once per column and once per row, then
// summed for each position in the same order as initRay sums them (the same direction, bit for
// bit: initRay is made of them).
struct ColumnTerms {
    Vector first;   // flat: viewvec + leftvec (width u); fisheye: leftvec sin(theta)
    Vector second;  // fisheye: viewvec cos(theta)
};
struct RowTerms {
    Vector first;   // flat: looking_up (-height v); fisheye: looking_up sin(phi)
    double factor;  // fisheye: cos(phi)
};
ColumnTerms columnTerms(double x);
RowTerms rowTerms(double y);
void initRayFrom(const ColumnTerms& column, const RowTerms& row, Ray* ray);
// Whether shoot averages over the lens; when not, it is trace of the ray itself.
bool lensOpen();
// The colour seen along a primary ray, averaged over the lens when the aperture is open.
void shoot(Ray* ray, Color* color, int* level);
