// Cones and cylinders: the open lateral surface between a base circle and a cap circle.
#pragma once

#include "objects/data.h"

Object* makeCone(Vector base, double baseRadius, Vector cap, double capRadius);
int coneIntersect(const Object* obj, const Ray* ray, Hit* hit);
Vector coneNormal(const Object* obj, Vector point);
void conePrint(const Object* obj);
