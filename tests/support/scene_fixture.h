// Helpers for the tests that build scenes: a fixture that starts and ends each test with an empty
// object list and the start-up settings, rays, vertex arrays, hit points and fatal messages.
#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "app/run.h"
#include "app/settings.h"
#include "base/fatal.h"
#include "image/image.h"
#include "objects/data.h"
#include "objects/hierarchy/pqueue.h"
#include "objects/hierarchy/query_tree.h"
#include "render/render_settings.h"

class SceneTest : public testing::Test {
protected:
    void SetUp() override { reset(); }
    void TearDown() override { reset(); }
    static void reset() { resetRunState(); }
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

inline Vector hitPoint(const Ray& ray, const Hit& hit) { return ray.origin + hit.distance * ray.direction; }

// What f printed on standard error (or output) while it ended the run with the given status.
template <typename F>
std::string endsRun(F f, int status, bool onStdout = false) {
    onStdout ? testing::internal::CaptureStdout() : testing::internal::CaptureStderr();
    int got = 0;
    try {
        f();
    } catch (const RunAbort& abort) {
        got = abort.status;
    }
    const std::string out = onStdout ? testing::internal::GetCapturedStdout() : testing::internal::GetCapturedStderr();
    EXPECT_EQ(got, status) << out;
    return out;
}
