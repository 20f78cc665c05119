// One conversion pass of the window: converts the collected files one by one, tells the window
// what happens through a PassView, and appends the pass's report to the log. Runs on the
// worker thread; nothing here touches a widget.
#pragma once

#include <atomic>
#include <functional>
#include <string>

#include "app/batch_job.h"
#include "gui/window_options.h"

namespace trelvane::gui {

// The window as the worker sees it. Each call returns only after the window has handled it.
class PassView {
  public:
    virtual ~PassView() = default;
    // Controls disabled, list emptied, progress at 0, wait cursor.
    virtual void pass_started() = 0;
    virtual void save_folder_failed() = 0;
    virtual void file_started(int row, const std::string& source_path) = 0;
    // pdf_path is empty unless the file was converted.
    virtual void file_finished(int row, const std::string& pdf_path, const std::string& result) = 0;
    virtual void status_changed(const std::string& status) = 0;
    // After the log record: controls restored, arrow cursor.
    virtual void pass_finished(int converted) = 0;
};

using ConvertFunction = std::function<int(app::BatchJob&, const std::string&, const std::string&)>;

struct PassRequest {
    app::BatchJob job;  // files, source, filter and skip_existing as the starter prepared them
    std::string source_folder;
    std::string destination;
    WindowOptions options;
    std::string log_path;
    std::string log_parent_folder;  // created before the log record when not empty
    ConvertFunction convert;        // convert_fax_file unless a test puts something else here
};

// Returns the number of files converted. Stops between files once `stop` is set.
int run_conversion_pass(PassRequest& request, PassView& view, const std::atomic<bool>& stop);

std::string done_status_text(int converted);

}  // namespace trelvane::gui
