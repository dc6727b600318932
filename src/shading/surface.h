// Surface attributes: the appearance of one object (colour, shading weights and exponents,
// reflection and refraction). Every object owns a copy, taken from the current surface of the
// scene file when the object's block ends.
#pragma once

#include "math/vector.h"

struct Object;

struct Surface {
    Color color;
    double ambient;
    double diffuse;
    double brilliance;  // exponent of the diffuse cosine, used only above 1.0
    double specular;
    double roughness;  // exponent of the highlight
    double reflection;
    int reflectionType;     // 0 sharp, 1 fuzzy
    int reflectionSamples;  // rays averaged by a fuzzy reflection
    double reflectionRadius;
    double refraction;
    double refractionIndex;  // against the outside medium; refraction only above 1.0
};

// What a surface block without parameters gives.
inline constexpr Surface surfaceDefaults{{0.0, 0.0, 0.0}, 0.0, 0.0, 0.0, 0.0, 0.0, 0.0, 0, 10, 1.0, 0.0, 1.0};

// Note the parameter order: refraction and its index come before the three reflection values.
void setSurfaceAttrib(Object* object, Color color, double ambient, double diffuse, double brilliance,
                      double specular, double roughness, double reflection, double refraction,
                      double refractionIndex, int reflectionType, int reflectionSamples,
                      double reflectionRadius);

// Diagnostic listing: colour line, then the six weights and exponents.
void printSurfaceAttrib(const Object* object);
