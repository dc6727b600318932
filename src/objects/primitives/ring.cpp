#include "objects/primitives/ring.h"

#include <cmath>
#include <cstdio>

#include "base/console.h"
#include "objects/hierarchy/slab_directions.h"

Object* makeRing(Vector center, Vector normal, double innerRadius, double outerRadius) {
    Object* obj = newPrimitive(kindRing, ringIntersect, ringNormal, ringPrint);
    if (!obj) return nullptr;

    RingData& r = obj->ring;
    r.center = center;
    // The extents and the shading presume a unit normal. A zero normal becomes non-finite here,
    // and such a ring is simply never hit.
    r.normal = normal;
    VecNorm(&r.normal);
    r.innerRadius2 = innerRadius * innerRadius;
    r.outerRadius2 = outerRadius * outerRadius;
    r.d = -dot(center, r.normal);

    for (int i = 0; i < 3; ++i) {
        const double cosine = dot(Slab[i], r.normal);
        const double e = std::sqrt(1.0 - cosine * cosine);
        obj->boundMin[i] = component(center, i) - outerRadius * e;
        obj->boundMax[i] = component(center, i) + outerRadius * e;
    }

    return addPrimitive(obj);
}

namespace {

// What the intersection reads.
struct RingShape {
    Vector center;
    Vector normal;
    double d;
    double innerRadius2;
    double outerRadius2;
};

int hitRing(const RingShape& r, const Ray* ray, Hit* hit) {
    hit->entering = 0;
    const double vd = dot(r.normal, ray->direction);
    if (vd == 0.0) return 0;  // either sign: the ring is seen from both sides
    const double t = -(dot(r.normal, ray->origin) + r.d) / vd;
    if (!(t >= 0.001)) return 0;
    const Vector offset = ray->origin + t * ray->direction - r.center;
    const double q = dot(offset, offset);
    if (!(q <= r.outerRadius2 && q >= r.innerRadius2)) return 0;  // both circles belong to it
    hit->distance = t;
    hit->entering = 1;
    return 1;
}

RingShape shapeOf(const Object* obj) {
    const RingData& r = obj->ring;
    return {r.center, r.normal, r.d, r.innerRadius2, r.outerRadius2};
}

using RingKind = CompactKind<RingShape, shapeOf, hitRing>;

}  // namespace

const ShapeForm ringShape = RingKind::form;

int ringIntersect(const Object* obj, const Ray* ray, Hit* hit) { return RingKind::intersect(obj, ray, hit); }

Vector ringNormal(const Object* obj, Vector) { return obj->ring.normal; }

void ringPrint(const Object* obj) {
    const RingData& r = obj->ring;
    consolePrint("Ring: Nx = %g, Ny = %g, Nz = %g\n Cx = %g, Cy = %g, Cz = %g\n", r.normal.x, r.normal.y,
                 r.normal.z, r.center.x, r.center.y, r.center.z);
}
