// Helpers for the tests that build scenes: a fixture that starts and ends each test with an empty
// object list and the start-up settings, rays, vertex arrays, expected hits, captured messages.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "app/fatal.h"
#include "app/settings.h"
#include "objects/bvh.h"
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
    // Leaves every query to the slab tree's own walk, as when the query tree cannot decide.
    static void dropQueryTree() {
        if (myObjectList && myObjectList->kind == kindNode) {
            freeQueryTree(myObjectList->children->queryTree);
            myObjectList->children->queryTree = nullptr;
        }
    }
};

inline Ray makeRay(Vector origin, Vector direction) {
    VecNorm(&direction);
    return {origin, direction};
}

// A malloc'd copy of the corners, for makeTriangle or makePolygon to own.
inline Vector* vertexArray(std::initializer_list<Vector> corners) {
    auto* array = static_cast<Vector*>(std::malloc(corners.size() * sizeof(Vector)));
    std::copy(corners.begin(), corners.end(), array);
    return array;
}

// The point a caller passes to the normal operation.
inline Vector hitPoint(const Ray& ray, const Hit& hit) { return ray.origin + hit.distance * ray.direction; }

inline void expectVector(Vector v, Vector expected) {
    EXPECT_NEAR(v.x, expected.x, 1e-12);
    EXPECT_NEAR(v.y, expected.y, 1e-12);
    EXPECT_NEAR(v.z, expected.z, 1e-12);
}

// One ray against one object: the expected distance (negative: no hit) and entering flag.
struct RayCase {
    Vector origin;
    Vector direction;
    double distance;
    int entering = 1;
};

inline void expectRays(const Object* obj, std::initializer_list<RayCase> cases) {
    int index = 0;
    for (const RayCase& c : cases) {
        SCOPED_TRACE("ray case " + std::to_string(index++));
        const Ray ray = makeRay(c.origin, c.direction);
        Hit hit{};
        const int found = obj->intersectFn(obj, &ray, &hit);
        EXPECT_EQ(found, c.distance < 0 ? 0 : 1);
        if (found && c.distance >= 0) {
            EXPECT_NEAR(hit.distance, c.distance, 1e-12);
            EXPECT_EQ(hit.entering, c.entering);
            EXPECT_EQ(hit.object, obj);
        }
    }
}

inline std::string printLine(const Object* obj) {
    testing::internal::CaptureStdout();
    obj->printFn(obj);
    return testing::internal::GetCapturedStdout();
}

// f must end the run with status 1; returns what it wrote on standard error (or output).
template <typename F>
std::string abortMessage(F f, bool onStdout = false) {
    onStdout ? testing::internal::CaptureStdout() : testing::internal::CaptureStderr();
    int status = 0;
    try {
        f();
    } catch (const RunAbort& abort) {
        status = abort.status;
    }
    EXPECT_EQ(status, 1);
    return onStdout ? testing::internal::GetCapturedStdout() : testing::internal::GetCapturedStderr();
}
