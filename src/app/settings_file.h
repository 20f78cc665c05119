// The window's settings file "trelvane.ini": the two folders of section "Main" and the values
// of section "Options". Read when the window's pages are created, written when it
// closes; a command-line run never touches it.
#pragma once

#include <cstdint>
#include <string>

#include "pdfout/archive_level.h"

namespace trelvane::app {

struct SavedFolders {
    std::string fax_dir;   // "FaxDir": the source text
    std::string save_dir;  // "SaveDir": the save folder text
};

// Conversions a window pass runs at once: one per online processor unless the user says. More
// than the processors only compete for them; 64 still covers large workstations, and keeps the
// temporary names that running conversions may register for clean-up (up to three each, where a
// file system cannot hold unnamed files) within the process's registry.
constexpr int32_t kMinParallelJobs = 1;
constexpr int32_t kMaxParallelJobs = 64;
int32_t default_parallel_jobs();

struct SavedOptions {
    int32_t convert_mode = 0;    // "DirFile": 0 directory, 1 files
    int32_t subdir = 0;          // "Subdir"
    int32_t hierarchy = 0;       // "Hiberarchy"
    int32_t keep_date = 0;       // "KeepDate"
    int32_t keep_ext = 1;        // "KeepExt"
    int32_t recalculate = 0;     // "Recaculate"
    int32_t cycle_enabled = 0;   // "Cyclely"
    int32_t cycle_minutes = 60;  // "CycleMinutes"
    // "ParallelJobs": a missing value, or one that is not a whole number in range, reads as the
    // default.
    int32_t parallel_jobs = default_parallel_jobs();
    // "Ocr": 1 makes searchable PDFs (any other value: plain ones).
    int32_t ocr = 0;
    // "OcrLanguages": Tesseract's names joined by '+'; missing or not such a list: "eng".
    std::string ocr_languages = "eng";
    // "Verify": 1 checks every PDF against its fax (/verify); any other value does not.
    int32_t verify = 0;
    // "Pdfa": 1 makes archive PDFs (any other value: plain ones). "PdfaLevel": 1b, 2b or 3b;
    // missing or anything else: 2b.
    int32_t pdfa = 0;
    pdfout::ArchiveLevel pdfa_level = pdfout::kDefaultArchiveLevel;
};

// Values longer than this are cut, as the fixed buffers of the settings reader always did.
constexpr size_t kMaxSavedFolderLength = 258;

// Missing file, section or key: empty texts.
SavedFolders read_saved_folders(const std::string& settings_path);

// Missing keys take the defaults above, except "Recaculate", which defaults to the given value
// (the conversion settings' current recalculate_lines, set by /relines).
SavedOptions read_saved_options(const std::string& settings_path, int32_t recalculate_default);

// Each writes its keys in their fixed order, creating the file's folder (private, as the
// user's configuration folders are) when it is missing. False when a key could not be written,
// with the reason of the first failure in `error` when given; the window says so once.
bool write_saved_folders(const std::string& settings_path, const SavedFolders& folders,
                         int* error = nullptr);
bool write_saved_options(const std::string& settings_path, const SavedOptions& options,
                         int* error = nullptr);

}  // namespace trelvane::app
