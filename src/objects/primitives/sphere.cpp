#include "objects/primitives/sphere.h"

#include <cmath>
#include <cstdio>

#include "base/console.h"
#include "objects/hierarchy/slab_directions.h"

Object* makeSphere(Vector center, double radius) {
    Object* obj = newPrimitive(kindSphere, sphereIntersect, sphereNormal, spherePrint);
    if (!obj) return nullptr;

    obj->sphere.center = center;
    obj->sphere.radius = radius;
    obj->sphere.radius2 = radius * radius;

    const double extent = std::fabs(radius);
    for (int i = 0; i < 3; ++i) {
        const double c = dot(Slab[i], center);
        obj->boundMin[i] = c - extent;
        obj->boundMax[i] = c + extent;
    }

    return addPrimitive(obj);
}

namespace {

// What the intersection reads.
struct SphereShape {
    Vector center;
    double radius2;
};

int hitSphere(const SphereShape& s, const Ray* ray, Hit* hit) {
    const Vector l = s.center - ray->origin;
    const double b = dot(l, ray->direction);
    const double l2 = dot(l, l);
    const double disc = b * b - l2 + s.radius2;
    if (!(disc >= 0.0)) return 0;  // also refuses NaN

    const double root = std::sqrt(disc);
    double t = b - root;
    if (t < 0.001) t = b + root;
    if (!(t >= 0.001)) return 0;

    hit->distance = t;
    hit->entering = l2 > s.radius2 + 0.001 ? 1 : 0;  // the ray starts outside
    return 1;
}

SphereShape shapeOf(const Object* obj) { return {obj->sphere.center, obj->sphere.radius2}; }

using SphereKind = CompactKind<SphereShape, shapeOf, hitSphere>;

}  // namespace

const ShapeForm sphereShape = SphereKind::form;

int sphereIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    return SphereKind::intersect(obj, ray, hit);
}

Vector sphereNormal(const Object* obj, Vector point) {
    Vector n = point - obj->sphere.center;
    VecNorm(&n);
    return n;
}

void spherePrint(const Object* obj) {
    const SphereData& s = obj->sphere;
    consolePrint("Sphere: Cx = %g, Cy = %g, Cz = %g, R = %g\n", s.center.x, s.center.y, s.center.z, s.radius);
}
