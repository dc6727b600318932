#include "objects/triangle.h"

#include <cstdio>
#include <cstdlib>

#include "objects/outline.h"

namespace {

void releaseTriangle(Object* obj) { std::free(obj->triangle.vertices); }

}  // namespace

Object* makeTriangle(Vector* vertices) {
    Object* obj = allocateObject();
    if (!obj) return nullptr;
    obj->kind = kindTriangle;
    obj->intersectFn = triangleIntersect;
    obj->normalFn = triangleNormal;
    obj->printFn = trianglePrint;
    obj->releaseFn = releaseTriangle;

    TriangleData& t = obj->triangle;
    t.vertices = vertices;
    t.normal = cornerNormal(vertices);
    projectionAxes(t.normal, &t.axisU, &t.axisV);
    t.d = -dot(t.normal, vertices[0]);
    cornerExtents(obj, vertices, 3, 0.001);

    addToList(&myObjectList, obj);
    ++nPrims;
    return obj;
}

int triangleIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    const TriangleData& t = obj->triangle;
    return outlineIntersect(obj, ray, hit, t.vertices, 3, t.normal, t.d, t.axisU, t.axisV);
}

Vector triangleNormal(const Object* obj, Vector) { return obj->triangle.normal; }

void trianglePrint(const Object*) { printf("triangle\n"); }
