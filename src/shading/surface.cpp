#include "shading/surface.h"

#include <cstdio>

#include "base/console.h"
#include "objects/data.h"

void setSurfaceAttrib(Object* object, Color color, double ambient, double diffuse, double brilliance,
                      double specular, double roughness, double reflection, double refraction,
                      double refractionIndex, int reflectionType, int reflectionSamples,
                      double reflectionRadius) {
    Surface& s = object->surface;
    s.color = color;
    s.ambient = ambient;
    s.diffuse = diffuse;
    s.brilliance = brilliance;
    s.specular = specular;
    s.roughness = roughness;
    s.reflection = reflection;
    s.reflectionType = reflectionType;
    s.reflectionSamples = reflectionSamples;
    s.reflectionRadius = reflectionRadius;
    s.refraction = refraction;
    s.refractionIndex = refractionIndex;
}

void printSurfaceAttrib(const Object* object) {
    const Surface& s = object->surface;
    consolePrint("Color: red = %g, green = %g, blue = %g\n", s.color.red, s.color.green, s.color.blue);
    consolePrint(
        "Ambient: ambient = %g\nDiffuse: diffuse = %g\nBrilliance: brilliance = %g\n"
        "Specular: specular = %g\nRoughness: roughness = %g\nReflection: reflection = %g\n",
        s.ambient, s.diffuse, s.brilliance, s.specular, s.roughness, s.reflection);
}
