// Shared by the tests that build scenes: a fixture that starts and ends every test with an empty
// object list and the start-up settings, and small helpers to make rays and vertex arrays.
#pragma once

#include <gtest/gtest.h>

#include <cstdlib>
#include <initializer_list>
#include <string>

#include "app/settings.h"
#include "objects/data.h"

class SceneTest : public testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }

    static void reset() {
        freeObjectTree(&myObjectList);
        nPrims = 0;
        iPQSize = 128;
        setStartupDefaults();
    }
};

// A ray with its direction made unit length, as the renderer casts them.
inline Ray makeRay(Vector origin, Vector direction) {
    VecNorm(&direction);
    return {origin, direction};
}

// A malloc'd copy of the corners, to hand over to makeTriangle or makePolygon.
inline Vector* vertexArray(std::initializer_list<Vector> corners) {
    auto* array = static_cast<Vector*>(std::malloc(corners.size() * sizeof(Vector)));
    int k = 0;
    for (const Vector& v : corners) array[k++] = v;
    return array;
}

// The point a caller passes to the normal operation: origin + distance * direction.
inline Vector hitPoint(const Ray& ray, const Hit& hit) { return ray.origin + hit.distance * ray.direction; }

// Standard output produced by f.
template <typename F>
std::string printed(F f) {
    testing::internal::CaptureStdout();
    f();
    return testing::internal::GetCapturedStdout();
}
