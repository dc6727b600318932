// What the flat figures with corners share (triangles, polygons, and patches for their extents):
// the plane of the first three corners, the 2-D projection that drops the coordinate in which the
// normal is largest, and the inside test that counts the edges crossed on the low-u side.
#pragma once

#include <cmath>
#include <limits>

#include "objects/data.h"
#include "objects/hierarchy/slab_directions.h"

// Unit normal (V0 - V1) x (V2 - V1); non-finite when the first three corners are on one line.
inline Vector cornerNormal(const Vector* v) {
    Vector n = cross(v[0] - v[1], v[2] - v[1]);
    VecNorm(&n);
    return n;
}

// The two coordinates kept, axisU < axisV: x is dropped on ties, then y.
inline void projectionAxes(Vector n, int* axisU, int* axisV) {
    const double ax = std::fabs(n.x);
    const double ay = std::fabs(n.y);
    const double az = std::fabs(n.z);
    if (ax >= ay && ax >= az) {
        *axisU = 1;
        *axisV = 2;
    } else if (ay >= az) {
        *axisU = 0;
        *axisV = 2;
    } else {
        *axisU = 0;
        *axisV = 1;
    }
}

// The span of the corners along each slab direction, widened by margin on both sides.
inline void cornerExtents(Object* obj, const Vector* v, int count, double margin) {
    for (int i = 0; i < 3; ++i) {
        double lo = std::numeric_limits<double>::infinity();
        double hi = -lo;
        for (int k = 0; k < count; ++k) {
            const double s = dot(Slab[i], v[k]);
            if (s < lo) lo = s;
            if (s > hi) hi = s;
        }
        obj->boundMin[i] = lo - margin;
        obj->boundMax[i] = hi + margin;
    }
}

// Odd number of crossings: (pu, pv) lies inside the projected outline of count corners, corner k
// at (u(k), v(k)). An edge counts when it straddles the line v = pv (half-open, so a corner at
// that height is counted once or not at all, as its neighbours demand) and meets it on the low-u
// side of the point.
template <class U, class V>
inline bool outlineContains(U u, V v, int count, double pu, double pv) {
    bool inside = false;
    double ui = u(count - 1);
    double vi = v(count - 1);
    for (int k = 0; k < count; ++k) {  // edge from the previous corner to corner k
        const double uj = u(k);
        const double vj = v(k);
        if ((vi < pv) != (vj < pv)) {
            if (ui < pu && uj < pu) {
                inside = !inside;
            } else if (ui < pu || uj < pu) {
                const double m = (vj - vi) / (uj - ui);
                const double x = (uj - pu) - (vj - pv) / m;  // u distance from the point to the crossing
                if (x < 0.001) inside = !inside;
            }
        }
        ui = uj;
        vi = vj;
    }
    return inside;
}

// The intersection of a flat figure seen from both sides, its corners projected as for
// outlineContains: the hit's distance and entering, the object left to the caller.
template <class U, class V>
inline int outlineHit(const Ray* ray, Hit* hit, U u, V v, int count, Vector normal, double d, int axisU,
                      int axisV) {
    hit->entering = 0;
    const double vd = dot(normal, ray->direction);
    if (!(std::fabs(vd) >= 0.001)) return 0;  // along the plane (or no plane at all)
    const double t = -(dot(normal, ray->origin) + d) / vd;
    if (!(t >= 0.001)) return 0;
    const Vector p = ray->origin + t * ray->direction;
    if (!outlineContains(u, v, count, component(p, axisU), component(p, axisV))) return 0;
    hit->distance = t;
    hit->entering = 1;
    return 1;
}

// The same, the corners as given.
inline int outlineIntersect(const Object* obj, const Ray* ray, Hit* hit, const Vector* v, int count,
                            Vector normal, double d, int axisU, int axisV) {
    auto u = [&](int k) { return component(v[k], axisU); };
    auto w = [&](int k) { return component(v[k], axisV); };
    if (!outlineHit(ray, hit, u, w, count, normal, d, axisU, axisV)) return 0;
    hit->object = obj;
    return 1;
}
