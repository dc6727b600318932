// Infinite one-sided planes: n . P = distance with n the unit normal, seen from the side
// opposite to n (only rays travelling along n hit it).
#pragma once

#include "objects/data.h"
#include "objects/primitives/shape.h"

Object* makePlane(Vector normal, double distance);
int planeIntersect(const Object* obj, const Ray* ray, Hit* hit);
// The compact form of its intersection (objects/primitives/shape.h).
extern const ShapeForm planeShape;
Vector planeNormal(const Object* obj, Vector point);
void planePrint(const Object* obj);
