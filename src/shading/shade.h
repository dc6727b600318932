// Shading of a surface point: ambient, per-light diffuse and specular terms after the shadow
// test, reflected and refracted colours (traced again), and haze.
#pragma once

#include <cstdint>

#include "objects/data.h"

struct Haze {
    double factor;  // 0 or less: no haze
    Color color;
};

extern Color myBackGroundColor;
extern Haze myHaze;

// Sharp shadow queries answered before the point is shaded (camera rays of neighbouring pixels
// ask theirs together): bit j of `asked` is set when light j of myLightList (counted in list
// order from 0) was asked, bit j of `blocked` when something blocks it.
struct ShadowAnswers {
    uint32_t asked = 0;
    uint32_t blocked = 0;
};
inline constexpr int answeredLights = 32;  // the lights a ShadowAnswers covers

// color receives the colour of the point (overwritten, not clamped). normal faces the ray's origin.
// The shadow queries in `answers` are taken from there instead of being asked.
void shade(const Object* object, const Ray* ray, Vector normal, Vector point, Color* color, int* level,
           const Hit* hit, const ShadowAnswers& answers = {});

// A sharp shadow query that shading a point will make: towards light `light` of myLightList.
struct ShadowQuery {
    int light;
    Ray ray;
    double distance;
};
// The sharp shadow queries, among the first answeredLights lights, whose answers shade would use
// for this point (the same arguments); returns how many it wrote to queries.
int shadowQueries(const Object* object, const Ray* ray, Vector normal, Vector point,
                  ShadowQuery queries[answeredLights]);

// 1 and the refracted direction (not normalised), or 0 and the total-internal-reflection direction.
int refractionDirection(double fromIndex, double toIndex, Vector incident, Vector normal, Vector* result);
