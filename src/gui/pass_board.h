// What the Convert page shows of a pass, kept apart from the widgets so every front end shows
// the same and it can be checked without a display: the rows, the file the status line names,
// the progress, and the checks made before a pass starts.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace trelvane::gui {

inline constexpr const char* kFirstStatusText =
    "It's a GOOD idea to backup your fax files, and NEVER delete them";
inline constexpr const char* kBusyWarning = "Please wait while running conversion stops";
inline constexpr const char* kNoSourceWarning =
    "Select Source Dir,\nwhere your fax files to be converted should be";
inline constexpr const char* kNoDestinationWarning =
    "Select Save Dir,\nwhere your converted pdf files should be";
// Followed by the folder's path and kMissingSourceAdvice.
inline constexpr const char* kMissingSourceWarning = "Source Dir does not exist:\n";
inline constexpr const char* kMissingSourceAdvice =
    "\nSelect Source Dir, where your fax files to be converted should be";
// How long "&Cancel", and closing the window, wait for the files being converted.
inline constexpr int kStopWaitMs = 2000;
inline constexpr const char* kWorkFilesAdvice =
    "\nFree some space there, or start the program with TMPDIR set to a folder you may write "
    "to.";

struct ResultRow {
    std::string source;
    std::string pdf;  // empty unless a PDF was written
    std::string result;
    bool failed = false;  // a WinFax file that was not converted as asked
};

enum ResultColumn { kSourceColumn = 0, kPdfColumn = 1, kResultColumn = 2, kResultColumns = 3 };

// One small record per file of the pass, so a pass over a hundred thousand files costs a few
// hundred bytes per file; views build only the texts of the rows they show.
class ResultRows {
  public:
    size_t size() const { return rows_.size(); }
    const std::vector<ResultRow>& rows() const { return rows_; }
    const std::string& text(int row, int column) const;
    void clear();
    // Files start and finish in any order: a row beyond the end brings the rows before it
    // (still empty) with it.
    ResultRow& row(int row);

  private:
    std::vector<ResultRow> rows_;
};

// Which file the status line names and how far the pass is. Several files are converted at
// once; the status keeps naming one that is still being converted, the last one started.
class PassTracker {
  public:
    // The files collected for the next pass.
    void collected(size_t total);
    void pass_started();
    // Each returns the row whose "Doing: " status to show, or -1 to leave the status as it is.
    int file_started(int row);
    int file_finished(int row);
    int pages_recognised(int pages);

    size_t done() const { return done_; }
    size_t total() const { return total_; }
    uint64_t pages() const { return static_cast<uint64_t>(pages_); }

  private:
    size_t total_ = 0;
    size_t done_ = 0;
    std::vector<int> converting_;  // in the order they started
    int status_row_ = -1;
    int pages_ = 0;
};

// A progress bar's range and position for `done` of `total` files. Bars count in int; a larger
// pass is shown to scale. An empty pass shows an empty bar (0 of 1), not a busy animation.
struct ProgressSteps {
    int maximum = 1;
    int value = 0;
};
ProgressSteps progress_steps(size_t done, size_t total);

// What the window says instead of starting a pass.
struct PassRefusal {
    bool error = false;  // an error box rather than a warning
    std::string caption;
    std::string text;
};

// Why "&Go" cannot start a pass from this source folder (empty when the source text names
// nothing) to this destination text; nothing when it can. A cycle tick starts only when there
// is nothing to say, and says nothing (a share away for the moment is tried at the next tick).
std::optional<PassRefusal> pass_refusal(const std::string& source_folder,
                                        const std::string& destination);

}  // namespace trelvane::gui
