// The one record type of the scene: primitives, bounding nodes and lights are all `Object`s.
// Each primitive kind's constructor stores its three operations (intersection, normal, print) in
// the record; callers always go through them and never look at the kind code (the traversal
// alone tells bounding nodes apart).
#pragma once

#include <cstddef>
#include <cstdint>

#include "math/vector.h"
#include "objects/surface_record.h"

struct Object;

struct Ray {
    Vector origin;
    Vector direction;  // unit length for every ray the renderer casts
};

struct Hit {
    double distance;       // ray parameter of the hit point
    int32_t entering;      // 1 when the ray arrives from outside the object
    const Object* object;  // the object hit
};

// Operations of a primitive. The ray's direction is a unit vector; an intersection returns 1
// and fills the hit, or 0 (the hit is then undefined). The normal is taken at a point of the
// surface and is not turned towards the ray.
using IntersectFn = int (*)(const Object* obj, const Ray* ray, Hit* hit);
using NormalFn = Vector (*)(const Object* obj, Vector point);
using PrintFn = void (*)(const Object* obj);

struct QueryTree;

// The children of a bounding node. It is the node's own per-kind data: `children` points into
// the node's record.
struct ChildList {
    int32_t count;         // 2 up to `bunching`
    Object* first;         // the children, chained through their `next`
    QueryTree* queryTree;  // the top node's second hierarchy (objects/hierarchy/query_tree.h), which the
                           // hierarchy module makes and frees; null elsewhere
};

inline constexpr int32_t kindLight = 1;
inline constexpr int32_t kindNode = 2;
inline constexpr int32_t kindSphere = 3;
inline constexpr int32_t kindPlane = 4;
inline constexpr int32_t kindRing = 5;  // rings and discs
inline constexpr int32_t kindTriangle = 6;
inline constexpr int32_t kindPolygon = 7;
inline constexpr int32_t kindCone = 8;  // cones and cylinders
inline constexpr int32_t kindPatch = 9;

struct SphereData {
    Vector center;
    double radius;
    double radius2;
};

struct ConeData {
    Vector base;
    double baseRadius;
    double d;  // -(axis . base): the plane through the base
    Vector cap;
    double capRadius;
    Vector axisU;  // axisU, axisV, axis: unit, mutually perpendicular
    Vector axisV;
    Vector axis;  // from base towards cap
    double length;
    double slope;  // change of radius per unit of height
    double heightMin;
    double heightMax;
};

struct PlaneData {
    Vector normal;  // unit; rays travelling along it hit the plane
    double d;       // normal . P + d = 0 on the plane
};

struct RingData {
    Vector center;
    Vector normal;
    double d;
    double innerRadius2;
    double outerRadius2;
};

struct TriangleData {
    Vector* vertices;  // the three corners: `corner`, in the record itself
    Vector normal;
    double d;
    int axisU;  // the two coordinates kept in the 2-D inside test, axisU < axisV
    int axisV;
    Vector corner[3];
};

struct PolygonData {
    Vector* vertices;  // vertexCount corners, owned by the record (in the scene's storage with it)
    Vector normal;
    int vertexCount;
    double d;
    int axisU;
    int axisV;
};

struct PatchData {
    Vector vertex[3];
    Vector vertexNormal[3];  // unit, turned to the side of the face normal
    double toLocal[3][3];    // rows r0, r1, r2: barycentric u = r0 . q, v = r1 . q; r2 = face normal
};

struct LightData {
    Vector position;
    Vector direction;     // unit, from the position towards the target (spot lights)
    int lightType;        // 0 point, 1 spot
    int shadowType;       // 0 sharp, 1 smooth
    int attenuationType;  // 0 none, 1 1/d, 2 1/d^2
    int samples;          // shadow rays of a smooth light
    double radius;        // radius of a smooth light
    double cosMinAngle;   // cosine of half the inner cone angle
    double cosMaxAngle;   // cosine of half the outer cone angle
};

struct Object {
    Object* next;
    int32_t kind;
    IntersectFn intersectFn;
    NormalFn normalFn;
    PrintFn printFn;
    ChildList* children;  // bounding nodes only: their own childList
    Surface surface;      // a light keeps its colour in surface.color
    double boundMin[3];
    double boundMax[3];
    union {
        SphereData sphere;
        ConeData cone;
        PlaneData plane;
        RingData ring;
        TriangleData triangle;
        PolygonData polygon;
        PatchData patch;
        LightData light;
        ChildList childList;
    };
};

using Light = Object;

// The scene's objects, newest first; after the hierarchy build, the top of the tree.
extern Object* myObjectList;
// The lights, newest first (shading/light.h).
extern Object* myLightList;
// Records made by the primitive constructors and the hierarchy build.
extern long nPrims;

// Every record, and whatever a record owns (a polygon's corners), comes from the scene's storage:
// large blocks handed out front to back, zero-filled, released together once myObjectList and
// myLightList are both empty (by freeList). A record stays valid until then, also after it left
// its list.
//
// A zero-filled record, or null when memory is short.
Object* allocateObject();
// count zero-filled records side by side, or null when memory is short.
Object* allocateObjects(size_t count);
// Zero-filled memory aligned for any part of a record, or null when memory is short.
void* allocateSceneStorage(size_t bytes);
// What every primitive constructor does first: a record with its kind and its operations (null
// when memory is short)...
Object* newPrimitive(int32_t kind, IntersectFn intersectFn, NormalFn normalFn, PrintFn printFn);
// ...and last, once its fields and extents are filled: it goes to the front of myObjectList and
// counts in nPrims. Returns obj.
Object* addPrimitive(Object* obj);

// While one lives, a thread of its own makes the scene's storage ready a stretch ahead of what is
// handed out, so that the system clears the pages of a large scene's records beside the thread
// that fills them (the parser) rather than in its way. Nothing it does shows in the records; on a
// single processor, or where no thread can be started, it does nothing.
class StorageAhead {
public:
    StorageAhead();
    ~StorageAhead();
    StorageAhead(const StorageAhead&) = delete;
    StorageAhead& operator=(const StorageAhead&) = delete;
};

void addToList(Object** list, Object* obj);
// Takes the records off the list (not their children), returns how many. The scene's storage goes
// back to the system when this empties the last of myObjectList and myLightList.
int freeList(Object** list);
// Calls each record's print operation (records without one print nothing), returns the count.
int printList(const Object* first);
