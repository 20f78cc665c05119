// The result list's parts: how the columns share the width, how paths are shortened, the
// model's rows arriving in any order, and the hand-over of a pass's events from worker threads.
#include <gtest/gtest.h>

#include <QEventLoop>
#include <QFontMetrics>
#include <QThread>
#include <QTimer>
#include <string>
#include <thread>
#include <vector>

#include "gui/column_fit.h"
#include "gui/pass_feed.h"
#include "gui/result_list_model.h"
#include "gui/result_list_view.h"
#include "gui_test_support.h"

namespace trelvane::gui {
namespace {

TEST(ColumnFit, WholeTextsWhenTheyFitPathsGiveWayFirstWhenNot) {
    struct Case {
        const char* what;
        std::array<ColumnNeed, 3> needs;
        int available;
        std::array<int, 3> expected;
    };
    const Case cases[] = {
        {"room to spare goes to the results",
         {{{100, 50}, {120, 50}, {80, 40}}},
         500,
         {100, 120, 280}},
        {"exactly enough", {{{100, 50}, {120, 50}, {80, 40}}}, 300, {100, 120, 80}},
        {"paths shrink in proportion, the result stays whole",
         {{{300, 100}, {500, 100}, {200, 60}}},
         600,
         {166, 234, 200}},
        {"a long result takes at most half",
         {{{300, 100}, {300, 100}, {900, 60}}},
         600,
         {150, 150, 300}},
        {"paths fit beside a capped result, which takes the rest",
         {{{100, 50}, {100, 50}, {900, 60}}},
         600,
         {100, 100, 400}},
        {"minimums hold, the result takes what is left",
         {{{300, 100}, {300, 100}, {300, 60}}},
         260,
         {100, 100, 60}},
        {"wanted below minimum counts as the minimum",
         {{{10, 50}, {10, 50}, {10, 40}}},
         140,
         {50, 50, 40}},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(fit_column_widths(c.needs, c.available), c.expected) << c.what;
        const std::array<int, 3> w = fit_column_widths(c.needs, c.available);
        const int minimums = c.needs[0].minimum + c.needs[1].minimum + c.needs[2].minimum;
        EXPECT_EQ(w[0] + w[1] + w[2], std::max(c.available, minimums)) << c.what;
    }
}

TEST(ElidePath, KeepsTheFileNameWholeWhileThereIsRoom) {
    guitest::test_application();
    const QFontMetrics metrics(QApplication::font());
    const QString path =
        QStringLiteral("/home/someone/Documents/Faxes/Inbox 2009/fax-2009-04-01.fxs");
    EXPECT_EQ(elide_path(path, metrics, metrics.horizontalAdvance(path)), path);

    const QString name = QStringLiteral("/fax-2009-04-01.fxs");
    for (const int extra : {50, 90, 150}) {
        const int width = metrics.horizontalAdvance(name) + extra;
        const QString shown = elide_path(path, metrics, width);
        EXPECT_TRUE(shown.endsWith(name)) << shown.toStdString();
        EXPECT_TRUE(shown.startsWith(QStringLiteral("/"))) << shown.toStdString();
        EXPECT_TRUE(shown.contains(QChar(0x2026))) << shown.toStdString();
        EXPECT_LE(metrics.horizontalAdvance(shown), width) << shown.toStdString();
    }
    // Too narrow even for the name: the whole path is elided in its middle.
    const int tiny = metrics.horizontalAdvance(name) / 2;
    const QString shown = elide_path(path, metrics, tiny);
    EXPECT_LE(metrics.horizontalAdvance(shown), tiny);
    EXPECT_FALSE(shown.endsWith(name));
}

TEST(ResultListModel, RowsArriveInAnyOrderAndTooltipsHoldTheWholeText) {
    guitest::test_application();
    ResultListModel model;
    model.set_started(2, "/in/c.fxs");  // a later file reported first
    ASSERT_EQ(model.rowCount(), 3);
    EXPECT_EQ(model.text(0, 0), "");
    model.set_finished(2, "/out/c.pdf", "Converted!");
    model.set_started(0, "/in/a.fxs");
    model.set_finished(0, "", "Failed : Not Fax");
    model.set_finished(4, "/out/e.pdf", "Converted!");  // finished without a start seen
    ASSERT_EQ(model.rowCount(), 5);
    EXPECT_EQ(model.text(2, ResultListModel::kSourceColumn), "/in/c.fxs");
    EXPECT_EQ(model.text(2, ResultListModel::kPdfColumn), "/out/c.pdf");
    EXPECT_EQ(model.text(0, ResultListModel::kResultColumn), "Failed : Not Fax");
    EXPECT_EQ(model.data(model.index(0, 2), Qt::ToolTipRole), "Failed : Not Fax");
    EXPECT_FALSE(model.data(model.index(0, 1), Qt::ToolTipRole).isValid());  // empty cell
    EXPECT_FALSE(model.data(model.index(0, 0), Qt::DecorationRole).isNull());
    model.clear();
    EXPECT_EQ(model.rowCount(), 0);
    EXPECT_EQ(model.rows().capacity(), 0u);
}

// Workers post without waiting; the window's thread gets every event, each worker's in its own
// order, also when one event opens an event loop of its own (a message box) meanwhile.
TEST(PassFeed, EventsFromSeveralThreadsArriveOnTheWindowThreadInOrder) {
    guitest::test_application();
    QObject receiver;
    constexpr int kThreads = 4;
    constexpr int kEach = 2000;
    std::vector<std::vector<int>> seen(kThreads);
    bool all_on_window_thread = true;
    bool nested_once = false;
    PassFeed feed(&receiver, [&](PassEvent& event) {
        all_on_window_thread =
            all_on_window_thread && QThread::currentThread() == receiver.thread();
        seen.at(static_cast<size_t>(event.number)).push_back(std::stoi(event.text));
        if (!nested_once) {
            nested_once = true;
            QEventLoop loop;  // as a modal message box would
            QTimer::singleShot(50, &loop, &QEventLoop::quit);
            loop.exec();
        }
    });
    std::vector<std::thread> workers;
    for (int t = 0; t < kThreads; ++t) {
        workers.emplace_back([&feed, t] {
            for (int i = 0; i < kEach; ++i) {
                feed.post({PassEvent::Kind::Status, t, std::to_string(i), {}});
            }
        });
    }
    for (std::thread& worker : workers) {
        worker.join();
    }
    ASSERT_TRUE(guitest::process_events_until([&] {
        size_t total = 0;
        for (const auto& s : seen) {
            total += s.size();
        }
        return total == kThreads * kEach;
    }));
    EXPECT_TRUE(all_on_window_thread);
    for (int t = 0; t < kThreads; ++t) {
        std::vector<int> expected(kEach);
        for (int i = 0; i < kEach; ++i) {
            expected[static_cast<size_t>(i)] = i;
        }
        EXPECT_EQ(seen[static_cast<size_t>(t)], expected) << "worker " << t;
    }
}

}  // namespace
}  // namespace trelvane::gui
