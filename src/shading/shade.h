// Shading of a surface point: ambient, per-light diffuse and specular terms after the shadow
// test, reflected and refracted colours (traced again), and haze.
#pragma once

#include "objects/data.h"

struct Haze {
    double factor;  // 0 or less: no haze
    Color color;
};

extern Color myBackGroundColor;
extern Haze myHaze;

// color receives the colour of the point (overwritten, not clamped). normal faces the ray's origin.
void shade(const Object* object, const Ray* ray, Vector normal, Vector point, Color* color, int* level,
           const Hit* hit);

// 1 and the refracted direction (not normalised), or 0 and the total-internal-reflection direction.
int refractionDirection(double fromIndex, double toIndex, Vector incident, Vector normal, Vector* result);
