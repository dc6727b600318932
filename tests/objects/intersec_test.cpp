#include "objects/intersec.h"

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <thread>
#include <vector>

#include "objects/bound.h"
#include "objects/cone.h"
#include "objects/patch.h"
#include "objects/plane.h"
#include "objects/polygon.h"
#include "objects/ring.h"
#include "objects/sphere.h"
#include "objects/triangle.h"
#include "support/scene_fixture.h"

namespace {

// Which primitives a query tested, through a wrapper around the sphere's own test.
std::map<const Object*, int> tested;

Object* countedSphere(Vector centre, double radius) {
    Object* s = makeSphere(centre, radius);
    s->intersectFn = [](const Object* obj, const Ray* ray, Hit* hit) {
        ++tested[obj];
        return sphereIntersect(obj, ray, hit);
    };
    return s;
}

class Intersect : public SceneTest {
protected:
    void SetUp() override {
        SceneTest::SetUp();
        tested.clear();
    }
};

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

TEST_F(Intersect, EmptyAndOneObjectScenes) {
    buildBoundingSlabs();
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}), nullptr);
    Object* s = makeSphere({0, 0, 10}, 1);  // alone: its own answer, past the limit, though skipped
    buildBoundingSlabs();
    double distance;
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 2.0, s, &distance), s);
    EXPECT_EQ(distance, 9.0);
}

TEST_F(Intersect, NearestFirstSkipsLimitsAndTies) {
    Object* near = countedSphere({0, 0, 5}, 1);
    Object* far = countedSphere({0, 0, 20}, 1);
    buildBoundingSlabs();
    dropQueryTree();  // which primitives get tested is the slab walk's own affair
    double distance;
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 1e10, nullptr, &distance), near);
    EXPECT_EQ(distance, 4.0);
    EXPECT_EQ(tested.count(far), 0u);  // its box starts beyond the hit
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 1e10, near), far);
    EXPECT_EQ(tested[near], 1);  // skipped, not tested
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 19.0, near), nullptr);
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 4.0), nullptr);  // strictly below the limit
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, 1}, 4.0000001), near);

    // Equal distances: the plane's huge box is entered first and the sphere is not nearer.
    reset();
    Object* floor = makePlane({0, 0, -1}, 0);
    Object* ball = makeSphere({0, 0, -1}, 1);
    buildBoundingSlabs();
    EXPECT_EQ(nearest({0, 0, 5}, {0, 0, -1}), floor);
    EXPECT_EQ(nearest({0, 0, 5}, {0, 0, -1}, 1e10, floor), ball);
}

TEST_F(Intersect, SlabTestRejectsOnlyWhatItShould) {
    Object* a = countedSphere({0, 0, 5}, 1);
    Object* b = countedSphere({10, 0, 5}, 1);
    buildBoundingSlabs();
    EXPECT_EQ(nearest({0, 0, 0}, {0, 0, -1}), nullptr);     // every box behind the origin
    EXPECT_EQ(nearest({0, 50, 0}, {0, -0.1, 1}), nullptr);  // misses the top box
    EXPECT_TRUE(tested.empty());
    // Along x above the boxes: a zero direction component tests no slab; the spheres reject it.
    EXPECT_EQ(nearest({-5, 3, 5}, {1, 0, 0}), nullptr);
    EXPECT_TRUE(tested[a] == 1 && tested[b] == 1);
}

TEST_F(Intersect, HeapFollowsItsSizeSetting) {
    for (int k = 0; k < 12; ++k) makeSphere({0, 0, 3.0 + k}, 2);  // overlapping boxes on the ray
    buildBoundingSlabs();
    dropQueryTree();
    iPQSize = 3;  // two entries: too few for the root's grandchildren
    const std::string message = abortMessage([] { nearest({0, 0, 0}, {0, 0, 1}); });
    EXPECT_EQ(message.rfind("\n\n ORVEL is out of space...\n", 0), 0u);
    iPQSize = 1000;
    double distance;
    nearest({0, 0, 0}, {0, 0, 1}, 1e10, nullptr, &distance);
    EXPECT_EQ(distance, 1.0);
}

// Collects the primitives below obj, checks node sizes and extents; returns the node count.
long checkTree(const Object* obj, std::multiset<const Object*>* prims) {
    if (obj->kind != kindNode) return prims->insert(obj), 0;
    long nodes = 1;
    int count = 0;
    for (const Object* c = obj->children->first; c; c = c->next, ++count) {
        for (int i = 0; i < 3; ++i) {
            EXPECT_TRUE(obj->boundMin[i] <= c->boundMin[i] && obj->boundMax[i] >= c->boundMax[i]);
        }
        nodes += checkTree(c, prims);
    }
    EXPECT_TRUE(count == obj->children->count && count >= 2 && count <= bunching);
    return nodes;
}

