// Shared set-up for shading and rendering tests: a clean scene and settings for every test, the
// default camera looking along +y with z up, hand-made test objects, and counting rand() draws.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>

#include "app/run.h"
#include "app/settings.h"
#include "image/image.h"
#include "objects/data.h"
#include "objects/hierarchy/bound.h"
#include "objects/hierarchy/pqueue.h"
#include "render/camera.h"
#include "render/driver.h"
#include "render/render_settings.h"
#include "shading/light.h"
#include "shading/shade.h"

class RenderTest : public testing::Test {
protected:
    void SetUp() override {
        resetRunState();
        myViewPoint = {{0, 0, 0}, {0, 0, 1}, {0, 1, 0}, {}, {}, 0.39269908169872414, 0, 4.0 / 3.0, 0, 10.0, 16, 0};
        myDisplay = {320, 240, {}};
        adapt_dist = 64;
        cameraSetup();
    }
    void TearDown() override { resetRunState(); }

    // A record with the given operations and surface, pushed onto myObjectList.
    static Object* addObject(IntersectFn hitFn, NormalFn normalFn, const Surface& surface = surfaceDefaults) {
        Object* obj = allocateObject();
        obj->intersectFn = hitFn;
        obj->normalFn = normalFn;
        obj->surface = surface;
        addToList(&myObjectList, obj);
        return obj;
    }

    // How many rand() values f draws: the value after them is looked up in a replay.
    template <typename F>
    static int randDraws(F f) {
        std::srand(12345);
        f();
        const int next = std::rand();
        std::srand(12345);
        for (int n = 0; n < 100000; ++n)
            if (std::rand() == next) return n;
        return -1;
    }
};

inline Surface matte(Color color, double ambient, double diffuse = 0.0) {
    Surface s = surfaceDefaults;
    s.color = color;
    s.ambient = ambient;
    s.diffuse = diffuse;
    return s;
}
