#include "objects/primitives/plane.h"
#include "base/console.h"

#include <cstdio>
#include <cstring>

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

int shapeTest(const void* shape, const Ray* ray, Hit* hit) {
    PlaneShape p;
    std::memcpy(&p, shape, sizeof p);
    return hitPlane(p, ray, hit);
}

void shapeCopy(const Object* obj, void* shape) {
    const PlaneShape p = shapeOf(obj);
    std::memcpy(shape, &p, sizeof p);
}

}  // namespace

const ShapeForm planeShape{shapeTest, shapeCopy};

int planeIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    if (!hitPlane(shapeOf(obj), ray, hit)) return 0;
    hit->object = obj;
    return 1;
}

Vector planeNormal(const Object* obj, Vector) { return obj->plane.normal; }

void planePrint(const Object* obj) {
    const PlaneData& p = obj->plane;
    consolePrint("Plane: Nx = %g, Ny = %g, Nz = %g, D = %g\n", p.normal.x, p.normal.y, p.normal.z, p.d);
}
