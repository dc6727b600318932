// Surface attributes: setting and listing an object's surface record (objects/surface_record.h).
// Every object owns a copy, taken from the current surface of the scene file when the object's
// block ends.
#pragma once

#include "math/vector.h"
#include "objects/surface_record.h"

struct Object;

// Note the parameter order: refraction and its index come before the three reflection values.
void setSurfaceAttrib(Object* object, Color color, double ambient, double diffuse, double brilliance,
                      double specular, double roughness, double reflection, double refraction,
                      double refractionIndex, int reflectionType, int reflectionSamples,
                      double reflectionRadius);

// Diagnostic listing: colour line, then the six weights and exponents.
void printSurfaceAttrib(const Object* object);
