#include "objects/intersec.h"

#include <cmath>
#include <cstring>
#include <random>
#include <string>
#include <thread>
#include <vector>

#include "objects/bound.h"
#include "objects/cone.h"
#include "objects/patch.h"
#include "objects/plane.h"
#include "objects/polygon.h"
#include "objects/pqueue.h"
#include "objects/ring.h"
#include "objects/sphere.h"
#include "objects/triangle.h"
#include "support/scene_fixture.h"

namespace {

using Intersect = SceneTest;

// The object hit first (null on a miss, when the hit must be left alone), its distance in *distance.
const Object* nearest(Vector origin, Vector direction, double limit = 1e10, const Object* exclude = nullptr,
                      double* distance = nullptr) {
    const Ray r = makeRay(origin, direction);
    Hit hit{-1, -1, nullptr};
    const int found = intersect(&r, limit, &hit, exclude);
    EXPECT_EQ(found, hit.object ? 1 : 0);
    if (distance) *distance = hit.distance;
    return hit.object;
}

TEST_F(Intersect, HeapReleasesEqualKeysInSiftOrder) {
    std::vector<QueueEntry> heap(16);
    int size = 0;
    Object n[8]{}, *obj;
    // Equal keys leave in the order the sift rules give: only a strictly smaller key moves up; on
    // the way down the right child wins a tie and the moved entry stops above an equal child.
    const double keys[8] = {1, 1, 1, 0.5, 1, 1, 2, 1};
    for (int k = 0; k < 8; ++k) priorityQueueInsert(keys[k], &n[k], heap.data(), &size);
    std::string order;
    while (size) {
        double key;
        priorityQueueDelete(&key, &obj, heap.data(), &size);
        order += static_cast<char>('0' + (obj - n));
    }
    EXPECT_EQ(order, "37254106");
}

TEST_F(Intersect, AFullOrEmptyHeapEndsTheRun) {
    std::vector<QueueEntry> heap(16);
    int size = 0;
    Object n[4]{}, *obj;
    const std::string advice = " Please use the -pqs or --pqsize switch to increase the priority queue size\n";
    iPQSize = 4;  // holds three
    for (int k = 0; k < 3; ++k) priorityQueueInsert(k, &n[k], heap.data(), &size);
    EXPECT_EQ(endsRun([&] { priorityQueueInsert(0, n, heap.data(), &size); }, 1),
              "\n\n ORVEL is out of space...\n" + advice);
    size = 0;
    EXPECT_EQ(endsRun(
                  [&] {
                      double key;
                      priorityQueueDelete(&key, &obj, heap.data(), &size);
                  },
                  1, true),
              " Priority queue is empty, dying...\n" + advice);
}

// The query's own heap follows the setting, down and up again.
TEST_F(Intersect, TheQueryHeapFollowsTheSetting) {
    for (int k = 0; k < 12; ++k) makeSphere({0, 0, 3.0 + k}, 2);  // overlapping boxes on the ray
    buildBoundingSlabs();
    dropQueryTree();
    iPQSize = 3;
    EXPECT_EQ(endsRun([] { nearest({0, 0, 0}, {0, 0, 1}); }, 1).rfind("\n\n ORVEL is out of space...\n", 0), 0u);
    iPQSize = 1000;
    EXPECT_NE(nearest({0, 0, 0}, {0, 0, 1}), nullptr);
}

TEST_F(Intersect, NearestFirstWithinTheLimitSkippingOne) {
    double distance;
    buildBoundingSlabs();
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}), nullptr);
    Object* alone = makeSphere({0, 0, 10}, 1);  // alone: its own answer, past the limit, though skipped
    buildBoundingSlabs();
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 2.0, alone, &distance), alone);
    EXPECT_EQ(distance, 9.0);

    reset();
    Object* near = makeSphere({0, 0, 5}, 1);
    Object* far = makeSphere({0, 0, 20}, 1);
    buildBoundingSlabs();
    for (const bool tree : {true, false}) {
        if (!tree) dropQueryTree();
        SCOPED_TRACE(tree ? "query tree" : "slab walk");
        EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 1e10, nullptr, &distance), near);
        EXPECT_EQ(distance, 4.0);
        EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 1e10, near), far);
        EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 19.0, near), nullptr);
        EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 4.0), nullptr);  // strictly below the limit
        EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 4.0000001), near);
        EXPECT_EQ(nearest({0, 0, 0}, {0, 0, -1}), nullptr);  // every box behind the origin
        EXPECT_EQ(nearest({-5, 0, 5}, {1, 0, 0}), near);     // zero components test no slab
    }
}

