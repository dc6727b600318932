// Queries per second of the scene query on three generated scenes: 10,000 random spheres, a
// height field of 100,000 triangles and 2,000 cylinders, asked as the renderer asks them. Camera
// rays (the nearest hit) come from a pinhole grid over the scene, eight neighbouring pixels of a
// row at a time (intersectPacket); shadow rays start where those hit, run towards a light, stop
// at it and skip the object they start on, asked one after the other in the order of their
// pixels (intersectAny). Everything is drawn from fixed seeds, so runs on one machine compare.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdlib>
#include <optional>
#include <random>
#include <vector>

#include "app/settings.h"
#include "image/image.h"
#include "objects/hierarchy/bound.h"
#include "objects/hierarchy/intersec.h"
#include "objects/hierarchy/pqueue.h"
#include "objects/primitives/cone.h"
#include "objects/primitives/sphere.h"
#include "objects/primitives/triangle.h"
#include "render/render_settings.h"

namespace {

enum class Scene { spheres, heightField, cylinders };

struct ShadowQuery {
    Ray ray;
    double distance;
    const Object* exclude;
};

// The rays of up to eight neighbouring pixels, asked together.
constexpr int batch = 8;

struct Workload {
    std::vector<Ray> camera;          // row by row: each batch of eight is a packet
    std::vector<ShadowQuery> shadow;  // the shadow rays of the hits, in order
};

Vector unit(Vector v) {
    VecNorm(&v);
    return v;
}

void makeSpheres(std::mt19937& engine) {
    std::uniform_real_distribution<double> coord(-50, 50);
    std::uniform_real_distribution<double> radius(0.3, 1.5);
    for (int k = 0; k < 10000; ++k) makeSphere({coord(engine), coord(engine), coord(engine)}, radius(engine));
}

// 250 x 200 cells of two triangles over [-50, 50] x [-40, 40], rolling hills with some noise.
void makeHeightField(std::mt19937& engine) {
    constexpr int nx = 250;
    constexpr int ny = 200;
    std::uniform_real_distribution<double> noise(-0.2, 0.2);
    std::vector<Vector> grid;
    for (int j = 0; j <= ny; ++j) {
        for (int i = 0; i <= nx; ++i) {
            const double x = -50 + 100.0 * i / nx;
            const double y = -40 + 80.0 * j / ny;
            grid.push_back({x, y, 3 * std::sin(x / 7) * std::cos(y / 5) + noise(engine)});
        }
    }
    auto corner = [&](int i, int j) { return grid[j * (nx + 1) + i]; };
    auto triangle = [](Vector p, Vector q, Vector r) {
        auto* corners = static_cast<Vector*>(std::malloc(3 * sizeof(Vector)));  // the triangle owns it
        corners[0] = p;
        corners[1] = q;
        corners[2] = r;
        makeTriangle(corners);
    };
    for (int j = 0; j < ny; ++j) {
        for (int i = 0; i < nx; ++i) {
            triangle(corner(i, j), corner(i + 1, j), corner(i + 1, j + 1));
            triangle(corner(i, j), corner(i + 1, j + 1), corner(i, j + 1));
        }
    }
}

void makeCylinders(std::mt19937& engine) {
    std::uniform_real_distribution<double> coord(-40, 40);
    std::uniform_real_distribution<double> length(1, 6);
    std::uniform_real_distribution<double> radius(0.2, 0.8);
    std::normal_distribution<double> g;
    for (int k = 0; k < 2000; ++k) {
        const Vector base{coord(engine), coord(engine), coord(engine)};
        const Vector axis = unit({g(engine), g(engine), g(engine)});
        const double r = radius(engine);
        makeCone(base, r, base + length(engine) * axis, r);
    }
}

// Builds the scene and its rays: a 256 x 256 pinhole grid from eye towards target.
Workload build(Scene scene) {
    freeBoundingSlabs();
    nPrims = 0;
    setStartupDefaults();
    std::mt19937 engine(20240611);
    Vector eye{0, 0, -150};
    Vector target{0, 0, 0};
    Vector upHint{0, 1, 0};
    double halfWidth = 0.4;  // of the image plane at distance 1
    switch (scene) {
        case Scene::spheres: makeSpheres(engine); break;
        case Scene::heightField:
            makeHeightField(engine);
            eye = {0, -55, 75};
            upHint = {0, 0, 1};
            halfWidth = 0.45;
            break;
        case Scene::cylinders: makeCylinders(engine); break;
    }
    buildBoundingSlabs();

    const Vector forward = unit(target - eye);
    const Vector right = unit(cross(forward, upHint));
    const Vector up = cross(right, forward);
    const Vector light{150, -150, 60};
    constexpr int size = 256;
    static_assert(size % batch == 0);
    Workload w;
    for (int j = 0; j < size; ++j) {
        for (int i = 0; i < size; ++i) {
            const double u = halfWidth * (2.0 * (i + 0.5) / size - 1);
            const double v = halfWidth * (2.0 * (j + 0.5) / size - 1);
            const Ray ray{eye, unit(forward + u * right + v * up)};
            w.camera.push_back(ray);
            Hit hit;
            if (!intersect(&ray, 1e10, &hit, nullptr)) continue;
            const Vector point = ray.origin + hit.distance * ray.direction;
            const Vector toLight = light - point;
            w.shadow.push_back({{point, unit(toLight)}, length(toLight), hit.object});
        }
    }
    return w;
}

// The scene of the benchmark running now; rebuilt only when the next one wants another.
const Workload& workload(Scene scene) {
    static std::optional<Scene> current;
    static Workload loaded;
    if (current != scene) {
        loaded = build(scene);
        current = scene;
    }
    return loaded;
}

// One pass over the camera rays, eight neighbouring pixels at a time; returns how many hit.
[[gnu::noinline]] long askCameraRays(const Workload& w) {
    long hits = 0;
    Hit hit[batch];
    int found[batch];
    const Ray* packet[batch];
    for (size_t first = 0; first < w.camera.size(); first += batch) {
        for (int k = 0; k < batch; ++k) packet[k] = &w.camera[first + k];
        intersectPacket(packet, batch, 1e10, hit, found);
        for (int k = 0; k < batch; ++k) hits += found[k];
    }
    return hits;
}

// One pass over the shadow rays, those of the hits of each camera packet one after the other, as
// the renderer asks them; returns how many are blocked.
[[gnu::noinline]] long askShadowRays(const Workload& w) {
    long blocked = 0;
    for (const ShadowQuery& q : w.shadow) blocked += intersectAny(&q.ray, q.distance, q.exclude);
    return blocked;
}

// Each iteration is one pass over the workload, so that a single iteration
// (--benchmark_min_time=0) asks every query once: bench/counts.py counts its instructions.
void cameraRays(benchmark::State& state, Scene scene) {
    const Workload& w = workload(scene);
    long hits = 0;
    for (auto _ : state) hits = askCameraRays(w);
    const double queries = static_cast<double>(state.iterations() * w.camera.size());
    state.counters["queries/s"] = benchmark::Counter(queries, benchmark::Counter::kIsRate);
    state.counters["queries"] = static_cast<double>(w.camera.size());
    state.counters["hit%"] = 100.0 * hits / static_cast<double>(w.camera.size());
}

// The renderer's shadow query: whether anything but the lit object lies between it and the light.
void shadowRays(benchmark::State& state, Scene scene) {
    const Workload& w = workload(scene);
    if (w.shadow.empty()) return state.SkipWithError("no camera ray hits the scene");
    long blocked = 0;
    for (auto _ : state) blocked = askShadowRays(w);
    const double queries = static_cast<double>(state.iterations() * w.shadow.size());
    state.counters["queries/s"] = benchmark::Counter(queries, benchmark::Counter::kIsRate);
    state.counters["queries"] = static_cast<double>(w.shadow.size());
    state.counters["blocked%"] = 100.0 * blocked / static_cast<double>(w.shadow.size());
}

BENCHMARK_CAPTURE(cameraRays, spheres10k, Scene::spheres);
BENCHMARK_CAPTURE(shadowRays, spheres10k, Scene::spheres);
BENCHMARK_CAPTURE(cameraRays, heightField100k, Scene::heightField);
BENCHMARK_CAPTURE(shadowRays, heightField100k, Scene::heightField);
BENCHMARK_CAPTURE(cameraRays, cylinders2k, Scene::cylinders);
BENCHMARK_CAPTURE(shadowRays, cylinders2k, Scene::cylinders);

}  // namespace

int main(int argc, char** argv) {
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv)) return 1;
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    freeBoundingSlabs();
    return 0;
}
