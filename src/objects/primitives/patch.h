// Patches: smooth triangles shaded with the corner normals interpolated by the barycentric
// weights of the hit point.
#pragma once

#include "objects/data.h"
#include "objects/primitives/shape.h"

// data: V0, N0, V1, N1, V2, N2. The values are copied; checkPatch may negate normals in data.
Object* makePatch(Vector* data);
// Turns each corner normal of data to the side of the face normal, in place.
void checkPatch(Vector* data);
// out = the transpose of the inverse of in (cofactors over the determinant).
void invertMatrix(const double in[3][3], double out[3][3]);
int patchIntersect(const Object* obj, const Ray* ray, Hit* hit);
// The compact form of its intersection (objects/primitives/shape.h).
extern const ShapeForm patchShape;
// The unit interpolated normal at a point of the face. The weights are taken again from the
// point the caller computes from the hit (origin + distance * direction), which gives the very
// values the intersection saw: the record holds no per-hit state and threads share it safely.
Vector patchNormal(const Object* obj, Vector point);
void patchPrint(const Object* obj);
