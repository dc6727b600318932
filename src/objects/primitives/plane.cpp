#include "objects/primitives/plane.h"
#include "base/console.h"

#include <cstdio>

Object* makePlane(Vector normal, double distance) {
    Object* obj = newPrimitive(kindPlane, planeIntersect, planeNormal, planePrint);
    if (!obj) return nullptr;

    obj->plane.normal = normal;
    obj->plane.d = -distance;
    VecNorm(&obj->plane.normal);  // the constant keeps the distance as given

    for (int i = 0; i < 3; ++i) {
        obj->boundMin[i] = -1e10;
        obj->boundMax[i] = 1e10;
    }

    return addPrimitive(obj);
}

namespace {

// What the intersection reads.
struct PlaneShape {
    Vector normal;
    double d;
};

int hitPlane(const PlaneShape& p, const Ray* ray, Hit* hit) {
    hit->entering = 0;
    // One-sided: only rays travelling along the normal see the plane.
    const double vd = dot(p.normal, ray->direction);
    if (!(vd >= 0.001)) return 0;
    const double t = -(dot(p.normal, ray->origin) + p.d) / vd;
    if (!(t >= 0.0)) return 0;
    hit->distance = t;
    hit->entering = 1;
    return 1;
}

PlaneShape shapeOf(const Object* obj) { return {obj->plane.normal, obj->plane.d}; }

using PlaneKind = CompactKind<PlaneShape, shapeOf, hitPlane>;

}  // namespace

const ShapeForm planeShape = PlaneKind::form;

int planeIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    return PlaneKind::intersect(obj, ray, hit);
}

Vector planeNormal(const Object* obj, Vector) { return obj->plane.normal; }

void planePrint(const Object* obj) {
    const PlaneData& p = obj->plane;
    consolePrint("Plane: Nx = %g, Ny = %g, Nz = %g, D = %g\n", p.normal.x, p.normal.y, p.normal.z, p.d);
}
