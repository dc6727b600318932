#include "shading/trace.h"

#include "objects/hierarchy/intersec.h"
#include "shading/shade.h"

namespace {

constexpr double farAway = 1e10;
constexpr int deepestLevel = 5;

// The point hit and the normal there, turned towards the ray's origin.
void surfacePoint(const Ray* ray, const Hit& hit, Vector* point, Vector* normal) {
    *point = ray->origin + hit.distance * ray->direction;
    *normal = hit.object->normalFn(hit.object, *point);
    if (dot(*normal, ray->direction) > 0) *normal = -*normal;
}

// trace once the nearest hit is known (found 0: nothing is hit).
double traceFound(const Ray* ray, int found, const Hit& hit, Color* color, int* level,
                  const ShadowAnswers& answers) {
    if (!found) {
        *color = myHaze.factor > 0 ? myHaze.color : myBackGroundColor;
        return farAway;
    }
    Vector point;
    Vector normal;
    surfacePoint(ray, hit, &point, &normal);
    shade(hit.object, ray, normal, point, color, level, &hit, answers);
    if (color->red > 1.0) color->red = 1.0;
    if (color->green > 1.0) color->green = 1.0;
    if (color->blue > 1.0) color->blue = 1.0;
    return hit.distance;
}

}  // namespace

double trace(const Ray* ray, Color* color, int* level) {
    ++tracedRays;
    *color = {0.0, 0.0, 0.0};
    if (*level > deepestLevel) return 0.0;
    Hit hit;
    const int found = myObjectList && intersect(ray, farAway, &hit, nullptr);
    return traceFound(ray, found, hit, color, level, {});
}

void prepareRays(PreparedRay rays[], int count) {
    if (!myObjectList) {
        for (int k = 0; k < count; ++k) rays[k].found = 0;
        return;
    }
    const Ray* primary[preparedBatch] = {};
    Hit hits[preparedBatch];
    int found[preparedBatch];
    for (int k = 0; k < count; ++k) primary[k] = &rays[k].ray;
    intersectPacket(primary, count, farAway, hits, found);

    // The shadow queries of every hit, then light by light those of the rays that ask it: the
    // shadow rays of neighbouring hits towards one light mostly meet the same blockers, which the
    // shadow query tries first.
    ShadowQuery queries[preparedBatch][answeredLights];
    int queryCount[preparedBatch] = {};
    uint32_t lights = 0;  // the lights that some ray asks
    for (int k = 0; k < count; ++k) {
        PreparedRay& r = rays[k];
        r.found = found[k];
        r.shadows = {};
        if (!r.found) continue;
        r.hit = hits[k];
        Vector point;
        Vector normal;
        surfacePoint(&r.ray, r.hit, &point, &normal);
        queryCount[k] = shadowQueries(r.hit.object, &r.ray, normal, point, queries[k]);
        for (int q = 0; q < queryCount[k]; ++q) lights |= 1u << queries[k][q].light;
    }
    int next[preparedBatch] = {};  // each ray's queries come in light order
    for (; lights; lights &= lights - 1) {
        const int light = __builtin_ctz(lights);
        for (int k = 0; k < count; ++k) {
            if (next[k] == queryCount[k] || queries[k][next[k]].light != light) continue;
            const ShadowQuery& q = queries[k][next[k]++];
            ShadowAnswers& answers = rays[k].shadows;
            answers.asked |= 1u << light;
            if (intersectAny(&q.ray, q.distance, rays[k].hit.object)) answers.blocked |= 1u << light;
        }
    }
}

double tracePrepared(const PreparedRay& prepared, Color* color, int* level) {
    ++tracedRays;  // it stands for a call of trace
    *color = {0.0, 0.0, 0.0};
    if (*level > deepestLevel) return 0.0;
    return traceFound(&prepared.ray, prepared.found, prepared.hit, color, level, prepared.shadows);
}
