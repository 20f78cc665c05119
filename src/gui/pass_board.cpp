#include "gui/pass_board.h"

#include <algorithm>

#include "app/report_text.h"
#include "platform/file_system.h"

namespace trelvane::gui {

const std::string& ResultRows::text(int row, int column) const {
    const ResultRow& r = rows_.at(static_cast<size_t>(row));
    switch (column) {
        case kSourceColumn:
            return r.source;
        case kPdfColumn:
            return r.pdf;
        default:
            return r.result;
    }
}

void ResultRows::clear() {
    rows_.clear();
    rows_.shrink_to_fit();  // a long pass's rows are not kept for the next one
}

ResultRow& ResultRows::row(int row) {
    const auto index = static_cast<size_t>(std::max(row, 0));
    if (index >= rows_.size()) {
        rows_.resize(index + 1);
    }
    return rows_[index];
}

void PassTracker::collected(size_t total) {
    total_ = total;
    done_ = 0;
}

void PassTracker::pass_started() {
    done_ = 0;
    pages_ = 0;
    converting_.clear();
    status_row_ = -1;
}

int PassTracker::file_started(int row) {
    status_row_ = row;
    converting_.push_back(row);
    return row;
}

int PassTracker::file_finished(int row) {
    ++done_;
    std::erase(converting_, row);
    if (row == status_row_ && !converting_.empty()) {
        status_row_ = converting_.back();
        return status_row_;
    }
    return -1;
}

int PassTracker::pages_recognised(int pages) {
    pages_ = pages;
    return status_row_;
}

ProgressSteps progress_steps(size_t done, size_t total) {
    if (total == 0) {
        return {};
    }
    constexpr size_t kMaxSteps = 1u << 30;
    const size_t scale = total > kMaxSteps ? total / kMaxSteps + 1 : 1;
    return {static_cast<int>(total / scale), static_cast<int>(std::min(done, total) / scale)};
}

std::optional<PassRefusal> pass_refusal(const std::string& source_folder,
                                        const std::string& destination) {
    if (source_folder.empty()) {
        return PassRefusal{false, "Warning", kNoSourceWarning};
    }
    // A pass from a folder that is not there would only create an empty save folder.
    if (!platform::folder_exists(source_folder)) {
        return PassRefusal{false, "Warning",
                           kMissingSourceWarning + source_folder + kMissingSourceAdvice};
    }
    if (destination.empty()) {
        return PassRefusal{false, "Warning", kNoDestinationWarning};
    }
    // Every file of such a pass would fail; say why once, before anything starts.
    if (platform::file_exists(destination)) {
        return PassRefusal{true, "Error", app::save_folder_not_folder_text(destination)};
    }
    return std::nullopt;
}

}  // namespace trelvane::gui
