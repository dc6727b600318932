#include "scene/object_blocks.h"

#include <cstddef>
#include <cstdlib>
#include <memory>
#include <utility>

#include "base/memory.h"
#include "objects/primitives/cone.h"
#include "objects/primitives/patch.h"
#include "objects/primitives/plane.h"
#include "objects/primitives/polygon.h"
#include "objects/primitives/ring.h"
#include "objects/primitives/sphere.h"
#include "objects/primitives/triangle.h"
#include "scene/lexer.h"
#include "scene/parse_state.h"

namespace {

// A vertex array the block owns until a constructor takes it.
using VertexArray = FreeBuffer<Vector[]>;

VertexArray allocateVertices(int count) {
    VertexArray vertices(static_cast<Vector*>(std::malloc(static_cast<std::size_t>(count) * sizeof(Vector))));
    if (!vertices) memoryShort();
    return vertices;
}

// Room for vertex number `used` + 1 of at most `limit`. The array grows by doubling as vertices
// arrive, so a count the file does not back with vertices costs no memory.
void makeRoom(VertexArray& vertices, int* capacity, int used, int limit) {
    if (used < *capacity) return;
    const int grown = used > limit / 2 ? limit : 2 * used;
    const std::size_t bytes = static_cast<std::size_t>(grown) * sizeof(Vector);
    auto* bigger = static_cast<Vector*>(std::realloc(vertices.get(), bytes));
    if (!bigger) memoryShort();
    static_cast<void>(vertices.release());
    vertices.reset(bigger);
    *capacity = grown;
}

// The new object takes the current surface and counts in the statistics.
void finishObject(Object* made, int& counter) {
    if (!made) memoryShort();
    object = made;
    const Surface& current = *surface;
    setSurfaceAttrib(made, current.color, current.ambient, current.diffuse, current.brilliance,
                     current.specular, current.roughness, current.reflection, current.refraction,
                     current.refractionIndex, current.reflectionType, current.reflectionSamples,
                     current.reflectionRadius);
    ++counter;
}

Vector readVector(FILE* file) {
    Lire_Vecteur(file);
    return vect_tmp;
}

double readDecimal(FILE* file) {
    Lire_Decimal(file);
    return val_DBL;
}

}  // namespace

void yy_sphere(FILE* file) {
    Vector center{};
    double radius = 0.0;
    short centers = 0;
    short radii = 0;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwCenter:
                center = readVector(file);
                ++centers;
                break;
            case kwRadius:
                radius = readDecimal(file);
                if (radius <= 0.0) yyerror(" sphere radius must be greater than 0");
                ++radii;
                break;
            default: yyerror(" Unkown parameter in sphere structure");
        }
    }
    if (centers != 1 || radii != 1) yyerror(" error in sphere structure declaration");
    finishObject(makeSphere(center, radius), iNumSphere);
}

void yy_cylindre(FILE* file) {
    Vector base{};
    Vector cap{};
    double radius = 0.0;
    short bases = 0;
    short caps = 0;
    short radii = 0;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwBase:
                base = readVector(file);
                ++bases;
                break;
            case kwCap:
                cap = readVector(file);
                ++caps;
                break;
            case kwRadius:
                radius = readDecimal(file);
                ++radii;
                break;
            default: yyerror(" Unkown parameter in cylinder structure");
        }
    }
    if (bases != 1 || caps != 1 || radii != 1) yyerror(" error in cylinder structure declaration");
    if (radius <= 0.0) yyerror(" radius cannot be null or negative");
    finishObject(makeCone(base, radius, cap, radius), iNumCylinder);
}

void yy_cone(FILE* file) {
    Vector base{};
    Vector cap{};
    double baseRadius = 0.0;
    double capRadius = 0.0;
    short bases = 0;
    short caps = 0;
    short baseRadii = 0;
    short capRadii = 0;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwBase:
                base = readVector(file);
                ++bases;
                break;
            case kwCap:
                cap = readVector(file);
                ++caps;
                break;
            case kwBaseRadius:
                baseRadius = readDecimal(file);
                ++baseRadii;
                break;
            case kwCapRadius:
                capRadius = readDecimal(file);
                ++capRadii;
                break;
            default: yyerror(" Unkown parameter in cone structure");
        }
    }
    if (bases != 1 || caps != 1 || baseRadii != 1 || capRadii != 1) yyerror(" Error in cone structure");
    if (baseRadius == 0.0 && capRadius == 0.0) yyerror(" base radius and cap radius cannot be both null");
    if (baseRadius < 0.0 || capRadius < 0.0) yyerror(" base radius or cap radius cannot be negative");
    finishObject(makeCone(base, baseRadius, cap, capRadius), iNumCone);
}

