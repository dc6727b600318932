// Lights (records of kind 1 in myLightList, newest first), the light ray from a surface point,
// the sharp and smooth shadow tests, and the spot and attenuation factors.
#pragma once

#include "objects/data.h"

// myLightList, the list itself, lives with the object records (objects/data.h).

// Adds a light at the front of myLightList; direction is made unit length here. When memory is
// short it says so and the scene goes on without the light.
void makeLight(Vector position, Color color, int lightType, int attenuationType, int shadowType,
               double radius, int samples, double cosMinAngle, double cosMaxAngle, Vector direction);

// The ray from point towards the light; returns the distance to the light.
double makeLightRay(const Light* light, Vector point, Ray* lightRay);

// Sharp shadow: the light's colour, or black when an object other than `object` lies between.
Color* getLightColor(Color* result, const Light* light, const Object* object, const Ray* lightRay,
                     double distance);
// Smooth shadow: the light's colour scaled by the fraction of jittered sample rays that get through.
Color* smoothShadow(Color* result, const Light* light, const Object* object, const Ray* lightRay,
                    double distance);

// What smoothShadow draws from the random numbers, without casting its rays: for a point whose
// colour the light's answer cannot change, so that every later draw stays the same.
void skipSmoothShadow(const Light* light);

// Spot factor for the unit light-ray direction L: false when the point lies outside the outer
// cone (the light then contributes nothing), otherwise true with *s in [0, 1].
bool spotFactor(const Light* light, Vector L, double* s);
// 1/d, 1/d^2 or 1 by the light's attenuation type.
double attenuationFactor(const Light* light, double d);
