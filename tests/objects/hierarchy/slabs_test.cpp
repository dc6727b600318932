// The slab test alone, whatever the boxes (flat, inverted, infinite, NaN) and the ray (zero
// direction components, starting inside): its verdicts and entry distances, and the query tree's
// quick test of four boxes at once, which must pass every box the slab test enters, at an entry
// no later.
#include "objects/hierarchy/slabs.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <optional>
#include <random>
#include <utility>

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();

struct Box {
    double lo[3], hi[3];
};

// The four boxes, one a lane of a query tree node (per axis, four lower and four upper bounds, as
// the tree holds them: ends ordered, an axis with no number at either end the whole axis), through
// the quick test: every box the slab test enters must pass, at an entry no later. The number of
// boxes the slab test enters; the last one's entry distance in *near.
int enterFour(const Box (&boxes)[4], const Ray& ray, double maxDistance, double* near, int trial) {
    struct {
        double boundMin[3][4], boundMax[3][4];
    } four{};
    for (int lane = 0; lane < 4; ++lane)
        for (int i = 0; i < 3; ++i) {
            const double lo = boxes[lane].lo[i], hi = boxes[lane].hi[i];
            const bool unknown = std::isnan(lo) || std::isnan(hi);
            four.boundMin[i][lane] = unknown ? -inf : std::min(lo, hi);
            four.boundMax[i][lane] = unknown ? inf : std::max(lo, hi);
        }
    const RaySlabs slabs = raySlabs(&ray);
    double quick[4];
    const unsigned mask = mayEnterBoxes(four, slabs, maxDistance, quick);
    int entered = 0;
    for (int lane = 0; lane < 4; ++lane) {
        if (!enterBox(boxes[lane].lo, boxes[lane].hi, slabs.origin, slabs.direction, maxDistance, near)) continue;
        ++entered;
        EXPECT_TRUE(mask >> lane & 1) << "trial " << trial << " lane " << lane;
        EXPECT_FALSE(quick[lane] > *near) << "trial " << trial << " lane " << lane;
    }
    return entered;
}

// One box, one ray: the entry distance, or none when the ray does not enter. Zero direction
// components test no slab (the primitives decide); a NaN bound compares false, so it rejects
// nothing by itself, and beside a finite bound that bound's distance counts as an entry with
// nothing bounding the exit.
TEST(Slabs, EntryDistanceOrRejection) {
    const Box cube{{-1, -1, -1}, {1, 1, 1}}, halfNaN{{nan, -1, -1}, {1, 1, 1}};
    const Box floor{{-inf, -inf, 0}, {inf, inf, 0}};  // entered where it is left
    const Vector up{0, 0, 1};
    const double diagonal = std::sqrt(0.5);
    const struct {
        Box box;
        Vector origin, direction;
        double maxDistance;
        std::optional<double> near;
    } cases[] = {
        {cube, {0, 0, -5}, up, 1e10, 4.0},
        {cube, {0.5, 0.5, 0}, up, 1e10, -1.0},                                // entered behind the origin
        {{{-1, -1, -1}, {1, 1, 0.0005}}, {0, 0, 0}, up, 1e10, std::nullopt},  // left before 0.001
        {{{-1, -1, -1}, {1, 1, 0.001}}, {0, 0, 0}, up, 1e10, -1.0},           // left at 0.001 exactly
        {cube, {0, 0, -5}, up, 3.999, std::nullopt},                          // entered beyond the maximum distance
        {cube, {0, 0, -5}, up, 4.0, 4.0},                                     // entered at the limit itself
        {cube, {5, -7, -5}, up, 1e10, 4.0},                                   // beside the box in x and y
        {cube, {5, -7, 5}, up, 1e10, std::nullopt},                           // z still rejects
        {{{nan, -1, -1}, {nan, 1, 1}}, {50, 0, -5}, {diagonal, 0, diagonal}, 1e10, 4 / diagonal},
        {halfNaN, {-5, 0, 0}, {1, 0, 0}, 1e10, 6.0},
        {floor, {3, 4, 2}, {0, 0, -1}, 1e10, 2.0},
        {{{1, -1, -1}, {-1, 1, 1}}, {0, 0, -5}, {0.6, 0, 0.8}, 1e10, std::nullopt},  // inverted
    };
    int row = 0;
    for (const auto& c : cases) {
        double near = 0.0;
        const Box four[4] = {c.box, c.box, c.box, c.box};
        const bool entered = enterFour(four, {c.origin, c.direction}, c.maxDistance, &near, row) > 0;
        EXPECT_EQ(entered ? std::optional(near) : std::nullopt, c.near) << "row " << row++;
    }
}

// Four different boxes, one a lane: random boxes (flat ones, inverted ones, now and then a bound
// that breaks arithmetic) and rays with zero or tiny components.
TEST(Slabs, TheQuickTestPassesEveryBoxTheSlabTestEnters) {
    std::mt19937 engine(4242);
    std::uniform_real_distribution<double> coordinate(-12, 12);
    auto oneIn = [&](int n) { return std::uniform_int_distribution<int>(1, n)(engine) == 1; };
    const double special[] = {nan, inf, -inf, 0.0, -0.0, 1e10, -1e10, 1e300, 5e-324};
    auto bound = [&] { return oneIn(16) ? special[engine() % std::size(special)] : coordinate(engine); };
    int entered = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        Box boxes[4];
        for (Box& box : boxes)
            for (int i = 0; i < 3; ++i) {
                box.lo[i] = bound(), box.hi[i] = trial % 5 == 0 ? box.lo[i] : bound();
                if ((box.lo[i] > box.hi[i]) != (trial % 7 == 0)) std::swap(box.lo[i], box.hi[i]);
            }
        const Vector origin{coordinate(engine), coordinate(engine), coordinate(engine)};
        Vector direction{coordinate(engine), coordinate(engine), coordinate(engine)};
        if (oneIn(3)) (oneIn(2) ? direction.x : direction.z) = oneIn(2) ? 0.0 : -0.0;
        if (oneIn(5)) direction.y = 1e-12 * coordinate(engine);
        const double maxDistance = oneIn(3) ? 1e10 : std::uniform_real_distribution<double>(0, 20)(engine);
        double near;
        entered += enterFour(boxes, {origin, direction}, maxDistance, &near, trial);
    }
    EXPECT_GT(entered, 8000);  // both verdicts well represented
    EXPECT_LT(entered, 72000);
}

}  // namespace
