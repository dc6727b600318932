// Flat polygons of any number of corners in the plane of the first three, hit from both sides.
// The vertex array (from malloc) is made by the caller and belongs to the polygon from then on:
// the polygon copies the corners into the scene's storage and frees the array.
#pragma once

#include "objects/data.h"

// count is at least 3 (the polygon block asks for more than three corners).
Object* makePolygon(Vector* vertices, int count);
int polygonIntersect(const Object* obj, const Ray* ray, Hit* hit);
Vector polygonNormal(const Object* obj, Vector point);
void polygonPrint(const Object* obj);
