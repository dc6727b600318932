#include "objects/primitives/shape.h"

#include <cstring>

#include "objects/primitives/patch.h"
#include "objects/primitives/plane.h"
#include "objects/primitives/ring.h"
#include "objects/primitives/sphere.h"
#include "objects/primitives/triangle.h"

namespace {

// A kind without a compact form: the shape holds the record, whose own intersection answers.
int recordTest(const void* shape, const Ray* ray, Hit* hit) {
    const Object* obj;
    std::memcpy(&obj, shape, sizeof obj);
    return obj->intersectFn(obj, ray, hit);
}

void recordCopy(const Object* obj, void* shape) { std::memcpy(shape, &obj, sizeof obj); }

}  // namespace

ShapeForm shapeForm(const Object* obj) {
    const struct {
        IntersectFn intersect;
        const ShapeForm& form;
    } compact[] = {{sphereIntersect, sphereShape},
                   {planeIntersect, planeShape},
                   {ringIntersect, ringShape},
                   {triangleIntersect, triangleShape},
                   {patchIntersect, patchShape}};
    for (const auto& kind : compact) {
        if (obj->intersectFn == kind.intersect) return kind.form;
    }
    return {recordTest, recordCopy};
}
