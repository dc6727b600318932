#include "objects/primitives/triangle.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/console.h"
#include "objects/primitives/outline.h"

Object* makeTriangle(Vector* vertices) {
    Object* obj = newPrimitive(kindTriangle, triangleIntersect, triangleNormal, trianglePrint);
    if (!obj) return nullptr;

    TriangleData& t = obj->triangle;
    std::copy(vertices, vertices + 3, t.corner);
    std::free(vertices);
    t.vertices = t.corner;
    t.normal = cornerNormal(t.vertices);
    projectionAxes(t.normal, &t.axisU, &t.axisV);
    t.d = -dot(t.normal, t.vertices[0]);
    cornerExtents(obj, t.vertices, 3, 0.001);

    return addPrimitive(obj);
}

namespace {

// What the intersection reads: the plane, and the corners in the 2-D projection.
struct TriangleShape {
    Vector normal;
    double d;
    int axisU;
    int axisV;
    double u[3];
    double v[3];
};

int hitTriangle(const TriangleShape& t, const Ray* ray, Hit* hit) {
    auto u = [&](int k) { return t.u[k]; };
    auto v = [&](int k) { return t.v[k]; };
    return outlineHit(ray, hit, u, v, 3, t.normal, t.d, t.axisU, t.axisV);
}

TriangleShape shapeOf(const Object* obj) {
    const TriangleData& t = obj->triangle;
    TriangleShape shape{t.normal, t.d, t.axisU, t.axisV, {}, {}};
    for (int k = 0; k < 3; ++k) {
        shape.u[k] = component(t.vertices[k], t.axisU);
        shape.v[k] = component(t.vertices[k], t.axisV);
    }
    return shape;
}

using TriangleKind = CompactKind<TriangleShape, shapeOf, hitTriangle>;

}  // namespace

const ShapeForm triangleShape = TriangleKind::form;

int triangleIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    return TriangleKind::intersect(obj, ray, hit);
}

Vector triangleNormal(const Object* obj, Vector) { return obj->triangle.normal; }

void trianglePrint(const Object*) { consolePrint("triangle\n"); }
