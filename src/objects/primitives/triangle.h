// Flat triangles, hit from both sides. The vertex array (three corners, from malloc) is made by
// the caller and belongs to the triangle from then on: it keeps the corners in its own record
// and frees the array.
#pragma once

#include "objects/data.h"
#include "objects/primitives/shape.h"

Object* makeTriangle(Vector* vertices);
int triangleIntersect(const Object* obj, const Ray* ray, Hit* hit);
// The compact form of its intersection (objects/primitives/shape.h).
extern const ShapeForm triangleShape;
Vector triangleNormal(const Object* obj, Vector point);
void trianglePrint(const Object* obj);
