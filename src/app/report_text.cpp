#include "app/report_text.h"

#include <cerrno>
#include <vector>

#include "app/printable_name.h"
#include "platform/system_error.h"

namespace trelvane::app {

namespace {

constexpr std::string_view kLineEnd = "\r\n";

// Past this many pages the line names how many more are not whole instead of each of them.
constexpr size_t kMostPagesNamed = 20;

std::string page_text(const PageNote& n) {
    std::string text = "page " + std::to_string(n.page + 1) + ": ";
    if (n.left_out)
        return text + "left out";
    if (n.unreadable)
        return text + "unreadable, left blank";  // a blank page has no text to find
    if (n.no_data)
        return text + "no usable data, left blank" + (n.file_cut_short ? ", file cut short" : "");
    std::vector<std::string> parts;
    if (n.damaged_lines == 1) {
        parts.push_back("1 damaged line");
    } else if (n.damaged_lines > 1) {
        parts.push_back(std::to_string(n.damaged_lines) + " damaged lines");
    }
    if (n.damaged_from_line >= 0)
        parts.push_back("damaged from line " + std::to_string(n.damaged_from_line + 1));
    if (n.lines_missing > 0) {
        parts.push_back(std::to_string(n.lines_missing) + " of " +
                        std::to_string(n.lines_declared) + " lines missing");
    }
    if (n.lines_beyond > 0) {
        parts.push_back(std::to_string(n.lines_beyond) + " lines past line " +
                        std::to_string(n.lines_declared) + " left out");
    }
    // The end of the file explains the end of the data.
    if (n.file_cut_short) {
        parts.push_back("file cut short");
    } else if (n.data_cut_short) {
        parts.push_back("data cut short");
    }
    if (n.no_text_layer)
        parts.push_back("no text layer");
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : ", ") + parts[i];
    return text;
}

// FROZEN: what a failed stage says, after "Failed : SOURCE - ".
std::string_view stage_text(FileFailure failure) {
    switch (failure) {
        case FileFailure::NotFax:
            return "Not Fax";
        case FileFailure::FaxReader:
            return "Error Fax";
        case FileFailure::CopyStage:
            return "Error in prearing to pdf conversion";
        case FileFailure::PdfWriter:
            return "Error in converting to pdf";
        case FileFailure::SystemShortage:
            return "System error";  // the program's own: "Not Fax" would have the user give up
        case FileFailure::NotVerified:
            return "PDF does not match the fax";
        case FileFailure::None:
        case FileFailure::FolderNotMade:
        case FileFailure::Exception:
            break;
    }
    return {};
}

// The notes on the file as a whole, after the pages' own.
std::vector<std::string> file_notes(const FileOutcome& outcome) {
    std::vector<std::string> notes;
    if (outcome.times_error != 0)
        notes.push_back("file times not kept: " + platform::system_message(outcome.times_error));
    if (outcome.verified)
        notes.emplace_back(kVerifiedNote);
    if (!outcome.earlier_mismatch.empty())
        notes.push_back("the PDF there before did not match the fax: " + outcome.earlier_mismatch);
    return notes;
}

std::string converted_text(const FileOutcome& outcome) {
    return success_text(outcome.notes, file_notes(outcome));
}

std::string verified_suffix(const FileOutcome& outcome) {
    return outcome.verified ? " (" + std::string(kVerifiedNote) + ")" : std::string();
}

// "Not Fax (a pipe, not a file) (Permission denied)": the stage, what the file is or what is in
// the way, the system's reason.
std::string failure_reason(const FileOutcome& outcome) {
    std::string text(stage_text(outcome.failure));
    if (!outcome.detail.empty())
        text += " (" + outcome.detail + ")";
    return text + platform::system_message_suffix(outcome.system_error);
}

std::string failed_text(const FileOutcome& outcome, bool with_source) {
    switch (outcome.failure) {
        case FileFailure::FolderNotMade:
            return std::string(kFolderFailedLead) + printable_name(outcome.detail) +
                   platform::system_message_suffix(outcome.system_error);
        case FileFailure::Exception:
            return std::string(kExceptionText);
        default:
            break;
    }
    std::string text(kFailedLead);
    if (with_source)
        text += printable_name(outcome.source) + " - ";
    text += failure_reason(outcome);
    // The PDF that stays is not the fax's either: the user must not take it for a copy.
    if (!outcome.earlier_mismatch.empty())
        text += " (the PDF there does not match the fax: " + outcome.earlier_mismatch + ")";
    return text;
}

}  // namespace

std::string report_line_head(const std::string& source, const std::string& destination) {
    return printable_name(source) + " --> " + printable_name(destination) + " : ";
}

std::string outcome_text(const FileOutcome& outcome) {
    switch (outcome.status) {
        case FileStatus::Converted:
            return converted_text(outcome);
        case FileStatus::Skipped:
            return std::string(kSkippedLead) + printable_name(outcome.pdf) +
                   std::string(kSkippedTail) + verified_suffix(outcome);
        case FileStatus::NotWinFax:
            return {};
        case FileStatus::LeftForNextRun:
            return std::string(kLeftForNextRunText);
        case FileStatus::LeftForNextPass:
            return std::string(kLeftForNextPassText);
        case FileStatus::Failed:
            return failed_text(outcome, true);
        case FileStatus::CancelledBeforeStart:
            return std::string(kCancelledText);
        case FileStatus::ClosedBeforeStart:
            return std::string(kClosedText);
        case FileStatus::ClosedWhileConverting:
            return std::string(kAbandonedText);
    }
    return {};
}

