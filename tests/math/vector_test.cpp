#include "math/vector.h"

#include <gtest/gtest.h>

TEST(Vector, NormalisesInPlace) {
    Vector v{3.0, 4.0, 0.0};
    VecNorm(&v);
    EXPECT_DOUBLE_EQ(v.x, 0.6);
    EXPECT_DOUBLE_EQ(v.y, 0.8);
    EXPECT_EQ(v.z, 0.0);

    Vector unit{0.0, 0.0, 1.0};
    VecNorm(&unit);
    EXPECT_EQ(unit.z, 1.0);
}

TEST(Vector, ZeroLengthGivesNonFinite) {
    Vector zero{0.0, 0.0, 0.0};
    VecNorm(&zero);
    EXPECT_TRUE(std::isnan(zero.x));
}

TEST(Vector, CrossAndDot) {
    const Vector z = cross({1, 0, 0}, {0, 1, 0});
    EXPECT_EQ(z.x, 0.0);
    EXPECT_EQ(z.y, 0.0);
    EXPECT_EQ(z.z, 1.0);
    const Vector a = cross({0, 1, 0}, {1, 0, 0});
    EXPECT_EQ(a.z, -1.0);
    EXPECT_EQ(dot({1, 2, 3}, {4, -5, 6}), 12.0);
    EXPECT_EQ(length({2, 3, 6}), 7.0);
}
