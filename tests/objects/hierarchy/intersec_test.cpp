#include "objects/hierarchy/intersec.h"

#include <cmath>
#include <cstdio>
#include <limits>
#include <random>
#include <thread>
#include <vector>

#include "objects/hierarchy/bound.h"
#include "objects/hierarchy/pqueue.h"
#include "objects/primitives/cone.h"
#include "objects/primitives/patch.h"
#include "objects/primitives/plane.h"
#include "objects/primitives/polygon.h"
#include "objects/primitives/ring.h"
#include "objects/primitives/sphere.h"
#include "objects/primitives/triangle.h"
#include "support/scene_fixture.h"

namespace {

using Intersect = SceneTest;

// Taking from an empty heap, or adding to a full one, ends the run.
TEST_F(Intersect, AnEmptyOrFullHeapEndsTheRun) {
    std::vector<QueueEntry> heap(16);
    int size = 0;
    Object n{}, *obj;
    double key;
    auto push = [&] { priorityQueueInsert(0, &n, heap.data(), &size); };
    const std::string advice = " Please use the -pqs or --pqsize switch to increase the priority queue size\n";
    EXPECT_EQ(endsRun([&] { priorityQueueDelete(&key, &obj, heap.data(), &size); }, 1, true),
              " Priority queue is empty, dying...\n" + advice);
    iPQSize = 4;  // holds three
    for (int k = 0; k < 3; ++k) push();
    EXPECT_EQ(endsRun(push, 1), "\n\n ORVEL is out of space...\n" + advice);
}

// The query's own heap follows the setting, down and up again.
TEST_F(Intersect, TheQueryHeapFollowsTheSetting) {
    for (int k = 0; k < 12; ++k) makeSphere({0, 0, 3.0 + k}, 2);  // overlapping boxes on the ray
    buildBoundingSlabs();
    dropQueryTree();
    auto nearest = [] {
        const Ray r = makeRay({0, 0, 0}, {0, 0, 1});
        Hit hit{-1, -1, nullptr};
        return intersect(&r, 1e10, &hit, nullptr);
    };
    iPQSize = 3;
    EXPECT_EQ(endsRun(nearest, 1).rfind("\n\n ORVEL is out of space...\n", 0), 0u);
    iPQSize = 1000;
    EXPECT_EQ(nearest(), 1);
}

// Random scenes of all seven kinds, fixed seeds, with exact ties among them.
struct RandomScene {
    std::mt19937 engine;
    std::normal_distribution<double> normal{};

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine); }
    Vector point(double half) { return {uniform(-half, half), uniform(-half, half), uniform(-half, half)}; }
    Vector unit() { return makeRay({}, {normal(engine), normal(engine), normal(engine)}).direction; }
    // Half the rays aim into the scene, so that most of them hit something; the other half come
    // from above or below the meshes, through a vertex or an edge midpoint.
    Ray ray(int k) {
        if (k % 2) {
            const Vector origin = point(25);
            return makeRay(origin, k % 4 == 1 ? unit() : point(8) - origin);
        }
        const Vector target{std::floor(uniform(-5, 5)) + (k % 8 == 2) * 0.5, std::floor(uniform(-9, 4)), 0};
        const Vector origin{uniform(-6, 6), uniform(-11, 5), k % 3 ? 9.0 : -9.0};
        return makeRay(origin, target - origin);
    }

    // One plane below everything, then the six bounded kinds in turn, then the ties.
    void add(int count) {
        makePlane(unit(), uniform(-30, -20));
        for (int k = 1; k < count; ++k) {
            const Vector c = point(10);
            const double r = uniform(0.2, 2);
            Vector patch[6] = {c + point(2), unit(), c + point(2), unit(), c + point(2), unit()},
                   edges[2] = {point(2), point(2)};
            switch (k % 6) {
                case 0: makeSphere(c, r); break;
                case 1: makeCone(c, r, c + uniform(0.5, 4) * unit(), uniform(0, 1) < 0.5 ? r : uniform(0, 1.5)); break;
                case 2: makeRing(c, unit(), uniform(0, 1) < 0.5 ? 0.0 : r / 3, r); break;
                case 3: makeTriangle(vertexArray({c + point(2), c + point(2), c + point(2)})); break;
                case 4: makePolygon(vertexArray({c, c + edges[0], c + edges[0] + edges[1], c + edges[1]}), 4); break;
                default: makePatch(patch);
            }
        }
        // Twins (the same primitive made twice), a folded mesh of triangles, flat tiles and a
        // mesh of patches, edges shared; flat boxes, entered at the hit distance.
        for (int k = 0; k < 64; ++k) {
            const double x = k % 8 - 4.0, y = k / 8 - 9.0, z = (k % 3) * 0.25, twin = k / 2 % 10 - 5.0;
            makeSphere({twin, 0, 2}, 0.6);
            makeTriangle(vertexArray({{twin, 3, 0}, {twin + 1, 3, 0.5}, {twin, 4, 0}}));
            makeRing({twin, -3, 6}, {0, 0, 1}, 0, 0.5);
            makeTriangle(vertexArray({{x, y, z}, {x + 1, y, 0}, {x, y + 1, 0}}));
            makeTriangle(vertexArray({{x + 1, y, 0}, {x + 1, y + 1, z}, {x, y + 1, 0}}));
            makePolygon(vertexArray({{x, y, -3}, {x + 1, y, -3}, {x + 1, y + 1, -3}, {x, y + 1, -3}}), 4);
            makeRing({x + 0.5, y + 0.5, 4}, {0, 0, 1}, 0, 0.5);
            Vector data[6] = {{x, y + 6, 0}, unit(), {x + 1, y + 6, 0.3}, unit(), {x, y + 7, -0.2}, unit()};
            makePatch(data);
        }
    }
};

