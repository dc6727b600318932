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

int triangleIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    const TriangleData& t = obj->triangle;
    return outlineIntersect(obj, ray, hit, t.vertices, 3, t.normal, t.d, t.axisU, t.axisV);
}

Vector triangleNormal(const Object* obj, Vector) { return obj->triangle.normal; }

void trianglePrint(const Object*) { consolePrint("triangle\n"); }
