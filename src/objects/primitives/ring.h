// Rings and discs (inner radius 0): flat annuli hit from both sides.
#pragma once

#include "objects/data.h"
#include "objects/primitives/shape.h"

Object* makeRing(Vector center, Vector normal, double innerRadius, double outerRadius);
int ringIntersect(const Object* obj, const Ray* ray, Hit* hit);
// The compact form of its intersection (objects/primitives/shape.h).
extern const ShapeForm ringShape;
Vector ringNormal(const Object* obj, Vector point);
void ringPrint(const Object* obj);
