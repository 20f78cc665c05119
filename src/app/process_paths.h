// The paths of every file the program reads or writes besides the user's own files. Fixed once
// at start-up (the log path may be replaced by the command line before anything reads it).
#pragma once

#include <string>

#include "app/conversion_workspace.h"
#include "faxread/conversion_settings.h"

namespace trelvane::app {

struct ProcessPaths {
    std::string program_folder;      // without a trailing separator
    std::string settings_file_path;  // trelvane.ini
    std::string log_file_path;       // log/tvnlog.txt, or the /log= path
    std::string default_log_file_path;
    std::string log_parent_folder;  // created before the first log record when not empty
    std::string temp_folder;        // ends with a separator
    // Work files of the fax families this program never converts: names unique to this
    // process, handed to every reader, never created by the program itself; removed at exit
    // should anything have made them.
    std::string temp_work_path;     // tvntmp-*.tmp
    std::string segment_work_path;  // tvnseg-*.tmp
    std::string tiff_work_path;     // tvntif-*.tmp
};

// The process-wide paths (empty until init_process_paths has run).
ProcessPaths& process_paths();

// The workspace of conversions that do not bring their own (one thread at a time).
ConversionWorkspace& default_workspace();

// Finds the program folder, the settings and log locations and the temporary folder, names
// the work files and creates the default workspace. False, with errno's reason in `error` when
// given, when the workspace cannot be created; the paths are filled in either way.
bool init_process_paths(int* error = nullptr);

// Removes the files the process may have left by name: the page files of the default
// workspace and the three named work files. Missing files are not an error.
void remove_work_files();

// Until the program ends, SIGINT, SIGTERM and SIGHUP remove what remove_work_files removes
// (and files registered for cleanup) before they end the process as usual. For the window
// run; a command-line run watches for these signals itself.
void remove_work_files_on_signals();

// The start-up values of the conversion settings (its path fields refer to the work files).
void set_startup_settings(faxread::ConversionSettings& settings, const ProcessPaths& paths);

}  // namespace trelvane::app
