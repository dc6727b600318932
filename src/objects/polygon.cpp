#include "objects/polygon.h"

#include <cstdio>
#include <cstdlib>

#include "objects/outline.h"

namespace {

void releasePolygon(Object* obj) { std::free(obj->polygon.vertices); }

}  // namespace

Object* makePolygon(Vector* vertices, int count) {
    Object* obj = allocateObject();
    if (!obj) return nullptr;
    obj->kind = kindPolygon;
    obj->intersectFn = polygonIntersect;
    obj->normalFn = polygonNormal;
    obj->printFn = polygonPrint;
    obj->releaseFn = releasePolygon;

    PolygonData& p = obj->polygon;
    p.vertices = vertices;
    p.vertexCount = count;
    p.normal = cornerNormal(vertices);
    projectionAxes(p.normal, &p.axisU, &p.axisV);
    p.d = -dot(p.normal, vertices[0]);
    cornerExtents(obj, vertices, count, 0.0);

    addToList(&myObjectList, obj);
    ++nPrims;
    return obj;
}

int polygonIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    const PolygonData& p = obj->polygon;
    return outlineIntersect(obj, ray, hit, p.vertices, p.vertexCount, p.normal, p.d, p.axisU, p.axisV);
}

Vector polygonNormal(const Object* obj, Vector) { return obj->polygon.normal; }

void polygonPrint(const Object*) { printf("polygon\n"); }