// Equal distances: the plane's huge box is entered first and the sphere is not nearer.
TEST_F(Intersect, OfEquallyNearHitsTheFirstFoundWins) {
    Object* floor = makePlane({0, 0, -1}, 0);
    Object* ball = makeSphere({0, 0, -1}, 1);
    buildBoundingSlabs();
    EXPECT_EQ(nearest({0, 0, 5}, {0, 0, -1}), floor);
    EXPECT_EQ(nearest({0, 0, 5}, {0, 0, -1}, 1e10, floor), ball);
}

// Random scenes of all seven kinds, fixed seeds.
struct RandomScene {
    std::mt19937 engine;

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine); }
    Vector point(double half) { return {uniform(-half, half), uniform(-half, half), uniform(-half, half)}; }
    Vector unit() {
        std::normal_distribution<double> g;
        return makeRay({}, {g(engine), g(engine), g(engine)}).direction;
    }
    // Half the rays aim into the scene, so that most of them hit something.
    Ray ray() {
        const Vector origin = point(25);
        return makeRay(origin, uniform(0, 1) < 0.5 ? unit() : point(8) - origin);
    }

    // One plane below everything, then the six bounded kinds in turn.
    std::vector<Object*> add(int count) {
        std::vector<Object*> prims{makePlane(unit(), uniform(-30, -20))};
        for (int k = 1; k < count; ++k) {
            const Vector c = point(10);
            const double r = uniform(0.2, 2);
            Vector patch[6] = {c + point(2), unit(), c + point(2), unit(), c + point(2), unit()};
            switch (k % 6) {
                case 0: prims.push_back(makeSphere(c, r)); break;
                case 1:
                    prims.push_back(makeCone(c, r, c + uniform(0.5, 4) * unit(), uniform(0, 1) < 0.5 ? r : uniform(0, 1.5)));
                    break;
                case 2: prims.push_back(makeRing(c, unit(), uniform(0, 1) < 0.5 ? 0.0 : r / 3, r)); break;
                case 3: prims.push_back(makeTriangle(vertexArray({c + point(2), c + point(2), c + point(2)}))); break;
                case 4: prims.push_back(makePolygon(star(c, r, 4 + k % 5), 4 + k % 5)); break;
                default: prims.push_back(makePatch(patch));
            }
        }
        return prims;
    }
    // A star-shaped outline in a random plane.
    Vector* star(Vector c, double r, int corners) {
        const Vector n = unit(), a = makeRay({}, cross(n, unit())).direction, b = cross(n, a);
        auto* v = static_cast<Vector*>(std::malloc(corners * sizeof(Vector)));
        for (int k = 0; k < corners; ++k) {
            const double angle = (k + uniform(0, 0.8)) * 2 * M_PI / corners;
            v[k] = c + (r * std::cos(angle)) * a + (r * std::sin(angle)) * b;
        }
        return v;
    }
};

using IntersectThreads = SceneTest;

