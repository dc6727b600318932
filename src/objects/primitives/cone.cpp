#include "objects/primitives/cone.h"

#include <cmath>
#include <cstdio>
#include <utility>

#include "base/console.h"
#include "objects/hierarchy/slab_directions.h"

namespace {

// The cone's extent along slab i: the two end circles, each spread across the axis by the sine
// of the angle between the axis and that slab direction.
void coneExtents(Object* obj) {
    const ConeData& c = obj->cone;
    for (int i = 0; i < 3; ++i) {
        const double cosine = dot(Slab[i], c.axis);
        const double e = std::sqrt(1.0 - cosine * cosine);
        obj->boundMin[i] = component(c.base, i) - c.baseRadius * e;
        obj->boundMax[i] = component(c.base, i) + c.baseRadius * e;
        const double lo = component(c.cap, i) - c.capRadius * e;
        const double hi = component(c.cap, i) + c.capRadius * e;
        if (lo < obj->boundMin[i]) obj->boundMin[i] = lo;
        if (hi > obj->boundMax[i]) obj->boundMax[i] = hi;
    }
}

bool withinHeight(const ConeData& c, const Ray* ray, double t) {
    const double h = dot(c.axis, ray->origin + t * ray->direction);
    return c.heightMin <= h && h <= c.heightMax;
}

}  // namespace

Object* makeCone(Vector base, double baseRadius, Vector cap, double capRadius) {
    Object* obj = newPrimitive(kindCone, coneIntersect, coneNormal, conePrint);
    if (!obj) return nullptr;

    ConeData& c = obj->cone;
    c.base = base;
    c.baseRadius = baseRadius;
    c.cap = cap;
    c.capRadius = capRadius;
    c.axis = cap - base;
    c.length = length(c.axis);
    VecNorm(&c.axis);
    c.slope = (capRadius - baseRadius) / c.length;
    c.d = -dot(c.axis, base);

    // Any vector off the axis will do to span the plane across it; z unless the axis is close to z.
    Vector reference{0.0, 0.0, 1.0};
    if (1.0 - std::fabs(dot(c.axis, reference)) < 0.001) reference = {0.0, 1.0, 0.0};
    c.axisU = cross(c.axis, reference);
    VecNorm(&c.axisU);
    c.axisV = cross(c.axisU, c.axis);

    c.heightMin = dot(c.axis, base);
    c.heightMax = dot(c.axis, cap);
    if (c.heightMax < c.heightMin) std::swap(c.heightMin, c.heightMax);

    coneExtents(obj);
    return addPrimitive(obj);
}

int coneIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    const ConeData& c = obj->cone;
    const Vector p = ray->origin - c.base;
    const Vector& dir = ray->direction;
    const double pu = dot(p, c.axisU);
    const double pv = dot(p, c.axisV);
    const double pw = dot(p, c.axis);
    const double du = dot(dir, c.axisU);
    const double dv = dot(dir, c.axisV);
    const double dw = dot(dir, c.axis);
    const double r0 = c.baseRadius + c.slope * pw;

    const double a = du * du + dv * dv - c.slope * c.slope * dw * dw;
    const double b = 2.0 * (pu * du + pv * dv - c.slope * dw * r0);
    const double k = pu * pu + pv * pv - r0 * r0;

    double t1;
    double t2;
    if (a == 0.0) {
        // The ray runs parallel to a generating line: one root only.
        t2 = -k / b;
        if (!(t2 >= 0.001)) return 0;
        t1 = -1.0;
    } else {
        const double disc = b * b - 4.0 * a * k;
        if (!(disc >= 0.0)) return 0;
        const double root = std::sqrt(disc);
        t1 = (-b - root) / (2.0 * a);
        t2 = (-b + root) / (2.0 * a);
        if (t2 < t1) std::swap(t1, t2);
    }

    double t;
    if (t1 > 0.001 && withinHeight(c, ray, t1)) {
        t = t1;
    } else if (t2 > 0.001 && withinHeight(c, ray, t2)) {
        t = t2;  // looking into an open cone: its inner wall
    } else {
        return 0;
    }
    hit->distance = t;
    hit->object = obj;
    hit->entering = 0;
    return 1;
}

Vector coneNormal(const Object* obj, Vector point) {
    const ConeData& c = obj->cone;
    const double h = dot(c.axis, point) + c.d;
    const Vector q = point - h * c.axis;  // the point brought down into the base plane
    Vector radial = q - c.base;
    VecNorm(&radial);
    Vector n = radial - c.slope * c.axis;
    VecNorm(&n);
    return n;
}

void conePrint(const Object* obj) {
    const ConeData& c = obj->cone;
    consolePrint("Cone: %g %g %g %g %g %g %g %g\n", c.base.x, c.base.y, c.base.z, c.baseRadius, c.cap.x,
                 c.cap.y, c.cap.z, c.capRadius);
}
