// The paths of every file the program reads or writes besides the user's own files. Fixed once
// at start-up (the log path may be replaced by the command line before anything reads it).
#pragma once

#include <string>

#include "faxread/conversion_settings.h"

namespace trelvane::app {

struct ProcessPaths {
    std::string program_folder;      // without a trailing separator
    std::string settings_file_path;  // trelvane.ini
    std::string log_file_path;       // log/tvnlog.txt, or the /log= path
    std::string default_log_file_path;
    std::string log_parent_folder;  // created before the first log record when not empty
    std::string temp_folder;        // ends with a separator
    // Work files, unique to this process and removed at exit.
    std::string temp_work_path;          // tvntmp-*.tmp
    std::string segment_work_path;       // tvnseg-*.tmp
    std::string tiff_work_path;          // tvntif-*.tmp
    std::string intermediate_tiff_path;  // tvnintif-*.tmp: the reader's output
    std::string normalised_tiff_path;    // tvncptif-*.tmp: the TIFF copy stage's output
};

// The process-wide paths (empty until init_process_paths has run).
ProcessPaths& process_paths();

// Finds the program folder, the settings and log locations and the temporary folder, and
// creates the five work files under unique names. False when a work file cannot be created;
// the paths are filled in as far as possible either way.
bool init_process_paths();

// Deletes the five work files and the page files that page-file mode wrote beside the
// intermediate TIFF file; missing files are not an error.
void remove_work_files();

// The start-up values of the conversion settings (its path fields refer to the work files).
void set_startup_settings(faxread::ConversionSettings& settings, const ProcessPaths& paths);

}  // namespace trelvane::app
