// The "Convert" page: filter, source and destination, "&Go" and "&Cancel", the result list (a
// virtual list view: it asks for the texts of the rows it shows), the progress bar and the
// status line. Owns the single conversion worker and the timer of the automatic passes; the
// pass itself and what it shows are the shared ones of gui/.
#pragma once

#include <windows.h>

#include <commctrl.h>

#include <array>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>

#include "app/batch_job.h"
#include "gui/conversion_pass.h"
#include "gui/pass_board.h"
#include "gui/pass_events.h"
#include "gui/window_files.h"
#include "gui/window_options.h"
#include "win32/window_support.h"

namespace trelvane::win32 {

struct PagePaths {
    std::string settings_path;
    std::string log_path;
    std::string log_parent_folder;  // created before the first log record when not empty
};

class ConvertPage {
  public:
    explicit ConvertPage(PagePaths paths);
    ~ConvertPage();
    ConvertPage(const ConvertPage&) = delete;
    ConvertPage& operator=(const ConvertPage&) = delete;

    HWND create(HWND parent);
    HWND window() const { return window_; }

    void set_window_options(const gui::WindowOptions& options) { options_ = options; }
    // Starts (or restarts) the cycle timer with the interval, or stops it.
    void set_cycle(int minutes, bool enabled);

    void start_conversion();
    // Converts the files as "&Go" converts chosen files, in a pass of their own: the source
    // text and the options stay as they are.
    void convert_selection(const gui::FileSelection& selection);
    void cancel_conversion();
    // Enter while the list has the focus opens the selected row's PDF.
    void enter_pressed();
    // Closing the window: the files being converted get gui::kStopWaitMs to finish; any still
    // running then is given up (its PDF never appears) and the record says so.
    void shut_down();
    bool running() const { return running_.load(); }
    // Saves the folders. False when the settings file could not be written.
    bool write_settings();

    void attach(HWND window) { window_ = window; }
    INT_PTR handle(UINT message, WPARAM w, LPARAM l);

  private:
    void initialise();
    void apply(gui::PassEvent& event);
    // Applies the events posted so far, then shows what they changed.
    void drain_events();
    void show_pending();
    void show_doing(int row);
    void show_progress(size_t done, size_t total);
    void show_row_count();
    // The columns share the list's width as the shared rule says, from the widest text each
    // has had in this pass.
    void measure(int column, const std::string& text);
    void fit_columns();
    void list_text(NMLVDISPINFOW& info);
    void open_row(int row);
    void start_pass(const std::optional<gui::FileSelection>& given);
    void collect(const gui::WindowOptions& options, const std::string& source_text,
                 const std::optional<gui::FileSelection>& chosen);
    void cycle_tick();
    void start_worker(bool skip_existing, const gui::WindowOptions& options);
    bool stop_worker();
    bool wait_for_worker(int timeout_ms);
    void join_finished_worker();
    void set_controls_busy(bool busy);
    void choose_source();
    void choose_destination();
    HWND control(int id) const { return GetDlgItem(window_, id); }

    PagePaths paths_;
    gui::WindowOptions options_;
    app::BatchJob job_;
    std::string source_folder_;
    std::optional<gui::FileSelection> chosen_files_;
    gui::ResultRows rows_;
    gui::PassTracker tracker_;
    std::array<int, gui::kResultColumns> widest_{};
    // What the events of a batch changed, for show_pending.
    struct PendingView {
        int first_row = -1;
        int last_row = -1;
        int visible_row = -1;
        int status_row = -1;
        bool progress = false;
        bool columns = false;
        void changed(int row) {
            first_row = first_row < 0 || row < first_row ? row : first_row;
            last_row = row > last_row ? row : last_row;
        }
    };
    PendingView pending_;
    std::array<int, gui::kResultColumns> header_width_{};
    std::wstring cell_;  // the text the list view was last handed; it reads it after we return
    std::atomic<bool> running_{false};
    std::atomic<bool> worker_done_{true};
    std::shared_ptr<gui::PassControl> control_;
    std::thread worker_;
    gui::PassEventQueue queue_;
    HWND window_ = nullptr;
    DialogColours colours_{kPageBackground, kConvertEditBackground};
};

}  // namespace trelvane::win32
