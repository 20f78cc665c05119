// The conversion pool with a stand-in for the conversion: results handed over in plan order
// however the files finish, each worker with a workspace of its own, no file started twice or
// after a stop.
#include "app/conversion_pool.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <future>
#include <mutex>
#include <set>
#include <thread>

#include "app/report_text.h"
#include "platform/processors.h"
#include "support/temp_dir.h"

namespace trelvane::app {
namespace {

using namespace std::chrono_literals;

std::vector<PlannedFile> plan_of(size_t count) {
    std::vector<PlannedFile> plan;
    for (size_t i = 0; i < count; ++i) {
        const std::string name = "/in/f" + std::to_string(i);
        plan.push_back({name + ".fxs", name + ".pdf", name + ".pdf"});
    }
    return plan;
}

TEST(ConversionPool, ResultsInPlanOrderWhateverOrderTheFilesFinishIn) {
    testsupport::TempDir tmp;
    constexpr size_t kFiles = 24;
    std::vector<PlannedFile> plan = plan_of(kFiles);
    plan[5].destination = "/in/f5 (2).pdf";  // a clash the plan resolved
    std::mutex mutex;
    std::set<const ConversionWorkspace*> workspaces;
    std::atomic<int> running{0};
    std::atomic<int> most_at_once{0};
    BatchJob job;
    ConversionPool pool(job, plan, 4,
                        [&](BatchJob&, const std::string& source, const std::string& pdf,
                            ConversionWorkspace& workspace) {
                            const int now = ++running;
                            for (int seen = most_at_once; now > seen;)
                                most_at_once.compare_exchange_weak(seen, now);
                            {
                                std::lock_guard<std::mutex> lock(mutex);
                                workspaces.insert(&workspace);
                            }
                            // Later files finish sooner.
                            const int index = std::stoi(source.substr(5));
                            std::this_thread::sleep_for(std::chrono::milliseconds(kFiles - index));
                            --running;
                            return status_outcome(source, pdf, FileStatus::Converted);
                        });
    int error = 0;
    ASSERT_TRUE(pool.create_workspaces(tmp.path(), error));
    std::atomic<size_t> finished{0};
    PoolHooks hooks;
    hooks.finished = [&](size_t, const FileOutcome&) { ++finished; };
    pool.start(hooks);
    for (size_t i = 0; i < kFiles; ++i) {
        const std::optional<FileOutcome> result = pool.take(i);
        ASSERT_TRUE(result) << i;
        std::string expected = plan[i].source + " --> " + plan[i].destination + " : Success !";
        if (i == 5)
            expected += " (/in/f5.pdf is the PDF of an earlier fax in this run)";
        EXPECT_EQ(report_line(*result), expected + "\r\n");
        EXPECT_EQ(result_code(*result), kConverted);
    }
    EXPECT_EQ(finished.load(), kFiles);
    EXPECT_EQ(pool.job_count(), 4u);
    EXPECT_EQ(pool.worker_count(), 8u);
    EXPECT_LE(workspaces.size(), 8u);
    EXPECT_GE(workspaces.size(), 4u);
    EXPECT_LE(most_at_once.load(), 4);
    EXPECT_GE(most_at_once.load(), 2);
    pool.stop();
    EXPECT_TRUE(pool.take_finished().empty());  // everything was handed over once
    EXPECT_FALSE(pool.take(0));
}

// While files wait for the disk, as many others start, yet never do more conversions use the
// processor at once than there are jobs. A file done waiting finishes even while every turn is
// held by a conversion that does not end.
TEST(ConversionPool, FilesWaitingForTheDiskGiveTheirTurnsToTheNext) {
    for (const unsigned jobs : {1u, 2u}) {
        SCOPED_TRACE(jobs);
        testsupport::TempDir tmp;
        const std::vector<PlannedFile> plan = plan_of(2 * jobs + 1);
        std::atomic<int> computing{0};
        std::atomic<int> most_computing{0};
        std::atomic<unsigned> later_files_started{0};
        std::atomic<unsigned> overlapped{0};
        std::promise<void> released;
        std::shared_future<void> release = released.get_future().share();
        const auto compute = [&] {
            const int now = ++computing;
            for (int seen = most_computing; now > seen;)
                most_computing.compare_exchange_weak(seen, now);
            std::this_thread::sleep_for(2ms);
            --computing;
        };
        const auto index_of = [&](const std::string& source) {
            for (size_t i = 0; i < plan.size(); ++i)
                if (plan[i].source == source)
                    return i;
            return plan.size();
        };
        BatchJob job;
        ConversionPool pool(
            job, plan, jobs,
            [&](BatchJob&, const std::string& source, const std::string&, ConversionWorkspace&) {
                const size_t index = index_of(source);
                if (index >= jobs)
                    ++later_files_started;
                compute();
                if (index < jobs) {
                    // Every job's file waits until as many others have started.
                    const platform::DiskWait wait;
                    for (int i = 0; i < 1000 && later_files_started < jobs; ++i)
                        std::this_thread::sleep_for(5ms);
                    if (later_files_started >= jobs)
                        ++overlapped;
                } else if (index < 2 * jobs) {
                    release.wait();  // until the waiting files are handed over
                }
                return FileOutcome{};
            });
        EXPECT_EQ(pool.worker_count(), 2 * jobs);
        int error = 0;
        ASSERT_TRUE(pool.create_workspaces(tmp.path(), error));
        pool.start();
        for (size_t i = 0; i < jobs; ++i)
            EXPECT_TRUE(pool.take(i)) << i;
        released.set_value();
        for (size_t i = jobs; i < plan.size(); ++i)
            EXPECT_TRUE(pool.take(i)) << i;
        EXPECT_EQ(overlapped.load(), jobs);
        EXPECT_LE(most_computing.load(), static_cast<int>(jobs));
    }
}

// Conversions running side by side are each kept on a processor of their own when the jobs
// fill the machine, as the system itself reports the threads' processors; fewer jobs leave the
// threads where the system puts them.
TEST(ConversionPool, JobsThatFillTheMachineEachKeepToAProcessor) {
    const std::vector<int> allowed = platform::allowed_processors();
    ASSERT_FALSE(allowed.empty());
    const unsigned machine = static_cast<unsigned>(allowed.size());
    for (const unsigned jobs : {machine, 1u}) {
        SCOPED_TRACE(jobs);
        testsupport::TempDir tmp;
        std::mutex mutex;
        std::vector<std::vector<int>> seen;  // the processors of each of the first files
        BatchJob job;
        ConversionPool pool(
            job, plan_of(3 * jobs), jobs,
            [&](BatchJob&, const std::string& source, const std::string&, ConversionWorkspace&) {
                // The first files run at once, each with a turn of its own, until
                // each has looked.
                if (std::stoul(source.substr(5)) >= jobs)
                    return FileOutcome{};
                std::unique_lock<std::mutex> lock(mutex);
                seen.push_back(platform::allowed_processors());
                for (int i = 0; i < 2000 && seen.size() < jobs; ++i) {
                    lock.unlock();
                    std::this_thread::sleep_for(1ms);
                    lock.lock();
                }
                return FileOutcome{};
            });
        int error = 0;
        ASSERT_TRUE(pool.create_workspaces(tmp.path(), error));
        pool.start();
        for (size_t i = 0; i < 3 * jobs; ++i)
            ASSERT_TRUE(pool.take(i)) << i;
        ASSERT_EQ(seen.size(), jobs);
        if (jobs == 1 || machine == 1) {
            EXPECT_EQ(seen[0], allowed);
            continue;
        }
        std::set<int> kept_on;
        for (const std::vector<int>& processors : seen) {
            ASSERT_EQ(processors.size(), 1u);
            EXPECT_NE(std::find(allowed.begin(), allowed.end(), processors[0]), allowed.end());
            kept_on.insert(processors[0]);
        }
        EXPECT_EQ(kept_on.size(), machine);
    }
}

TEST(ConversionPool, NoMoreJobsThanFiles) {
    BatchJob job;
    ConversionPool pool(job, plan_of(2), 16);
    EXPECT_EQ(pool.job_count(), 2u);
    EXPECT_EQ(pool.worker_count(), 2u);  // no file for a worker more
    ConversionPool empty(job, {}, 16);
    EXPECT_EQ(empty.job_count(), 1u);
    EXPECT_GE(default_job_count(), 1u);
}

// After a stop no file starts; a file that never started comes back empty at once, and the
// files that finished are handed over in plan order.
TEST(ConversionPool, StopLeavesTheRestAndHandsOverWhatFinished) {
    testsupport::TempDir tmp;
    std::atomic<bool> release{false};
    std::atomic<int> started{0};
    BatchJob job;
    ConversionPool pool(
        job, plan_of(10), 2,
        [&](BatchJob&, const std::string& source, const std::string&, ConversionWorkspace&) {
            ++started;
            if (source != "/in/f0.fxs") {
                while (!release)
                    std::this_thread::sleep_for(1ms);
            }
            return FileOutcome{};
        });
    int error = 0;
    ASSERT_TRUE(pool.create_workspaces(tmp.path(), error));
    pool.start();
    ASSERT_TRUE(pool.take(0));
    while (started < 3)  // f0 done, f1 and f2 waiting
        std::this_thread::sleep_for(1ms);
    pool.stop();
    EXPECT_FALSE(pool.take(3));  // never started, never will: no wait
    release = true;
    std::this_thread::sleep_for(50ms);
    EXPECT_EQ(started.load(), 3);
    // f1 and f2 finished after the stop without putting a PDF in place: not counted as done.
    EXPECT_TRUE(pool.take_finished().empty());
}

TEST(ConversionPool, WorkspacesThatCannotBeMadeStopEverything) {
    BatchJob job;
    ConversionPool pool(job, plan_of(3), 2);
    int error = 0;
    EXPECT_FALSE(pool.create_workspaces("/nonexistent-folder/", error));
    EXPECT_EQ(error, ENOENT);
}

// Jobs and workers for a plan: a stand-in per job, at most four; never more than the files;
// and only as many as the descriptors left can hold (nine a worker, 32 kept back).
TEST(ConversionPool, SizeFollowsTheFilesTheJobsAndTheDescriptors) {
    struct Case {
        size_t files;
        unsigned jobs;
        size_t free_descriptors;
        unsigned want_jobs;
        size_t want_workers;
    };
    for (const Case& c :
         {Case{24, 4, 20000, 4, 8}, Case{300, 64, 20000, 64, 68}, Case{3, 8, 20000, 3, 3},
          Case{600, 256, 1000, 107, 107}, Case{600, 2, 60, 2, 3}, Case{600, 4, 0, 1, 1}}) {
        SCOPED_TRACE(testing::Message() << c.files << " files, " << c.jobs << " jobs, "
                                        << c.free_descriptors << " descriptors");
        const PoolSize size = pool_size(c.files, c.jobs, c.free_descriptors);
        EXPECT_EQ(size.jobs, c.want_jobs);
        EXPECT_EQ(size.workers, c.want_workers);
    }
}

}  // namespace
}  // namespace trelvane::app
