// Spheres: centre and radius.
#pragma once

#include "objects/data.h"

Object* makeSphere(Vector center, double radius);
int sphereIntersect(const Object* obj, const Ray* ray, Hit* hit);
Vector sphereNormal(const Object* obj, Vector point);
void spherePrint(const Object* obj);
