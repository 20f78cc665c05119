// Where the program lives and where it may put its files.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace trelvane::platform {

// Every "last separator" search and every join of folder and name uses this.
#ifdef _WIN32
constexpr char kPathSeparator = '\\';
#else
constexpr char kPathSeparator = '/';
#endif

// A path as the user wrote it in the system's own form: on Windows, where both are separators,
// every '/' becomes a backslash, so that the program's own joins and splits see one kind.
std::string native_path(std::string path);

// A relative path in the form that records kept in files use on every system: '/' between its
// parts, so that a PDF made on one system is recognised on the other (identity on POSIX
// systems, where a backslash belongs to the name).
std::string portable_relative_path(std::string path);

// Absolute path of the running program file; empty when the system does not tell.
std::string program_file_path();

// The program file's folder, without a trailing separator.
std::string program_folder();

// The user's temporary folder ($TMPDIR, else /tmp), always ending with a separator.
std::string temp_folder();

// Where the work files go and how they end, for the help text (one or two lines, the second
// indented for its table).
std::string work_files_text();

// True when the current user may create files in the folder.
bool folder_is_writable(const std::string& folder);

// Settings file and default log file.
//
// A program run from a folder its user may write that is not an installation's program folder
// (a build folder, a portable copy) keeps both beside itself. An installed program never
// writes under its installation: the settings go to $XDG_CONFIG_HOME/trelvane and the log to
// $XDG_STATE_HOME/trelvane/log, or to /var/log/trelvane for the superuser (whose cron runs
// write there, where logs are looked for and rotated).
struct UserFileLocations {
    std::string settings_file;
    std::string log_file;
    // The folder that must exist before the log's own folder can be created (empty when the
    // log's own folder is the only one that may be missing).
    std::string log_parent_folder;
};
UserFileLocations locate_user_files(const std::string& program_folder);

// The situation locate_user_files decides from, so that each case can be checked.
struct ProgramPlace {
    std::string program_folder;
    bool folder_writable = false;
    bool installed = false;  // the folder is where installations put programs
    bool superuser = false;
};
UserFileLocations locate_user_files(const ProgramPlace& place);

// True for the superuser (root); never on Windows.
bool running_as_superuser();

// True for a folder that installations put programs in: the one this build installs into,
// and any folder named "bin" or "sbin" (/usr/bin, /usr/local/bin, ~/.local/bin, /opt/x/bin),
// where settings and logs beside the program would be wrong even when it may be written.
// On Windows: a folder holding the installer's uninstall.exe, or one below Program Files or
// the user's own Programs folder.
bool is_installation_folder(const std::string& program_folder);

// Folder part of a path: the text before its last separator ("/" for a file in the root,
// empty when there is no separator).
std::string folder_of(const std::string& path);

// The last path component (the whole text when there is no separator).
std::string name_of(const std::string& path);

// The part of path below folder, when path starts with folder at a path-component boundary
// ("fax" is the start of "fax/a.fxs", not of "faxes/a.fxs"); the separators between the two are
// dropped. Nothing otherwise.
std::optional<std::string_view> path_below(std::string_view path, std::string_view folder);

}  // namespace trelvane::platform
