// Rings and discs (inner radius 0): flat annuli hit from both sides.
#pragma once

#include "objects/data.h"

Object* makeRing(Vector center, Vector normal, double innerRadius, double outerRadius);
int ringIntersect(const Object* obj, const Ray* ray, Hit* hit);
Vector ringNormal(const Object* obj, Vector point);
void ringPrint(const Object* obj);
