// A conversion's context reaches the disk waits and commits of its own thread, and only while
// its scope lives.
#include "platform/conversion_context.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <thread>

#include "platform/cleanup.h"

namespace trelvane::platform {
namespace {

struct CountingObserver final : DiskWaitObserver {
    int waits = 0;
    int resumes = 0;
    void waiting() override { ++waits; }
    void resumed() override { ++resumes; }
};

void commit_one() {
    ASSERT_TRUE(begin_commit());
    end_commit(true);
}

TEST(ConversionContext, ReachesOnlyItsOwnThreadAndScope) {
    CountingObserver outer_waits, inner_waits;
    std::atomic<bool> outer_commit{false}, inner_commit{false};
    {
        const DiskWait before;  // no scope: nobody is told
    }
    commit_one();
    {
        const ConversionScope outer({&outer_waits, &outer_commit});
        {
            const ConversionScope inner({&inner_waits, &inner_commit});
            { const DiskWait wait; }
            commit_one();
        }
        EXPECT_EQ(inner_waits.waits, 1);
        EXPECT_EQ(inner_waits.resumes, 1);
        EXPECT_TRUE(inner_commit.load());
        // The outer context is back, and another thread's work reaches neither.
        std::thread([] {
            { const DiskWait wait; }
            commit_one();
        }).join();
        EXPECT_EQ(outer_waits.waits, 0);
        EXPECT_FALSE(outer_commit.load());
        { const DiskWait wait; }
        EXPECT_EQ(outer_waits.waits, 1);
    }
    { const DiskWait after; }
    EXPECT_EQ(outer_waits.waits, 1);
    EXPECT_EQ(conversion_context().disk_waits, nullptr);
    EXPECT_EQ(conversion_context().committed, nullptr);
}

}  // namespace
}  // namespace trelvane::platform