// The answers to a stream of queries, each ray followed on from its hit (skipping what it hit: a
// shadow ray): the nearest hit, its distance and the normal there bit for bit, and the shadow
// query's yes or no. Patch hits counted in *patchHits.
std::string answers(RandomScene rays, const std::vector<const Object*>& prims, int* patchHits) {
    std::string text;
    for (int k = 0; k < 400; ++k) {
        Ray r = rays.ray(k);
        const double limit = rays.uniform(0, 1) < 0.5 ? 1e10 : rays.uniform(1, 40);
        const Object* exclude = rays.uniform(0, 1) < 0.3 ? prims[k % prims.size()] : nullptr;
        for (int bounce = 0; bounce < 2; ++bounce) {
            Hit hit{};
            const int found = intersect(&r, limit, &hit, exclude);
            const int any = intersectAny(&r, limit, exclude);  // a query between the hit and its normal
            const Vector n = found ? hit.object->normalFn(hit.object, hitPoint(r, hit)) : Vector{};
            char line[200];
            std::snprintf(line, sizeof line, "%d.%d: %d %p %a %a %a %a\n", k, bounce, any,
                          static_cast<const void*>(found ? hit.object : nullptr), hit.distance, n.x, n.y, n.z);
            text += line;
            if (!found) break;
            *patchHits += hit.object->kind == kindPatch;
            r = {hitPoint(r, hit), rays.unit()};
            exclude = hit.object;
        }
    }
    return text;
}

