#include "base/tasks.h"

#include <gtest/gtest.h>

#include <atomic>
#include <stdexcept>

#include "base/fatal.h"

// A task that ends the run (a build that runs out of memory, say) ends runTasks with the same
// exception once every thread has stopped, whatever the number of threads; the other tasks' work
// is not lost on the way, and a pool without failures runs every task once.
TEST(Tasks, AFailureReachesTheCallerAndEveryOtherTaskRunsOnce) {
    for (const int threads : {1, 2, 4}) {
        std::atomic<int> runs[200]{};
        EXPECT_NO_THROW(runTasks(threads, 200, [&](size_t k) { ++runs[k]; }));
        for (const auto& count : runs) EXPECT_EQ(count.load(), 1) << threads << " threads";

        std::atomic<int> done{0};
        try {
            runTasks(threads, 200, [&](size_t k) {
                if (k == 37) abortRun(7);
                ++done;
            });
            ADD_FAILURE() << "no failure with " << threads << " threads";
        } catch (const RunAbort& abort) {
            EXPECT_EQ(abort.status, 7);
        }
        EXPECT_LT(done.load(), 200);
        EXPECT_THROW(runTasks(threads, 3, [](size_t) { throw std::runtime_error("lost"); }), std::runtime_error);
    }
}
