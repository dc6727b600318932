#include "math/random.h"

#include <gtest/gtest.h>

#include <thread>
#include <vector>

// A thread drawing in runs still takes the shared sequence's values, in order, each once; the
// calling thread keeps drawing straight from rand().
TEST(RandomThreads, RunsAreConsecutiveValuesOfTheSharedSequence) {
    std::srand(5);
    std::vector<int> expected(3 * randomRunLength);
    for (int& v : expected) v = std::rand();

    std::srand(5);
    std::vector<double> drawn;
    std::thread band([&] {
        drawRandomInRuns();
        for (int k = 0; k < randomRunLength + 6; ++k) drawn.push_back(randomUnit());  // into a second run
    });
    band.join();
    EXPECT_FALSE(randomInRuns);
    for (int k = 0; k < randomRunLength + 6; ++k) ASSERT_EQ(drawn[k], expected[k] / 2147483647.0) << k;
    EXPECT_EQ(std::rand(), expected[2 * randomRunLength]);  // two runs were taken
    std::srand(1);
}