// Random scenes full of exact ties, queried from four threads at once through the query tree (its
// leaves' compact shapes, on the widest walks for odd seeds and on the portable ones for even
// ones): every answer must be, bit for bit, the one the slab walk gives alone, which keeps the
// first of equally near hits in its own order; the normal at a hit included (a patch's normal
// belongs to the query that found the hit, whatever other queries, in this thread or another,
// found since).
TEST_F(Intersect, QueryTreeAnswersAsTheSlabWalkDoes) {
    const bool portableBefore = usePortableWalks(false);
    for (unsigned seed = 1; seed <= 8; ++seed) {
        reset();
        RandomScene{std::mt19937(seed)}.add(20 + 40 * seed);
        std::vector<const Object*> prims;
        for (const Object* p = myObjectList; p; p = p->next) prims.push_back(p);
        buildBoundingSlabs();
        std::string fast[4];
        int patchHits = 0, threadPatchHits[4] = {};
        std::vector<std::thread> threads;
        usePortableWalks(seed % 2 == 0);
        for (int t = 0; t < 4; ++t)
            threads.emplace_back([&, t] { fast[t] = answers({std::mt19937(100 * seed + t)}, prims, &threadPatchHits[t]); });
        for (std::thread& thread : threads) thread.join();
        dropQueryTree();
        for (int t = 0; t < 4; ++t)
            EXPECT_EQ(fast[t], answers({std::mt19937(100 * seed + t)}, prims, &patchHits))
                << "seed " << seed << ", thread " << t;
        EXPECT_GT(patchHits, 40);
        EXPECT_GT(std::count(fast[0].begin(), fast[0].end(), '\n'), 550);  // over a third of the rays hit something
    }
    usePortableWalks(portableBefore);
}

// Packets of rays against the single walks, on the same random scenes: neighbouring rays (a
// pinhole grid, some rows and columns exactly along an axis), rays from scattered origins, on the
// widest walks and on the portable ones. Every answer must be the single walk's, hit for hit and
// bit for bit.
TEST_F(Intersect, PacketsAnswerAsSingleRaysDo) {
    const bool portableBefore = usePortableWalks(false);
    constexpr double nan = std::numeric_limits<double>::quiet_NaN();
    for (unsigned seed = 1; seed <= 6; ++seed) {
        reset();
        RandomScene scene{std::mt19937(seed)};
        scene.add(30 + 30 * seed);
        makeTriangle(vertexArray({{nan, 0, 0}, {1, 1, 0}, {0, 1, 1}}));  // a box with no number
        buildBoundingSlabs();
        for (int portable = 0; portable < 2; ++portable) {
            usePortableWalks(portable != 0);
            RandomScene rays{std::mt19937(1000 + seed)};
            for (int trial = 0; trial < 60; ++trial) {
                // Eight neighbours of a grid row from one eye (axis-aligned ones on trial 0 and 1),
                // or eight rays from anywhere; up to eight at once.
                Ray packet[8];
                const int count = 1 + trial % 8;
                const Vector eye = trial % 3 ? Vector{rays.uniform(-6, 6), rays.uniform(-11, 5), 9} : rays.point(25);
                const Vector axis = trial < 2 ? Vector{0, 0, -1} : rays.point(1) - Vector{0, 0, 1};
                for (int k = 0; k < count; ++k)
                    packet[k] = trial % 5 == 4 ? rays.ray(k) : makeRay(eye, axis + Vector{0.01 * k * (trial > 0), 0, 0});
                const Ray* pointers[8];
                for (int k = 0; k < count; ++k) pointers[k] = &packet[k];
                Hit hits[8];
                int found[8];
                intersectPacket(pointers, count, 1e10, hits, found);
                for (int k = 0; k < count; ++k) {
                    SCOPED_TRACE(testing::Message()
                                 << "seed " << seed << " portable " << portable << " trial " << trial << " ray " << k);
                    Hit hit{};
                    ASSERT_EQ(found[k], intersect(&packet[k], 1e10, &hit, nullptr));
                    if (found[k]) {
                        EXPECT_EQ(hits[k].object, hit.object);
                        EXPECT_EQ(hits[k].distance, hit.distance);
                        EXPECT_EQ(hits[k].entering, hit.entering);
                    }
                }
            }
        }
    }
    usePortableWalks(portableBefore);
}

}  // namespace
