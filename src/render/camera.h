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
// The colour seen along a primary ray, averaged over the lens when the aperture is open.
void shoot(Ray* ray, Color* color, int* level);
