#include "shading/shade.h"

#include <algorithm>
#include <cmath>

#include "math/random.h"
#include "shading/light.h"
#include "shading/trace.h"

Color myBackGroundColor{0.0, 0.0, 0.0};
Haze myHaze{0.0, {0.0, 0.0, 0.0}};

namespace {

// Adds the diffuse and specular light of one light to color. A spot light adds nothing to a point
// outside its outer cone. d receives the distance to the light in every case.
void addLight(const Light* light, const Object* object, Vector N, Vector P, Vector R, Color* color,
              double* d) {
    const Surface& surface = object->surface;
    Ray lightRay;
    *d = makeLightRay(light, P, &lightRay);
    const Vector L = lightRay.direction;
    const bool spot = light->light.lightType == 1;
    double s = 1.0;
    if (spot && !spotFactor(light, L, &s)) return;

    Color lc;
    if (light->light.shadowType == 1)
        smoothShadow(&lc, light, object, &lightRay, *d);
    else
        getLightColor(&lc, light, object, &lightRay, *d);

    const double cosine = dot(N, L);
    if (cosine > 0.001 && surface.diffuse > 0) {
        // Only the blue component is divided: bright lights are attenuated, dim ones are not.
        if (lc.red + lc.green + lc.blue / 3.0 > 1.0) lc = lc * attenuationFactor(light, *d);
        if (spot) lc = lc * s;
        const double f = surface.brilliance > 1.0 ? std::pow(cosine, surface.brilliance) : cosine;
        *color += lc * surface.color * f * surface.diffuse;
    }
    if (surface.specular > 0) {
        const double c = dot(R, L);
        if (c > 0.001) *color += lc * std::pow(c, surface.roughness) * surface.specular;
    }
}

Color reflectedColor(const Surface& surface, Vector P, Vector R, int* level, const Hit* hit) {
    Color result;
    if (surface.reflectionType != 1 || surface.reflectionSamples <= 0) {
        const Ray ray{P, R};
        trace(&ray, &result, level);
        return result;
    }
    Color sum{0.0, 0.0, 0.0};
    const double spread = surface.reflectionRadius / hit->distance;
    for (int i = 0; i < surface.reflectionSamples; ++i) {
        Ray ray{P, R};
        Vector jitter = randomOffset();
        VecNorm(&jitter);
        ray.direction = R + spread * jitter;
        VecNorm(&ray.direction);
        trace(&ray, &result, level);
        sum += result;
    }
    return sum / static_cast<double>(surface.reflectionSamples);
}

Color refractedColor(const Surface& surface, Vector D, Vector N, Vector P, int* level, const Hit* hit) {
    // A ray entering the object goes from the object's index to 1.0: the ratio is the index itself.
    const double fromIndex = hit->entering ? surface.refractionIndex : 1.0;
    const double toIndex = hit->entering ? 1.0 : surface.refractionIndex;
    Ray ray{P, {}};
    refractionDirection(fromIndex, toIndex, D, N, &ray.direction);
    Color tc;
    const double t2 = trace(&ray, &tc, level);
    if (t2 > 0.001 && hit->entering) {
        tc.red *= std::pow(surface.color.red, t2);
        tc.green *= std::pow(surface.color.green, t2);
        tc.blue *= std::pow(surface.color.blue, t2);
    }
    return tc;
}

}  // namespace

void shade(const Object* object, const Ray* ray, Vector normal, Vector point, Color* color, int* level,
           const Hit* hit) {
    const Surface& surface = object->surface;
    const Vector D = ray->direction;
    Vector R{0.0, 0.0, 0.0};
    if (surface.specular > 0 || surface.reflection > 0) {
        R = D / std::fabs(dot(D, normal)) + 2.0 * normal;
        VecNorm(&R);
    }

    *color = surface.color * surface.ambient;

    // The haze runs by the distance to the last light of the list (the first one declared).
    bool lit = false;
    double hazeDistance = 0.0;
    for (const Light* light = myLightList; light; light = light->next) {
        addLight(light, object, normal, point, R, color, &hazeDistance);
        lit = true;
    }

    if (surface.reflection > 0) {
        ++*level;
        *color += reflectedColor(surface, point, R, level, hit) * surface.reflection;
        --*level;
    }

    if (surface.refraction > 0 && surface.refractionIndex > 1.0) {
        ++*level;
        const Color tc = refractedColor(surface, D, normal, point, level, hit);
        --*level;
        *color += tc * surface.refraction;
    }

    if (myHaze.factor > 0) {
        // Without lights there is no distance to go by: the point takes no haze. A factor above 1
        // counts as 1, the point then takes the haze colour.
        const double base = 1.0 - std::min(myHaze.factor, 1.0);
        const double h = lit ? 1.0 - std::pow(base, hazeDistance) : 0.0;
        *color = *color * (1.0 - h) + myHaze.color * h;
    }
}

int refractionDirection(double fromIndex, double toIndex, Vector incident, Vector normal, Vector* result) {
    const double eta = fromIndex / toIndex;
    const double c1 = -dot(incident, normal);
    const double k = 1.0 - eta * eta * (1.0 - c1 * c1);
    if (k < 0.0) {
        *result = 2.0 * c1 * normal - incident;
        VecNorm(result);
        return 0;
    }
    *result = eta * incident + (eta * c1 - std::sqrt(k)) * normal;
    return 1;
}
