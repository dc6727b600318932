#include "objects/primitives/patch.h"

#include <cmath>
#include <cstdio>
#include <cstring>

#include "base/console.h"
#include "objects/primitives/outline.h"

namespace {

Vector row(const double m[3][3], int i) { return {m[i][0], m[i][1], m[i][2]}; }

}  // namespace

void checkPatch(Vector* data) {
    const Vector face = cross(data[0] - data[2], data[0] - data[4]);
    for (int k = 1; k < 6; k += 2) {
        if (dot(face, data[k]) <= 0.0) data[k] = -data[k];
    }
}

void invertMatrix(const double in[3][3], double out[3][3]) {
    for (int i = 0; i < 3; ++i) {
        const int r0 = i == 0 ? 1 : 0;  // the two rows left when row i is removed
        const int r1 = i == 2 ? 1 : 2;
        for (int j = 0; j < 3; ++j) {
            const int c0 = j == 0 ? 1 : 0;
            const int c1 = j == 2 ? 1 : 2;
            const double minor = in[r0][c0] * in[r1][c1] - in[r0][c1] * in[r1][c0];
            out[i][j] = (i + j) % 2 == 0 ? minor : -minor;
        }
    }
    const double det = in[0][0] * in[1][1] * in[2][2] + in[0][1] * in[1][2] * in[2][0] +
                       in[0][2] * in[1][0] * in[2][1] - in[0][2] * in[1][1] * in[2][0] -
                       in[0][0] * in[1][2] * in[2][1] - in[0][1] * in[1][0] * in[2][2];
    const double scale = 1.0 / det;
    for (int i = 0; i < 3; ++i) {
        for (int j = 0; j < 3; ++j) out[i][j] *= scale;
    }
}

Object* makePatch(Vector* data) {
    checkPatch(data);
    Object* obj = newPrimitive(kindPatch, patchIntersect, patchNormal, patchPrint);
    if (!obj) return nullptr;

    PatchData& p = obj->patch;
    for (int k = 0; k < 3; ++k) {
        p.vertex[k] = data[2 * k];
        p.vertexNormal[k] = data[2 * k + 1];
        VecNorm(&p.vertexNormal[k]);
    }
    const Vector e1 = p.vertex[1] - p.vertex[0];
    const Vector e2 = p.vertex[2] - p.vertex[0];
    Vector n = cross(e1, e2);
    VecNorm(&n);
    const double edges[3][3] = {{e1.x, e1.y, e1.z}, {e2.x, e2.y, e2.z}, {n.x, n.y, n.z}};
    invertMatrix(edges, p.toLocal);

    cornerExtents(obj, p.vertex, 3, 0.001);

    return addPrimitive(obj);
}

namespace {

// What the intersection reads.
struct PatchShape {
    Vector vertex0;
    double toLocal[3][3];
};

int hitPatch(const PatchShape& p, const Ray* ray, Hit* hit) {
    hit->entering = 0;
    const Vector n = row(p.toLocal, 2);
    const double vd = dot(ray->direction, n);
    if (!(std::fabs(vd) >= 0.001)) return 0;  // either side; a degenerate patch never hits
    const double t = dot(p.vertex0 - ray->origin, n) / vd;
    if (!(t >= 0.001)) return 0;
    // patchNormal recomputes the weights from origin + t * direction: keep this arithmetic in step.
    const Vector q = (ray->origin + t * ray->direction) - p.vertex0;
    const double u = dot(row(p.toLocal, 0), q);
    const double v = dot(row(p.toLocal, 1), q);
    if (!(u >= 0.0 && v >= 0.0 && u + v <= 1.0)) return 0;  // the edges belong to the patch
    hit->distance = t;
    hit->entering = 1;
    return 1;
}

PatchShape shapeOf(const Object* obj) {
    PatchShape p{obj->patch.vertex[0], {}};
    std::memcpy(p.toLocal, obj->patch.toLocal, sizeof p.toLocal);
    return p;
}

using PatchKind = CompactKind<PatchShape, shapeOf, hitPatch>;

}  // namespace

const ShapeForm patchShape = PatchKind::form;

int patchIntersect(const Object* obj, const Ray* ray, Hit* hit) {
    return PatchKind::intersect(obj, ray, hit);
}

Vector patchNormal(const Object* obj, Vector point) {
    const PatchData& p = obj->patch;
    const Vector q = point - p.vertex[0];
    const double u = dot(row(p.toLocal, 0), q);
    const double v = dot(row(p.toLocal, 1), q);
    const double w = 1.0 - u - v;
    Vector n = w * p.vertexNormal[0] + u * p.vertexNormal[1] + v * p.vertexNormal[2];
    VecNorm(&n);
    return n;
}

void patchPrint(const Object*) { consolePrint("patch\n"); }
