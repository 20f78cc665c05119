// The settle rule on modification times around "now", to the nanosecond.
#include "app/fax_settling.h"

#include <gtest/gtest.h>

#include <chrono>
#include <string>

#include "app/conversion_workspace.h"
#include "app/report_text.h"
#include "support/temp_dir.h"

namespace trelvane::app {
namespace {

using std::chrono::nanoseconds;

platform::FileTimes modified_at(SettleClock::time_point when) {
    const int64_t ns = std::chrono::duration_cast<nanoseconds>(when.time_since_epoch()).count();
    platform::FileTimes times;
    times.modification_seconds = ns / 1000000000;
    times.modification_nanoseconds = ns % 1000000000;
    return times;
}

TEST(FaxSettling, OnlyAChangeWithinTenSecondsOfNowCounts) {
    const SettleClock::time_point now =
        SettleClock::time_point(std::chrono::seconds(1700000000)) + nanoseconds(250);
    struct Case {
        nanoseconds before_now;  // negative: in the future
        bool settling;
    };
    const Case cases[] = {
        {std::chrono::hours(1), false},
        {std::chrono::seconds(10) + nanoseconds(1), false},
        {std::chrono::seconds(10), false},  // exactly ten seconds ago: settled
        {std::chrono::seconds(10) - nanoseconds(1000), true},
        {std::chrono::seconds(3), true},
        {nanoseconds(0), true},
        {-std::chrono::seconds(10), true},  // a server clock a little ahead
        {-std::chrono::seconds(10) - nanoseconds(1000), false},
        {-std::chrono::hours(24 * 365), false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(changed_too_recently(modified_at(now - c.before_now), now), c.settling)
            << c.before_now.count() << " ns before now";
    }
}

TEST(FaxSettling, AFileIsJudgedByItsModificationTime) {
    testsupport::TempDir dir;
    const std::string fax = dir.file("a.fxs");
    ASSERT_TRUE(testsupport::write_file(fax, "being written"));
    const SettleClock::time_point written = SettleClock::now();
    EXPECT_TRUE(fax_still_settling(fax, written));
    EXPECT_FALSE(fax_still_settling(fax, written + std::chrono::minutes(1)));
    EXPECT_FALSE(fax_still_settling(dir.file("missing.fxs"), written));
}

// A run that skips leaves a settling fax with its own line and code, and converts the others.
TEST(FaxSettling, SettlingFaxesAreLeftForTheNextRun) {
    testsupport::TempDir dir;
    const std::string fax = dir.file("a.fxs");
    ASSERT_TRUE(testsupport::write_file(fax, "being written"));
    const SettleClock::time_point written = SettleClock::now();
    int converted = 0;
    const SettlingConverter convert = [&](BatchJob&, const std::string& source,
                                          const std::string& pdf, ConversionWorkspace&) {
        ++converted;
        return status_outcome(source, pdf, FileStatus::Converted);
    };
    struct Case {
        SettleClock::time_point now;
        FileStatus left;
        int code;
        std::string line;
    };
    const Case cases[] = {
        {written, FileStatus::LeftForNextRun, kLeftForNextRun,
         fax + " --> x.pdf : " + std::string(kLeftForNextRunText) + "\r\n"},
        {written, FileStatus::LeftForNextPass, kLeftForNextRun,
         fax + " --> x.pdf : " + std::string(kLeftForNextPassText) + "\r\n"},
        {written + std::chrono::minutes(1), FileStatus::LeftForNextRun, kConverted,
         fax + " --> x.pdf : Success !\r\n"},
    };
    for (const Case& c : cases) {
        BatchJob job;
        const SettlingConverter settled = settle_first(convert, c.left, [&] { return c.now; });
        ConversionWorkspace workspace;
        const FileOutcome outcome = settled(job, fax, "x.pdf", workspace);
        EXPECT_EQ(result_code(outcome), c.code);
        EXPECT_EQ(report_line(outcome), c.line);
    }
    EXPECT_EQ(converted, 1);
}

}  // namespace
}  // namespace trelvane::app
