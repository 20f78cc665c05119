// The "Convert" page: filter, source and destination, "&Go" and "&Cancel", the result list,
// the progress bar and the status line. Owns the single conversion worker and the timer of the
// automatic cycles.
#pragma once

#include <QTimer>
#include <QWidget>
#include <atomic>
#include <memory>
#include <optional>
#include <string>
#include <thread>
#include <vector>

#include "app/batch_job.h"
#include "gui/conversion_pass.h"
#include "gui/pass_board.h"
#include "gui/pass_feed.h"
#include "gui/window_files.h"
#include "gui/window_options.h"

class QCheckBox;
class QLabel;
class QLineEdit;
class QProgressBar;
class QPushButton;
class QToolButton;

namespace trelvane::gui {

class Prompter;
class ResultListModel;
class ResultListView;

// What the pages need from the world around them; tests put their own values here.
struct PageEnvironment {
    Prompter* prompter = nullptr;
    std::string settings_path;
    std::string log_path;
    std::string log_parent_folder;  // created before the first log record when not empty
    ConvertFunction convert;        // empty: convert_one_fax
    PassClock clock;                // empty: the system's clock
};

// Followed by the PDF's path.
inline constexpr const char* kNoViewerText =
    "No program could be started to show the PDF.\nOpen it yourself:\n";
class ConvertPage : public QWidget {
    Q_OBJECT

  public:
    explicit ConvertPage(const PageEnvironment& environment, QWidget* parent = nullptr);
    ~ConvertPage() override;

    void set_window_options(const WindowOptions& options) { options_ = options; }
    const WindowOptions& window_options() const { return options_; }

    // Starts (or restarts) the cycle timer with the interval, or stops it.
    void set_cycle(int minutes, bool enabled);
    bool cycle_active() const { return cycle_timer_.isActive(); }
    int cycle_interval_ms() const { return cycle_timer_.interval(); }

    void start_conversion();
    // Converts the files as "&Go" converts chosen files, in a pass of their own: the source
    // text and the options stay as they are.
    void convert_selection(const FileSelection& selection);
    void cycle_tick();
    // Asks a running pass to stop (no further file starts) and waits up to kStopWaitMs for the
    // files being converted. True when no pass runs afterwards.
    bool stop_worker();
    void cancel_conversion();
    // Closing the window: the files being converted get kStopWaitMs to finish; any still
    // running then is given up (its PDF never appears) and the record says so.
    void shut_down();
    bool running() const { return running_.load(); }

    void choose_source();
    void choose_destination();
    // Saves the folders; a failure is reported through settings_not_saved.
    void write_settings();

    QLineEdit* filter_edit() const { return filter_edit_; }
    QLineEdit* source_edit() const { return source_edit_; }
    QLineEdit* destination_edit() const { return destination_edit_; }
    QToolButton* source_button() const { return source_button_; }
    QToolButton* destination_button() const { return destination_button_; }
    QPushButton* go_button() const { return go_button_; }
    QPushButton* cancel_button() const { return cancel_button_; }
    ResultListView* result_view() const { return result_view_; }
    ResultListModel* result_model() const { return result_model_; }
    QProgressBar* progress_bar() const { return progress_bar_; }
    QLabel* status_label() const { return status_label_; }
    QCheckBox* failures_only_box() const { return failures_only_box_; }

  signals:
    void file_started(int row);
    // The settings file could not be written (errno's reason).
    void settings_not_saved(const std::string& settings_path, int error);
    // Emitted when a pass has ended and the controls are back.
    void pass_finished(int converted);

  protected:
    void keyPressEvent(QKeyEvent* event) override;

  private:
    void apply(PassEvent& event);
    void show_doing(int row);  // the "Doing: " status for the row
    void file_started_event(int row, std::string source);
    void file_finished_event(int row, std::string pdf, std::string result, bool failed);
    // Enter or a double click on a row: its PDF in the desktop's viewer.
    void open_row(int row);
    // Empty and idle without files (a range of 0..0 would show the busy animation).
    void show_progress(size_t done, size_t total);
    void start_pass(const std::optional<FileSelection>& given);
    void start_worker(bool skip_existing, const WindowOptions& options);
    bool wait_for_worker(int timeout_ms);
    void set_controls_busy(bool busy);
    void join_finished_worker();
    void collect_pass_files();

    PageEnvironment environment_;
    WindowOptions options_;
    app::BatchJob job_;
    std::string source_folder_;
    std::optional<FileSelection> chosen_files_;
    std::atomic<bool> running_{false};
    std::shared_ptr<PassControl> control_;
    std::thread worker_;
    QTimer cycle_timer_;
    QTimer settings_timer_;
    PassTracker tracker_;

    QLineEdit* filter_edit_ = nullptr;
    QLineEdit* source_edit_ = nullptr;
    QLineEdit* destination_edit_ = nullptr;
    QToolButton* source_button_ = nullptr;
    QToolButton* destination_button_ = nullptr;
    QPushButton* go_button_ = nullptr;
    QPushButton* cancel_button_ = nullptr;
    ResultListModel* result_model_ = nullptr;
    ResultListView* result_view_ = nullptr;
    QProgressBar* progress_bar_ = nullptr;
    QLabel* status_label_ = nullptr;
    QCheckBox* failures_only_box_ = nullptr;
    PassFeed feed_;
};

}  // namespace trelvane::gui
