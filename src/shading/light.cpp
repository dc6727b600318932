#include "shading/light.h"

#include <cstdio>

#include "base/console.h"
#include "math/random.h"
#include "objects/hierarchy/intersec.h"

void makeLight(Vector position, Color color, int lightType, int attenuationType, int shadowType,
               double radius, int samples, double cosMinAngle, double cosMaxAngle, Vector direction) {
    Light* light = allocateObject();
    if (!light) {
        consolePrint(" Memory allocation for light failed. Light not added to scene.");
        return;
    }
    light->kind = kindLight;
    light->surface.color = color;
    LightData& data = light->light;
    data.position = position;
    VecNorm(&direction);
    data.direction = direction;
    data.lightType = lightType;
    data.shadowType = shadowType;
    data.attenuationType = attenuationType;
    data.samples = samples;
    data.radius = radius;
    data.cosMinAngle = cosMinAngle;
    data.cosMaxAngle = cosMaxAngle;
    addToList(&myLightList, light);
}

double makeLightRay(const Light* light, Vector point, Ray* lightRay) {
    lightRay->origin = point;
    lightRay->direction = light->light.position - point;
    const double distance = length(lightRay->direction);
    VecNorm(&lightRay->direction);
    return distance;
}

namespace {

// True when something other than `object` lies on the ray before the light.
bool blocked(const Ray* ray, double distance, const Object* object) {
    return intersectAny(ray, distance, object) != 0;
}

}  // namespace

Color* getLightColor(Color* result, const Light* light, const Object* object, const Ray* lightRay,
                     double distance) {
    *result = blocked(lightRay, distance, object) ? Color{0.0, 0.0, 0.0} : light->surface.color;
    return result;
}

Color* smoothShadow(Color* result, const Light* light, const Object* object, const Ray* lightRay,
                    double distance) {
    const int samples = light->light.samples;
    if (samples <= 0) return getLightColor(result, light, object, lightRay, distance);
    Color sum{0.0, 0.0, 0.0};
    const double spread = light->light.radius / distance;
    for (int i = 0; i < samples; ++i) {
        Ray ray = *lightRay;
        Vector jitter = randomOffset();
        VecNorm(&jitter);
        ray.direction = ray.direction + spread * jitter;
        VecNorm(&ray.direction);
        if (!blocked(&ray, distance, object)) sum += light->surface.color;
    }
    *result = sum / static_cast<double>(samples);
    return result;
}

void skipSmoothShadow(const Light* light) {
    for (int i = 0; i < light->light.samples; ++i) randomOffset();
}

bool spotFactor(const Light* light, Vector L, double* s) {
    const LightData& data = light->light;
    const double c = -dot(data.direction, L);
    if (c < data.cosMaxAngle) return false;
    *s = c >= data.cosMinAngle ? 1.0 : (c - data.cosMaxAngle) / (data.cosMinAngle - data.cosMaxAngle);
    return true;
}

double attenuationFactor(const Light* light, double d) {
    switch (light->light.attenuationType) {
        case 1: return 1.0 / d;
        case 2: return 1.0 / (d * d);
        default: return 1.0;
    }
}
