// Renders one scene built in code (spheres over a plane, two lights, a mirror sphere) at
// 640 x 480, first in the calling thread, then in 2 bands, and prints the wall-clock time of
// each run beside the processor time that the driver prints. An optional argument picks the
// anti-aliasing mode (0 none, 1 quick, 2 adaptive with threshold 20).
#include <chrono>
#include <cstdio>
#include <cstdlib>

#include "app/settings.h"
#include "bench_scene.h"
#include "image/image.h"
#include "objects/hierarchy/bound.h"
#include "objects/hierarchy/pqueue.h"
#include "objects/primitives/plane.h"
#include "objects/primitives/sphere.h"
#include "render/camera.h"
#include "render/driver.h"
#include "render/render_settings.h"
#include "shading/light.h"
#include "shading/surface.h"

namespace {

double timedRender(RenderDriver driver, int threads, const char* name) {
    buildBenchScene();
    numThreads = threads;
    std::snprintf(myDisplay.outputName, sizeof myDisplay.outputName, "%s", name);
    const auto start = std::chrono::steady_clock::now();
    doTrace(driver);
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

}  // namespace

int main(int argc, char** argv) {
    setStartupDefaults();
    iAntialias = argc > 1 ? std::atoi(argv[1]) : 0;
    iImageType = 2;
    myDisplay.width = 640;
    myDisplay.height = 480;
    myViewPoint = {};
    myViewPoint.position = {0, -10, 3};
    myViewPoint.lookAt = {0, 0, 1};
    myViewPoint.up = {0, 0, 1};
    myViewPoint.fov = 0.39269908169872414;
    myViewPoint.ratio = 4.0 / 3.0;
    myViewPoint.samples = 1;
    const double single = timedRender(RenderDriver::callingThread, 1, "/tmp/orvel_bench_single");
    const double banded = timedRender(RenderDriver::threadBands, 2, "/tmp/orvel_bench_2bands");
    std::printf("\n wall clock: single thread %.3f s, 2 bands %.3f s\n", single, banded);
    std::remove("/tmp/orvel_bench_single.ppm");
    std::remove("/tmp/orvel_bench_2bands.ppm");
}
