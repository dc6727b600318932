// Infinite one-sided planes: n . P = distance with n the unit normal, seen from the side
// opposite to n (only rays travelling along n hit it).
#pragma once

#include "objects/data.h"

Object* makePlane(Vector normal, double distance);
int planeIntersect(const Object* obj, const Ray* ray, Hit* hit);
Vector planeNormal(const Object* obj, Vector point);
void planePrint(const Object* obj);