// Random scenes queried from four threads at once: every answer must be the one testing every
// primitive gives, the normal at the hit included (a patch's normal belongs to the query that
// found the hit, whatever other queries, in this thread or another, found since).
TEST_F(IntersectThreads, AgreesWithTestingEveryPrimitive) {
    for (unsigned seed = 1; seed <= 12; ++seed) {
        reset();
        RandomScene scene{std::mt19937(seed)};
        std::vector<Object*> prims = scene.add(20 + 40 * seed);
        for (int k = 0; k < 36; ++k) {  // a mesh of patches sharing their edges, around z = 0
            const double x = k % 6 - 3.0, y = k / 6 - 3.0;
            Vector data[6] = {{x, y, 0}, scene.unit(), {x + 1, y, 0.3}, scene.unit(), {x, y + 1, -0.2}, scene.unit()};
            prims.push_back(makePatch(data));
        }
        buildBoundingSlabs();
        std::vector<int> queries(4), hits(4), patchHits(4), mismatches(4);
        std::vector<std::thread> threads;
        for (int t = 0; t < 4; ++t) {
            threads.emplace_back([&, t] {
                RandomScene rays{std::mt19937(100 * seed + t)};
                for (int k = 0; k < 150; ++k) {
                    Ray r = rays.ray();
                    const double limit = rays.uniform(0, 1) < 0.5 ? 1e10 : rays.uniform(1, 40);
                    const Object* exclude = rays.uniform(0, 1) < 0.3 ? prims[k % prims.size()] : nullptr;
                    for (int bounce = 0; bounce < 2; ++bounce, ++queries[t]) {
                        Hit got{}, want{};
                        const int g = intersect(&r, limit, &got, exclude);
                        const Vector normal = g ? got.object->normalFn(got.object, hitPoint(r, got)) : Vector{};
                        int w = 0;  // every primitive but the skipped one, strictly nearer than the best so far
                        for (const Object* p : prims) {
                            Hit local;
                            if (p != exclude && p->intersectFn(p, &r, &local) &&
                                local.distance < (w ? want.distance : limit)) {
                                want = local;
                                w = 1;
                            }
                        }
                        const int any = intersectAny(&r, limit, exclude);  // the shadow query's yes or no
                        const Vector expected = w ? want.object->normalFn(want.object, hitPoint(r, want)) : Vector{};
                        if (g != w || any != g ||
                            (w && (got.distance != want.distance || got.object != want.object ||
                                   std::memcmp(&normal, &expected, sizeof normal) != 0))) {
                            if (++mismatches[t] <= 5) ADD_FAILURE() << "seed " << seed << " ray " << k << "." << bounce;
                        }
                        if (!w) break;
                        ++hits[t];
                        patchHits[t] += want.object->kind == kindPatch;
                        r = {hitPoint(r, want), rays.unit()};  // onwards from the hit, skipping it: a shadow ray
                        exclude = want.object;
                    }
                }
            });
        }
        for (std::thread& thread : threads) thread.join();
        for (int t = 0; t < 4; ++t) {
            EXPECT_EQ(mismatches[t], 0);
            EXPECT_GT(hits[t], queries[t] / 3);
            EXPECT_GT(patchHits[t], 0);
        }
    }
}

// Scenes full of exact ties (twin primitives, meshes and tiles sharing edges, rays aimed at those
// edges): the answer taken from the query tree must be, bit for bit, the slab walk's, which keeps
// the first of equally near hits in its own order.
TEST_F(Intersect, QueryTreeAnswersAsTheSlabWalkDoes) {
    RandomScene scene{std::mt19937(7)};
    std::vector<Object*> prims = scene.add(120);
    for (int k = 0; k < 10; ++k) {  // twins: the same primitive made twice
        const Vector c{k - 5.0, 3, 0};
        for (int twice = 0; twice < 2; ++twice) {
            makeSphere({k - 5.0, 0, 2}, 0.6);
            makeTriangle(vertexArray({c, c + Vector{1, 0, 0.5}, c + Vector{0, 1, 0}}));
            makeRing({k - 5.0, -3, 6}, {0, 0, 1}, 0, 0.5);  // flat boxes, entered at the hit distance
        }
    }
    for (int k = 0; k < 64; ++k) {  // a folded mesh and flat tiles, edges shared
        const double x = k % 8 - 4.0, y = k / 8 - 9.0, z = (k % 3) * 0.25;
        makeTriangle(vertexArray({{x, y, z}, {x + 1, y, 0}, {x, y + 1, 0}}));
        makeTriangle(vertexArray({{x + 1, y, 0}, {x + 1, y + 1, z}, {x, y + 1, 0}}));
        makePolygon(vertexArray({{x, y, -3}, {x + 1, y, -3}, {x + 1, y + 1, -3}, {x, y + 1, -3}}), 4);
        makeRing({x + 0.5, y + 0.5, 4}, {0, 0, 1}, 0, 0.5);
    }
    buildBoundingSlabs();

    std::vector<Ray> rays;
    for (int k = 0; k < 4000; ++k) {  // from above or below, through a vertex or an edge midpoint
        const Vector target{std::floor(scene.uniform(-5, 5)) + (k % 4 == 1) * 0.5, std::floor(scene.uniform(-9, 4)), 0};
        const Vector origin{scene.uniform(-6, 6), scene.uniform(-11, 5), k % 2 ? 9.0 : -9.0};
        rays.push_back(k % 4 == 3 ? scene.ray() : makeRay(origin, target - origin));
    }
    auto answers = [&] {
        std::vector<std::pair<const Object*, double>> found;
        for (const Ray& r : rays) {
            Hit hit{};
            found.emplace_back(intersect(&r, 1e10, &hit, nullptr) ? hit.object : nullptr, hit.distance);
            found.emplace_back(nullptr, intersectAny(&r, 30, prims[found.size() % prims.size()]));
        }
        return found;
    };
    const auto fast = answers();
    dropQueryTree();
    EXPECT_TRUE(fast == answers());
}

}  // namespace
