#include "objects/primitives/polygon.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

#include "base/console.h"
#include "objects/primitives/outline.h"

Object* makePolygon(Vector* vertices, int count) {
    Object* obj = newPrimitive(kindPolygon, polygonIntersect, polygonNormal, polygonPrint);
    if (!obj) return nullptr;
    auto* corners = static_cast<Vector*>(allocateSceneStorage(static_cast<size_t>(count) * sizeof(Vector)));
    if (!corners) return nullptr;

    PolygonData& p = obj->polygon;
    std::copy(vertices, vertices + count, corners);
    std::free(vertices);
    p.vertices = corners;
    p.vertexCount = count;
    p.normal = cornerNormal(corners);
    projectionAxes(p.normal, &p.axisU, &p.axisV);
    p.d = -dot(p.normal, corners[0]);
    cornerExtents(obj, corners, count, 0.0);

    return addPrimitive(obj);
}

int polygonIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    const PolygonData& p = obj->polygon;
    return outlineIntersect(obj, ray, hit, p.vertices, p.vertexCount, p.normal, p.d, p.axisU, p.axisV);
}

Vector polygonNormal(const Object* obj, Vector) { return obj->polygon.normal; }

void polygonPrint(const Object*) { consolePrint("polygon\n"); }
