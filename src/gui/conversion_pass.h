// One conversion pass of the window: converts the collected files on the conversion pool,
// several at once, tells the window what happens through a PassView, and appends the pass's
// report to the log in list order. Runs on a thread of its own; nothing here touches a widget.
#pragma once

#include <cstdint>
#include <functional>
#include <mutex>
#include <string>

#include "app/batch_job.h"
#include "app/fax_settling.h"
#include "app/file_outcome.h"
#include "gui/window_options.h"

// Not included here: Qt's keyword macros clash with names in the pool's header.
namespace trelvane::app {
class ConversionPool;
class ConversionWorkspace;
}  // namespace trelvane::app

namespace trelvane::gui {

// The window as a pass sees it. The file calls come from the conversion threads, several at a
// time and in any order; no call may wait for the window.
class PassView {
  public:
    virtual ~PassView() = default;
    // Controls disabled, list emptied, progress at 0, wait cursor.
    virtual void pass_started() = 0;
    virtual void save_folder_failed(const std::string& message) = 0;
    // Nothing is converted: the work files could not be made (message says where and why).
    virtual void work_files_failed(const std::string& message) = 0;
    // Nothing is converted: searchable PDFs were asked for and the languages cannot be read
    // (message says which package to install).
    virtual void recognition_unavailable(const std::string& message) { (void)message; }
    virtual void file_started(int row, const std::string& source_path) = 0;
    // Searchable PDFs: pages recognised so far in the pass (from a recognition thread).
    virtual void pages_recognised(uint64_t pages) { (void)pages; }
    // What became of the file (app::row_text words it for the row; its PDF is there to open
    // when app::pdf_in_place says so).
    virtual void file_finished(int row, const app::FileOutcome& outcome) = 0;
    virtual void status_changed(const std::string& status) = 0;
    // After the log record: controls restored, arrow cursor.
    virtual void pass_finished(int converted) = 0;
};

// The conversion of one file (the same type as app::FileConverter).
using ConvertFunction = std::function<app::FileOutcome(
    app::BatchJob& job, const std::string& source, const std::string& destination,
    app::ConversionWorkspace& workspace)>;
using PassClock = std::function<app::SettleClock::time_point()>;

struct PassRequest {
    app::BatchJob job;  // files, source, filter and skip_existing as the starter prepared them
    std::string source_folder;
    std::string destination;
    WindowOptions options;
    std::string log_path;
    std::string log_parent_folder;  // created before the log record when not empty
    ConvertFunction convert;        // convert_one_fax unless a test puts something else here
    PassClock clock;                // "now" for the settle rule; the system's clock when empty
};

// How the window stops a pass, from its own thread.
class PassControl {
  public:
    enum class Reason { Cancelled, WindowClosed };

    // No file starts from now on; the files being converted finish and are reported.
    void stop(Reason reason = Reason::Cancelled);
    // For a window that closes and cannot wait any longer: the files still being converted are
    // given up. From now on no PDF is put in place anywhere in the process (one being put in
    // place completes, waited for a short while), so the record says which files were not
    // converted. Only for the end of the process.
    void abandon();
    bool stopped() const;
    bool abandoned() const;
    Reason reason() const;

    // The pass's pool, while it runs (nullptr: none); stopped at once after a stop.
    void attach(app::ConversionPool* pool);

  private:
    mutable std::mutex mutex_;
    app::ConversionPool* pool_ = nullptr;
    bool stopped_ = false;
    bool abandoned_ = false;
    Reason reason_ = Reason::Cancelled;
};

// Returns the number of files converted.
int run_conversion_pass(PassRequest& request, PassView& view, PassControl& control);

}  // namespace trelvane::gui