// Random scenes of all seven kinds, fixed seeds.
class RandomScene {
public:
    explicit RandomScene(unsigned seed) : engine_(seed) {}

    // One plane below everything, then the six bounded kinds in turn.
    std::vector<Object*> add(int count) {
        std::vector<Object*> prims{makePlane(unit(), uniform(-30, -20))};
        for (int k = 1; k < count; ++k) prims.push_back(makeOne(k % 6, point(10)));
        return prims;
    }

    // Half the rays aim into the scene, so that most of them hit something.
    Ray ray() {
        const Vector origin = point(25);
        Vector d = uniform(0, 1) < 0.5 ? unit() : point(8) - origin;
        VecNorm(&d);
        return {origin, d};
    }

    double uniform(double lo, double hi) { return std::uniform_real_distribution<double>(lo, hi)(engine_); }
    Vector point(double half) { return {uniform(-half, half), uniform(-half, half), uniform(-half, half)}; }
    Vector unit() {
        std::normal_distribution<double> g;
        Vector v{g(engine_), g(engine_), g(engine_)};
        VecNorm(&v);
        return v;
    }

private:
    Object* makeOne(int kind, Vector c) {
        const double r = uniform(0.2, 2);
        switch (kind) {
            case 0: return makeSphere(c, r);
            case 1:
                return makeCone(c, r, c + uniform(0.5, 4) * unit(),
                                uniform(0, 1) < 0.5 ? r : uniform(0, 1.5));
            case 2: return makeRing(c, unit(), uniform(0, 1) < 0.5 ? 0.0 : r / 3, r);
            case 3: return makeTriangle(vertexArray({c + point(2), c + point(2), c + point(2)}));
            case 4: {  // star-shaped, 4 to 8 corners in a random plane
                const int corners = 4 + static_cast<int>(uniform(0, 5));
                const Vector n = unit();
                Vector a = cross(n, unit());
                VecNorm(&a);
                auto* v = static_cast<Vector*>(std::malloc(corners * sizeof(Vector)));
                for (int k = 0; k < corners; ++k) {
                    const double angle = (k + uniform(0, 0.8)) * 2 * M_PI / corners;
                    v[k] = c + (r * std::cos(angle)) * a + (r * std::sin(angle)) * cross(n, a);
                }
                return makePolygon(v, corners);
            }
            default: {
                Vector data[6] = {c + point(2), unit(), c + point(2), unit(), c + point(2), unit()};
                return makePatch(data);
            }
        }
    }

    std::mt19937 engine_;
};

TEST_F(Intersect, AgreesWithTestingEveryPrimitive) {
    int queries = 0;
    int hits = 0;
    int mismatches = 0;
    for (unsigned seed = 1; seed <= 12; ++seed) {
        reset();
        RandomScene scene(seed);
        const std::vector<Object*> prims = scene.add(20 + 40 * seed);
        buildBoundingSlabs();
        std::multiset<const Object*> inTree;  // the tree holds every primitive once, in proper nodes
        EXPECT_EQ(nPrims, static_cast<long>(prims.size()) + checkTree(myObjectList, &inTree));
        EXPECT_EQ(inTree, std::multiset<const Object*>(prims.begin(), prims.end()));
        for (int k = 0; k < 600; ++k) {
            Ray r = scene.ray();
            const double limit = scene.uniform(0, 1) < 0.5 ? 1e10 : scene.uniform(1, 40);
            const Object* exclude = scene.uniform(0, 1) < 0.3 ? prims[k % prims.size()] : nullptr;
            for (int bounce = 0; bounce < 2; ++bounce, ++queries) {
                Hit got{};
                Hit want{};
                const int g = intersect(&r, limit, &got, exclude);
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
                if (g != w || any != g || (w && (got.distance != want.distance || got.object != want.object))) {
                    if (++mismatches <= 5) ADD_FAILURE() << "seed " << seed << " ray " << k << "." << bounce;
                }
                if (!w) break;
                ++hits;
                r = {hitPoint(r, want), scene.unit()};  // onwards from the hit, skipping it: a shadow ray
                exclude = want.object;
            }
        }
    }
    EXPECT_EQ(mismatches, 0);
    EXPECT_GT(hits, queries / 3);
}