std::string report_line(const FileOutcome& outcome) {
    if (outcome.status == FileStatus::NotWinFax)
        return {};
    std::string line = report_line_head(outcome.source, outcome.pdf) + outcome_text(outcome);
    if (outcome.renamed_from)
        line += clash_note(*outcome.renamed_from);
    return line += kLineEnd;
}

std::string row_text(const FileOutcome& outcome) {
    switch (outcome.status) {
        case FileStatus::Converted: {
            if (outcome.times_error != 0)
                return std::string(kTimesNotKeptText);
            // The pages that are not whole are named in the row as on the report line: a fax
            // cut short must not look the same as a whole one.
            FileOutcome row = outcome;
            row.times_error = 0;
            const std::string success = converted_text(row);
            return std::string(kConvertedText) + success.substr(kSuccessText.size());
        }
        case FileStatus::Skipped:
            return std::string(kSkippedText) + verified_suffix(outcome);
        case FileStatus::NotWinFax:
            return std::string(kNotWinFaxText);
        case FileStatus::Failed:
            return failed_text(outcome, false);
        default:
            return outcome_text(outcome);
    }
}

std::string success_text(const FileNotes& notes, const std::vector<std::string>& more) {
    std::vector<std::string> parts;
    for (size_t i = 0; i < notes.pages.size() && i < kMostPagesNamed; ++i)
        parts.push_back(page_text(notes.pages[i]));
    if (notes.pages.size() > kMostPagesNamed) {
        parts.push_back(std::to_string(notes.pages.size() - kMostPagesNamed) +
                        " more pages not whole");
    }
    if (notes.pages_left_out == 1) {
        parts.push_back("page " + std::to_string(notes.pages_kept + 1) + " left out");
    } else if (notes.pages_left_out > 1) {
        parts.push_back("pages " + std::to_string(notes.pages_kept + 1) + " to " +
                        std::to_string(uint64_t{notes.pages_kept} + notes.pages_left_out) +
                        " left out");
    }
    parts.insert(parts.end(), more.begin(), more.end());
    std::string text(kSuccessText);
    if (parts.empty())
        return text;
    text += " (";
    for (size_t i = 0; i < parts.size(); ++i)
        text += (i == 0 ? "" : "; ") + parts[i];
    return text + ")";
}

std::string clash_note(const std::string& wanted) {
    return " (" + printable_name(wanted) + " is the PDF of an earlier fax in this run)";
}

std::string folder_header(const std::string& source, const std::string& destination) {
    return "Vuvod Trelvane command line mode : convert folder\r\nSource Folder: " +
           printable_name(source) + "\r\nSave Folder: " + printable_name(destination) + "\r\n";
}

std::string folder_total(int converted) {
    return "\r\n---------\r\nTotal converted FAX files: " + std::to_string(converted) + "\r\n";
}

std::string shard_line(uint32_t number, uint32_t count, size_t taken, size_t found,
                       const std::string& plan_fingerprint) {
    return "Shard " + std::to_string(number) + " of " + std::to_string(count) + ": " +
           std::to_string(taken) + " of the " + std::to_string(found) +
           " WinFax files found (plan " + plan_fingerprint + ")\r\n";
}

std::string window_pass_header(const std::string& source, const std::string& destination) {
    return "Vuvod Trelvane in GUI mode : convert folder\r\nSource Folder: " +
           printable_name(source) + "\r\nDestination Folder: " + printable_name(destination) +
           "\r\n";
}

std::string done_status_text(int converted) {
    return "Done. " + std::to_string(converted) + " FAX files converted";
}

std::string cancelled_status_text(int converted, size_t total) {
    return "Cancelled: " + std::to_string(converted) + " of " + std::to_string(total) +
           " files converted";
}

std::string save_folder_not_folder_text(const std::string& folder) {
    return "Error Save Dir: " + printable_name(folder) + " is not a folder" +
           platform::system_message_suffix(ENOTDIR) +
           "\nSelect Save Dir, where your converted pdf files should be";
}

std::string save_folder_failed_text(const std::string& folder, int error) {
    return "Error Save Dir: cannot create " + printable_name(folder) +
           platform::system_message_suffix(error);
}

std::string doing_status_text(const std::string& source, uint64_t pages_read) {
    std::string text = "Doing: " + source;
    if (pages_read > 0)
        text +=
            " (" + std::to_string(pages_read) + (pages_read == 1 ? " page" : " pages") + " read)";
    return text;
}

std::string folder_problem_line(const std::string& folder, int error) {
    return "Failed to read folder: " + printable_name(folder) +
           platform::system_message_suffix(error) + "\r\n";
}

std::string interrupted_line(const std::string& signal_name, size_t not_converted, size_t total) {
    return "Interrupted by " + signal_name + ": " + std::to_string(not_converted) + " of " +
           std::to_string(total) + " files not converted\r\n";
}

std::string pass_stopped_line(bool window_closed, size_t not_converted, size_t total) {
    return std::string(window_closed ? "Window closed: " : "Cancelled: ") +
           std::to_string(not_converted) + " of " + std::to_string(total) +
           " files not converted\r\n";
}

std::string work_files_failed_line(const std::string& folder, int error) {
    return "Failed to create work files in " + printable_name(folder) +
           platform::system_message_suffix(error) + "\r\n";
}

std::string settings_not_saved_text(const std::string& settings_path, int error) {
    return "Settings not saved to " + printable_name(settings_path) +
           platform::system_message_suffix(error) +
           ": folders and options will not be kept for the next start";
}

}  // namespace trelvane::app
