// What the Convert page shows of a pass, without a toolkit: the checks before a pass, the file
// the status line names while several convert at once, the progress, and the events carried
// from the pass's threads in order.
#include <gtest/gtest.h>

#include <atomic>
#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/report_text.h"
#include "gui/pass_board.h"
#include "gui/pass_events.h"
#include "support/temp_dir.h"

namespace trelvane::gui {
namespace {

using testsupport::TempDir;

TEST(PassBoard, RefusesAPassForEachMissingOrUnusableFolder) {
    TempDir dir;
    const std::string file = dir.file("not-a-folder");
    std::FILE* f = std::fopen(file.c_str(), "wb");
    ASSERT_NE(f, nullptr);
    std::fclose(f);
    const std::string missing = dir.file("gone");
    struct Case {
        std::string source;
        std::string destination;
        std::optional<std::string> text;  // nothing: the pass may start
        bool error;
    };
    const Case cases[] = {
        {"", dir.path(), kNoSourceWarning, false},
        {missing, dir.path(), kMissingSourceWarning + missing + kMissingSourceAdvice, false},
        {dir.path(), "", kNoDestinationWarning, false},
        {dir.path(), file, app::save_folder_not_folder_text(file), true},
        {dir.path(), dir.file("new-save-folder"), std::nullopt, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.source + " -> " + c.destination);
        const std::optional<PassRefusal> refusal = pass_refusal(c.source, c.destination);
        ASSERT_EQ(refusal.has_value(), c.text.has_value());
        if (refusal) {
            EXPECT_EQ(refusal->text, *c.text);
            EXPECT_EQ(refusal->error, c.error);
            EXPECT_EQ(refusal->caption, c.error ? "Error" : "Warning");
        }
    }
}

TEST(PassBoard, StatusNamesTheLastStartedFileStillConverting) {
    PassTracker tracker;
    tracker.collected(4);
    tracker.pass_started();
    EXPECT_EQ(tracker.file_started(0), 0);
    EXPECT_EQ(tracker.file_started(1), 1);
    EXPECT_EQ(tracker.file_started(2), 2);
    EXPECT_EQ(tracker.file_finished(0), -1);  // not the one named: the status stays
    EXPECT_EQ(tracker.file_finished(2), 1);   // the named one: back to the last still running
    EXPECT_EQ(tracker.pages_recognised(7), 1);
    EXPECT_EQ(tracker.pages(), 7u);
    EXPECT_EQ(tracker.file_finished(1), -1);  // none left to name
    EXPECT_EQ(tracker.done(), 3u);
    EXPECT_EQ(tracker.total(), 4u);
    tracker.pass_started();
    EXPECT_EQ(tracker.done(), 0u);
    EXPECT_EQ(tracker.pages(), 0u);
}

TEST(PassBoard, ProgressFitsAnIntAndNeverPassesItsEnd) {
    struct Case {
        size_t done, total;
        int maximum, value;
    };
    const Case cases[] = {
        {0, 0, 1, 0},
        {3, 10, 10, 3},
        {12, 10, 10, 10},
    };
    for (const Case& c : cases) {
        const ProgressSteps steps = progress_steps(c.done, c.total);
        EXPECT_EQ(steps.maximum, c.maximum) << c.total;
        EXPECT_EQ(steps.value, c.value) << c.done;
    }
    // Beyond what an int counts: to scale, half way still shows half way.
    const ProgressSteps big = progress_steps(size_t{1} << 31, size_t{1} << 32);
    EXPECT_GT(big.maximum, 0);
    EXPECT_NEAR(static_cast<double>(big.value) / big.maximum, 0.5, 1e-6);
}

TEST(PassBoard, RowsGrowToTheRowReportedAndForgetAPassOnClear) {
    ResultRows rows;
    rows.row(2).source = "c.fxd";
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows.text(0, kSourceColumn), "");
    rows.row(0) = ResultRow{"a.fxd", "a.pdf", "Converted!", false};
    EXPECT_EQ(rows.text(0, kPdfColumn), "a.pdf");
    EXPECT_EQ(rows.text(0, kResultColumn), "Converted!");
    EXPECT_EQ(rows.size(), 3u);
    rows.clear();
    EXPECT_EQ(rows.size(), 0u);
}

// Four threads post at once; the window's thread applies every event once, each thread's in its
// own order, with far fewer wakes than events.
TEST(PassBoard, EventsFromManyThreadsArriveOnceEachInTheirOrder) {
    std::atomic<int> wakes{0};
    PassEventQueue queue([&] { ++wakes; });
    constexpr int kThreads = 4;
    constexpr int kEach = 5000;
    std::vector<std::thread> threads;
    for (int t = 0; t < kThreads; ++t) {
        threads.emplace_back([&queue, t] {
            QueuedPassView view(queue);
            for (int i = 0; i < kEach; ++i) {
                view.file_started(t * kEach + i, "f");
            }
        });
    }
    std::vector<int> last(kThreads, -1);
    int applied = 0;
    bool in_order = true;
    const auto apply = [&](PassEvent& event) {
        ASSERT_EQ(event.kind, PassEvent::Kind::FileStarted);
        const int t = event.number / kEach;
        in_order = in_order && event.number > last[t];
        last[t] = event.number;
        ++applied;
    };
    while (applied < kThreads * kEach) {
        queue.drain(apply);
        std::this_thread::yield();
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    queue.drain(apply);
    EXPECT_EQ(applied, kThreads * kEach);
    EXPECT_TRUE(in_order);
    EXPECT_LT(wakes.load(), applied);
}

// A message box shown while an event is applied runs its own loop, which may drain again.
PassEvent status_event(int number) {
    PassEvent event;
    event.number = number;
    return event;
}

// One batch a drain: what comes meanwhile waits for the next wake, so the window handles its
// own input (a click on Cancel) between batches.
TEST(PassBoard, ADrainFromInsideAnEventKeepsTheOrderAndLeavesLaterEventsToTheNextWake) {
    int wakes = 0;
    PassEventQueue queue([&wakes] { ++wakes; });
    std::vector<int> seen;
    std::function<void(PassEvent&)> apply = [&](PassEvent& event) {
        seen.push_back(event.number);
        if (event.number == 0) {
            queue.post(status_event(2));
            queue.drain(apply);  // returns at once; event 2 waits its turn
        }
    };
    queue.post(status_event(0));
    queue.post(status_event(1));
    EXPECT_EQ(wakes, 1);
    queue.drain(apply);
    EXPECT_EQ(seen, (std::vector<int>{0, 1}));
    EXPECT_EQ(wakes, 2);  // asked for the event that came meanwhile
    queue.drain(apply);
    EXPECT_EQ(seen, (std::vector<int>{0, 1, 2}));
    EXPECT_EQ(wakes, 2);  // nothing left: no further wake
}

}  // namespace
}  // namespace trelvane::gui