void yy_plane(FILE* file) {
    Vector normal{};
    double distance = 0.0;
    short normals = 0;
    short distances = 0;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwNormal:
                normal = readVector(file);
                ++normals;
                break;
            case kwDistance:
                distance = readDecimal(file);
                ++distances;
                break;
            default: yyerror(" Unkown parameter in plane structure");
        }
    }
    if (normals != 1 || distances != 1) yyerror(" error in plane structure declaration");
    if (isZero(normal)) yyerror(" plane normal cannot be <0 0 0>");
    finishObject(makePlane(-normal, -distance), iNumPlane);
}

void yy_disc(FILE* file) {
    Vector center{};
    Vector normal{};
    double radius = 0.0;
    short centers = 0;
    short normals = 0;
    short radii = 0;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwCenter:
                center = readVector(file);
                ++centers;
                break;
            case kwNormal:
                normal = readVector(file);
                ++normals;
                break;
            case kwRadius:
                radius = readDecimal(file);
                ++radii;
                break;
            default: yyerror(" Unkown parameter in disc structure");
        }
    }
    if (centers != 1 || normals != 1 || radii != 1) yyerror(" missing parameter(s) in disc structure");
    if (radius <= 0.0) yyerror(" radius cannot be null or negative");
    if (isZero(normal)) yyerror(" disc normal cannot be <0 0 0>");
    finishObject(makeRing(center, normal, 0.0, radius), iNumDisc);
}

void yy_ring(FILE* file) {
    Vector center{};
    Vector normal{};
    double internalRadius = 0.0;
    double externalRadius = 0.0;
    short centers = 0;
    short normals = 0;
    short internalRadii = 0;
    short externalRadii = 0;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwCenter:
                center = readVector(file);
                ++centers;
                break;
            case kwNormal:
                normal = readVector(file);
                ++normals;
                break;
            case kwInternalRadius:
                internalRadius = readDecimal(file);
                ++internalRadii;
                break;
            case kwExternalRadius:
                externalRadius = readDecimal(file);
                ++externalRadii;
                break;
            default: yyerror(" Unkown parameter in ring structure");
        }
    }
    if (centers != 1 || normals != 1 || internalRadii != 1 || externalRadii != 1) {
        yyerror(" missing parameter(s) in disc structure");
    }
    if (internalRadius <= 0.0 || externalRadius <= 0.0) {
        yyerror(" external and internal radius cannot be null or negative");
    }
    if (internalRadius == externalRadius) yyerror(" both radius are equal");
    if (internalRadius > externalRadius) std::swap(internalRadius, externalRadius);
    if (isZero(normal)) yyerror(" ring normal cannot be <0 0 0>");
    finishObject(makeRing(center, normal, internalRadius, externalRadius), iNumRing);
}

void yy_triangle(FILE* file) {
    VertexArray vertices = allocateVertices(3);
    int count = 0;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        if (token != kwVertex) yyerror(" Unkown parameter in triangle structure");
        if (count == 3) yyerror(" Too many vertices in triangle structure");
        vertices[count++] = readVector(file);
    }
    if (count < 3) yyerror(" Too few vertices in triangle structure");
    Object* made = makeTriangle(vertices.get());
    if (made) vertices.release();  // the triangle owns its corners now
    finishObject(made, iNumTriangle);
}

void yy_polygon(FILE* file) {
    expectOpeningBrace(file);
    Lire_Entier(file);
    const int vertexCount = val_INT;
    if (vertexCount <= 3) yyerror(" valid number of vertices expected");
    int capacity = vertexCount < 16 ? vertexCount : 16;
    VertexArray vertices = allocateVertices(capacity);
    int count = 0;
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        if (token != kwVertex) yyerror(" Unkown parameter in polygon structure");
        if (count == vertexCount) yyerror(" Too many vertices in polygon structure");
        makeRoom(vertices, &capacity, count, vertexCount);
        vertices[count++] = readVector(file);
    }
    if (count < vertexCount) yyerror(" Too few vertices in polygon structure");
    Object* made = makePolygon(vertices.get(), vertexCount);
    if (made) vertices.release();  // the polygon owns its corners now
    finishObject(made, iNumPolygone);
}

void yy_patch(FILE* file) {
    // Vertex i goes to slot 2i, its normal to slot 2i + 1, whatever order the file gives them in.
    VertexArray data = allocateVertices(6);
    int vertexCount = 0;
    int normalCount = 0;
    expectOpeningBrace(file);
    for (int token = Lire_MotCle(file); token != tokCloseBrace; token = Lire_MotCle(file)) {
        switch (token) {
            case kwVertex:
                if (vertexCount == 3) yyerror(" Too many vertices in patch structure");
                data[2 * vertexCount++] = readVector(file);
                break;
            case kwNormal:
                if (normalCount == 3) yyerror(" Too many normals in patch structure");
                data[2 * normalCount++ + 1] = readVector(file);
                break;
            default: yyerror(" Unkown parameter in patch structure");
        }
    }
    if (vertexCount < 3) yyerror(" Too few vertices in patch structure");
    if (normalCount < 3) yyerror(" Too few normals in patch structure");
    finishObject(makePatch(data.get()), iNumPatch);  // the patch keeps copies
}
