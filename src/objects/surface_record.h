// The surface record: the appearance of one object (colour, shading weights and exponents,
// reflection and refraction). It sits in every object record; the shading layer gives it its
// meaning (shading/surface.h).
#pragma once

#include "math/vector.h"

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
