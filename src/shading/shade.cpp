#include "shading/shade.h"

#include <algorithm>
#include <cmath>

#include "math/random.h"
#include "shading/light.h"
#include "shading/trace.h"

Color myBackGroundColor{0.0, 0.0, 0.0};
Haze myHaze{0.0, {0.0, 0.0, 0.0}};

namespace {

// The mirror direction, where the highlight or the reflection needs it.
Vector mirrorDirection(const Surface& surface, Vector D, Vector N) {
    Vector R{0.0, 0.0, 0.0};
    if (surface.specular > 0 || surface.reflection > 0) {
        R = D / std::fabs(dot(D, N)) + 2.0 * N;
        VecNorm(&R);
    }
    return R;
}

// What one light does at a point before its shadow test: the light ray and its distance, the
// spot factor, and which terms its colour enters.
struct LightTerms {
    Ray lightRay;
    double d;
    double s = 1.0;
    bool outsideCone = false;  // a spot light that does not reach the point: nothing to add
    double cosine = 0.0;
    bool diffuse = false;   // the diffuse term uses the light's colour
    bool specular = false;  // so does the highlight
};

LightTerms lightTerms(const Light* light, const Surface& surface, Vector N, Vector P, Vector R) {
    LightTerms terms;
    terms.d = makeLightRay(light, P, &terms.lightRay);
    const Vector L = terms.lightRay.direction;
    if (light->light.lightType == 1 && !spotFactor(light, L, &terms.s)) {
        terms.outsideCone = true;
        return terms;
    }
    terms.cosine = dot(N, L);
    terms.diffuse = terms.cosine > 0.001 && surface.diffuse > 0;
    terms.specular = surface.specular > 0 && dot(R, L) > 0.001;
    return terms;
}

// Adds the diffuse and specular light of one light (number j of the list) to color. A spot light
// adds nothing to a point outside its outer cone. d receives the distance to the light in every
// case. A shadow ray whose answer no term uses is not cast; a smooth light still draws its
// random numbers, so that every later draw stays the same.
void addLight(const Light* light, int j, const Object* object, Vector N, Vector P, Vector R, Color* color,
              double* d, const ShadowAnswers& answers) {
    const Surface& surface = object->surface;
    const LightTerms terms = lightTerms(light, surface, N, P, R);
    *d = terms.d;
    if (terms.outsideCone) return;
    const bool smooth = light->light.shadowType == 1;
    if (!terms.diffuse && !terms.specular) {
        if (smooth) skipSmoothShadow(light);
        return;
    }

    Color lc;
    if (smooth) {
        smoothShadow(&lc, light, object, &terms.lightRay, terms.d);
    } else if (j < answeredLights && (answers.asked >> j & 1)) {
        lc = answers.blocked >> j & 1 ? Color{0.0, 0.0, 0.0} : light->surface.color;
    } else {
        getLightColor(&lc, light, object, &terms.lightRay, terms.d);
    }

    if (terms.diffuse) {
        // Only the blue component is divided: bright lights are attenuated, dim ones are not.
        if (lc.red + lc.green + lc.blue / 3.0 > 1.0) lc = lc * attenuationFactor(light, terms.d);
        if (light->light.lightType == 1) lc = lc * terms.s;
        const double f = surface.brilliance > 1.0 ? std::pow(terms.cosine, surface.brilliance) : terms.cosine;
        *color += lc * surface.color * f * surface.diffuse;
    }
    if (terms.specular) {
        const double c = dot(R, terms.lightRay.direction);
        *color += lc * std::pow(c, surface.roughness) * surface.specular;
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
           const Hit* hit, const ShadowAnswers& answers) {
    const Surface& surface = object->surface;
    const Vector D = ray->direction;
    const Vector R = mirrorDirection(surface, D, normal);

    *color = surface.color * surface.ambient;

    // The haze runs by the distance to the last light of the list (the first one declared).
    bool lit = false;
    double hazeDistance = 0.0;
    int j = 0;
    for (const Light* light = myLightList; light; light = light->next, ++j) {
        addLight(light, j, object, normal, point, R, color, &hazeDistance, answers);
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

int shadowQueries(const Object* object, const Ray* ray, Vector normal, Vector point,
                  ShadowQuery queries[answeredLights]) {
    const Surface& surface = object->surface;
    const Vector R = mirrorDirection(surface, ray->direction, normal);
    int count = 0;
    int j = 0;
    for (const Light* light = myLightList; light && j < answeredLights; light = light->next, ++j) {
        if (light->light.shadowType == 1) continue;
        const LightTerms terms = lightTerms(light, surface, normal, point, R);
        if (!terms.outsideCone && (terms.diffuse || terms.specular))
            queries[count++] = {j, terms.lightRay, terms.d};
    }
    return count;
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
