#include "shading/trace.h"

#include "objects/hierarchy/intersec.h"
#include "shading/shade.h"

namespace {

constexpr double farAway = 1e10;
constexpr int deepestLevel = 5;

}  // namespace

double trace(const Ray* ray, Color* color, int* level) {
    ++tracedRays;
    *color = {0.0, 0.0, 0.0};
    if (*level > deepestLevel) return 0.0;
    Hit hit;
    if (!myObjectList || !intersect(ray, farAway, &hit, nullptr)) {
        *color = myHaze.factor > 0 ? myHaze.color : myBackGroundColor;
        return farAway;
    }
    const double t = hit.distance;
    const Vector point = ray->origin + t * ray->direction;
    Vector normal = hit.object->normalFn(hit.object, point);
    if (dot(normal, ray->direction) > 0) normal = -normal;
    shade(hit.object, ray, normal, point, color, level, &hit);
    if (color->red > 1.0) color->red = 1.0;
    if (color->green > 1.0) color->green = 1.0;
    if (color->blue > 1.0) color->blue = 1.0;
    return t;
}
