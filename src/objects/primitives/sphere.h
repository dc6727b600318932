// Spheres: centre and radius.
#pragma once

#include "objects/data.h"
#include "objects/primitives/shape.h"

Object* makeSphere(Vector center, double radius);
int sphereIntersect(const Object* obj, const Ray* ray, Hit* hit);
// The compact form of its intersection (objects/primitives/shape.h).
extern const ShapeForm sphereShape;
Vector sphereNormal(const Object* obj, Vector point);
void spherePrint(const Object* obj);