// Scenes full of exact ties (twin primitives, meshes and tiles sharing edges, rays aimed at those
// edges): the answer taken from the query tree must be, bit for bit, the slab walk's, which keeps
// the first of equally near hits in its own order.
TEST_F(Intersect, QueryTreeAnswersAsTheSlabWalkDoes) {
    RandomScene scene(7);
    std::vector<Object*> prims = scene.add(120);
    for (int k = 0; k < 10; ++k) {  // twins: the same sphere or triangle made twice
        makeSphere({k - 5.0, 0, 2}, 0.6);
        makeSphere({k - 5.0, 0, 2}, 0.6);
        const Vector c{k - 5.0, 3, 0};
        makeTriangle(vertexArray({c, c + Vector{1, 0, 0.5}, c + Vector{0, 1, 0}}));
        makeTriangle(vertexArray({c, c + Vector{1, 0, 0.5}, c + Vector{0, 1, 0}}));
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
    for (int k = 0; k < 4000; ++k) {
        if (k % 4 == 3) {
            rays.push_back(scene.ray());
            continue;
        }
        // From above or below, through a vertex or an edge midpoint of the grid.
        const Vector target{std::floor(scene.uniform(-4, 4)) + (k % 4 == 1) * 0.5, std::floor(scene.uniform(-9, 0)),
                            0};
        const Vector origin{scene.uniform(-6, 6), scene.uniform(-11, 2), k % 2 ? 9.0 : -9.0};
        rays.push_back(makeRay(origin, target - origin));
    }
    auto answers = [&] {
        std::vector<std::pair<const Object*, double>> found;
        for (const Ray& r : rays) {
            Hit hit{};
            found.emplace_back(intersect(&r, 1e10, &hit, nullptr) ? hit.object : nullptr, hit.distance);
            const int any = intersectAny(&r, 30, prims[found.size() % prims.size()]);
            found.emplace_back(nullptr, any);
        }
        return found;
    };
    const auto fast = answers();
    dropQueryTree();
    EXPECT_TRUE(fast == answers());
}

// One query's answer, normal included, compared bit for bit.
struct Answer {
    int found = 0;
    double distance = 0;
    const Object* object = nullptr;
    Vector normal{0, 0, 0};

    explicit Answer(const Ray& r) {
        Hit hit{};
        if ((found = intersect(&r, 1e10, &hit, nullptr))) {
            distance = hit.distance;
            object = hit.object;
            normal = object->normalFn(object, hitPoint(r, hit));
        }
    }
    bool operator==(const Answer& o) const {
        return found == o.found && distance == o.distance && object == o.object && normal.x == o.normal.x &&
               normal.y == o.normal.y && normal.z == o.normal.z;
    }
};

class IntersectThreads : public SceneTest {};

TEST_F(IntersectThreads, EachThreadGetsItsOwnHitsAndNormals) {
    RandomScene scene(99);
    scene.add(150);
    for (int k = 0; k < 144; ++k) {  // a mesh of patches sharing their edges, around z = 0
        const double x = k % 12 - 6.0, y = k / 12 - 6.0;
        const Vector n0 = scene.unit(), n1 = scene.unit(), n2 = scene.unit();
        Vector data[6] = {{x, y, 0}, n0, {x + 1, y, 0.3}, n1, {x, y + 1, -0.2}, n2};
        makePatch(data);
    }
    buildBoundingSlabs();
    std::vector<Ray> rays;
    std::vector<Answer> expected;
    int patchHits = 0;
    for (int k = 0; k < 3000; ++k) {
        const Vector origin{scene.uniform(-8, 8), scene.uniform(-8, 8), 15};
        rays.push_back(k % 2 ? scene.ray() : makeRay(origin, scene.point(6) - origin));
        expected.emplace_back(rays.back());
        patchHits += expected.back().found && expected.back().object->kind == kindPatch;
    }
    EXPECT_GT(patchHits, 400);

    constexpr int threads = 4;
    std::vector<int> wrong(threads, 0);
    std::vector<std::thread> workers;
    for (int t = 0; t < threads; ++t) {
        workers.emplace_back([&, t] {  // each from its own starting point, three times round
            for (size_t k = 0; k < 3 * rays.size(); ++k) {
                const size_t i = (k + t * rays.size() / threads) % rays.size();
                wrong[t] += !(Answer(rays[i]) == expected[i]);
            }
        });
    }
    for (std::thread& w : workers) w.join();
    for (int t = 0; t < threads; ++t) EXPECT_EQ(wrong[t], 0) << "thread " << t;
}

}  // namespace
