// The slab test alone: one box at a time (the slab walk) and four at once (the query tree) must
// give the same verdict and, bit for bit, the same entry distance, whatever the boxes (flat,
// inverted, infinite, NaN) and the ray (zero direction components of either sign, starting inside,
// boxes behind it).
#include "objects/slabs.h"

#include <gtest/gtest.h>

#include <bit>
#include <cmath>
#include <cstdint>
#include <limits>
#include <random>

namespace {

constexpr double nan = std::numeric_limits<double>::quiet_NaN();
constexpr double inf = std::numeric_limits<double>::infinity();

struct Box {
    double lo[3];
    double hi[3];
};

// Four boxes laid out as a node of the query tree holds them: per axis, four lower and four upper bounds.
struct FourBoxes {
    double boundMin[3][4];
    double boundMax[3][4];

    void place(int lane, const Box& box) {
        for (int i = 0; i < 3; ++i) {
            boundMin[i][lane] = box.lo[i];
            boundMax[i][lane] = box.hi[i];
        }
    }
};

struct Entry {
    bool entered;
    double near;
};

// enterBox's answer for the box; the same box in all four lanes of enterBoxes must answer alike.
Entry enter(const Box& box, Vector origin, Vector direction, double maxDistance = 1e10) {
    const Ray ray{origin, direction};
    const RaySlabs slabs = raySlabs(&ray);
    Entry one{false, 0.0};
    one.entered = enterBox(box.lo, box.hi, slabs.origin, slabs.direction, maxDistance, &one.near);
    FourBoxes four{};
    for (int lane = 0; lane < 4; ++lane) four.place(lane, box);
    double near[4];
    EXPECT_EQ(enterBoxes(four, slabs, maxDistance, near), one.entered ? 0xFu : 0u);
    for (int lane = 0; one.entered && lane < 4; ++lane) {
        EXPECT_EQ(std::bit_cast<uint64_t>(near[lane]), std::bit_cast<uint64_t>(one.near)) << lane;
    }
    return one;
}

constexpr Box cube{{-1, -1, -1}, {1, 1, 1}};
constexpr Vector up{0, 0, 1};

TEST(Slabs, EntryDistanceFromInFrontOrInside) {
    EXPECT_EQ(enter(cube, {0, 0, -5}, up).near, 4.0);
    EXPECT_EQ(enter(cube, {0.5, 0.5, 0}, up).near, -1.0);  // inside: entered behind the origin
    const double s = std::sqrt(0.5);
    EXPECT_EQ(enter(cube, {-5, 0, -5}, {s, 0, s}).near, 4 / s);  // the later of the entries
}

TEST(Slabs, BoxesLeftBeforeTheSmallestDistanceAreRejected) {
    EXPECT_FALSE(enter(cube, {0, 0, 5}, up).entered);  // behind
    EXPECT_FALSE(enter({{-1, -1, -1}, {1, 1, 0.0005}}, {0, 0, 0}, up).entered);
    const Entry atLimit = enter({{-1, -1, -1}, {1, 1, 0.001}}, {0, 0, 0}, up);  // left at 0.001 exactly
    EXPECT_TRUE(atLimit.entered);
    EXPECT_EQ(atLimit.near, -1.0);
}

TEST(Slabs, BoxesEnteredBeyondTheMaximumDistanceAreRejected) {
    EXPECT_FALSE(enter(cube, {0, 0, -5}, up, 3.999).entered);
    EXPECT_TRUE(enter(cube, {0, 0, -5}, up, 4.0).entered);  // entered at the limit itself
    EXPECT_FALSE(enter(cube, {0, 0, 0}, up, 0.0005).entered);  // inside, but the limit is too near
}

TEST(Slabs, ZeroDirectionComponentsTestNoSlab) {
    // A ray along z beside the box is not rejected by x or y: the primitives decide.
    EXPECT_EQ(enter(cube, {5, -7, -5}, up).near, 4.0);
    EXPECT_EQ(enter(cube, {5, -7, -5}, {-0.0, -0.0, 1}).near, 4.0);
    EXPECT_EQ(enter(cube, {5, -7, 9}, {0, 0, 0}).near, -1e10);  // no slab at all: entered anywhere
    EXPECT_FALSE(enter(cube, {5, -7, 5}, up).entered);           // behind along z still counts
}

TEST(Slabs, NaNExtentsRejectNothingOnTheirAxis) {
    const Box nanX{{nan, -1, -1}, {nan, 1, 1}};
    const double s = std::sqrt(0.5);
    EXPECT_EQ(enter(nanX, {50, 0, -5}, {s, 0, s}).near, 4 / s);  // far beside it in x
    const Box allNaN{{nan, nan, nan}, {nan, nan, nan}};
    EXPECT_EQ(enter(allNaN, {1, 2, 3}, {s, 0, -s}).near, -1e10);
    // One NaN bound: the other bound's distance counts as an entry, and nothing bounds the exit.
    const Box halfNaN{{nan, -1, -1}, {1, 1, 1}};
    EXPECT_EQ(enter(halfNaN, {-5, 0, 0}, {1, 0, 0}).near, 6.0);
    EXPECT_EQ(enter(halfNaN, {5, 0, 0}, {1, 0, 0}).near, -4.0);
}

TEST(Slabs, InfiniteAndFlatBoxes) {
    const Box slab{{-inf, -inf, 0}, {inf, inf, 0}};  // a flat box, entered where it is left
    EXPECT_EQ(enter(slab, {3, 4, 2}, {0, 0, -1}).near, 2.0);
    EXPECT_EQ(enter(slab, {3, 4, 2}, {0.6, 0, -0.8}).near, 2.5);
    EXPECT_FALSE(enter({{1, -1, -1}, {-1, 1, 1}}, {0, 0, -5}, {0.6, 0, 0.8}).entered);  // inverted in x
}

// A value for one bound: mostly ordinary, now and then one of the values that break arithmetic.
double bound(std::mt19937& engine) {
    const double special[] = {nan, inf, -inf, 0.0, -0.0, 1e10, -1e10, 1e300, 5e-324};
    if (std::uniform_int_distribution<int>(0, 15)(engine) == 0) {
        return special[std::uniform_int_distribution<size_t>(0, std::size(special) - 1)(engine)];
    }
    return std::uniform_real_distribution<double>(-10, 10)(engine);
}

// Four different boxes, each in its own lane, against the one-box test: random boxes (some flat,
// some inverted, some with special bounds) and rays whose components are now and then zero.
TEST(Slabs, FourLanesAnswerAsFourSingleBoxes) {
    std::mt19937 engine(4242);
    std::uniform_real_distribution<double> coordinate(-12, 12);
    int entered = 0;
    for (int trial = 0; trial < 20000; ++trial) {
        FourBoxes four{};
        Box boxes[4];
        for (int lane = 0; lane < 4; ++lane) {
            for (int i = 0; i < 3; ++i) {
                const double a = bound(engine);
                const double b = trial % 5 == 0 ? a : bound(engine);
                boxes[lane].lo[i] = trial % 7 == 0 ? std::max(a, b) : std::min(a, b);
                boxes[lane].hi[i] = trial % 7 == 0 ? std::min(a, b) : std::max(a, b);
            }
            four.place(lane, boxes[lane]);
        }
        double d[3];
        for (double& c : d) c = std::uniform_int_distribution<int>(0, 5)(engine) == 0 ? 0.0 : coordinate(engine);
        const Ray ray{{coordinate(engine), coordinate(engine), coordinate(engine)}, {d[0], d[1], d[2]}};
        const double maxDistance = trial % 3 == 0 ? 1e10 : std::uniform_real_distribution<double>(0, 20)(engine);
        const RaySlabs slabs = raySlabs(&ray);
        double near[4];
        const unsigned mask = enterBoxes(four, slabs, maxDistance, near);
        for (int lane = 0; lane < 4; ++lane) {
            double oneNear = 0.0;
            const bool one = enterBox(boxes[lane].lo, boxes[lane].hi, slabs.origin, slabs.direction, maxDistance, &oneNear);
            ASSERT_EQ((mask >> lane & 1) != 0, one) << "trial " << trial << " lane " << lane;
            if (one) {
                ASSERT_EQ(std::bit_cast<uint64_t>(near[lane]), std::bit_cast<uint64_t>(oneNear)) << trial;
            }
            entered += one;
        }
    }
    EXPECT_GT(entered, 8000);  // both verdicts well represented
    EXPECT_LT(entered, 72000);
}

}  // namespace
