// The scene the render benchmarks build in code: spheres over a plane, two lights, a mirror sphere.
#pragma once

#include "objects/data.h"
#include "objects/hierarchy/bound.h"
#include "objects/primitives/plane.h"
#include "objects/primitives/sphere.h"
#include "shading/light.h"
#include "shading/surface.h"

inline void benchSurface(Object* obj, Color color, double reflection) {
    setSurfaceAttrib(obj, color, 0.1, 0.7, 1.0, 0.5, 20.0, reflection, 0.0, 1.0, 0, 10, 1.0);
}

// Builds the scene and its hierarchy; the previous render freed its own.
inline void buildBenchScene() {
    nPrims = 0;
    benchSurface(makePlane({0, 0, -1}, 0.0), {0.8, 0.8, 0.7}, 0.0);
    for (int i = -3; i <= 3; ++i)
        for (int j = 0; j < 3; ++j)
            benchSurface(makeSphere({i * 1.5, j * 2.0, 0.5}, 0.5), {0.2 + 0.1 * (i + 3), 0.5, 0.9 - 0.2 * j},
                         0.0);
    benchSurface(makeSphere({0, 2, 2.5}, 1.5), {0.9, 0.9, 0.9}, 0.8);
    makeLight({-5, -5, 10}, {1, 1, 1}, 0, 0, 0, 0, 0, 0, 0, {0, 0, -1});
    makeLight({6, -2, 6}, {0.6, 0.6, 0.5}, 0, 0, 0, 0, 0, 0, 0, {0, 0, -1});
    buildBoundingSlabs();
}
