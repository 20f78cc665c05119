#include "app/process_paths.h"

#include <array>
#include <csignal>
#include <cstring>

#include "platform/cleanup.h"
#include "platform/file_io.h"
#include "platform/file_system.h"
#include "platform/paths.h"
#include "platform/process_signals.h"

namespace trelvane::app {

namespace {

constexpr size_t kNamedWorkFiles = 3;
constexpr size_t kMaxSignalPath = 4096;

// Copies of the names in plain buffers, so that a signal handler can remove them without
// allocating.
std::array<std::array<char, kMaxSignalPath>, kNamedWorkFiles> signal_safe_paths{};
std::array<char, kMaxSignalPath> signal_safe_page_stem{};

void copy_for_signals(std::array<char, kMaxSignalPath>& buffer, const std::string& text) {
    buffer.fill('\0');
    if (text.size() < kMaxSignalPath)
        std::memcpy(buffer.data(), text.c_str(), text.size());
}

std::string unique_name(const std::string& folder, const std::string& stem) {
    return folder + stem + "-" + std::to_string(platform::process_id()) + "-" +
           platform::random_hex() + ".tmp";
}

extern "C" void remove_work_files_and_die(int signal_number) {
    for (const auto& path : signal_safe_paths) {
        if (path[0] != '\0')
            platform::remove_file_from_signal_handler(path.data());
    }
    remove_page_files(signal_safe_page_stem.data());
    platform::remove_registered_files_from_signal_handler();
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

}  // namespace

ProcessPaths& process_paths() {
    static ProcessPaths paths;
    return paths;
}

ConversionWorkspace& default_workspace() {
    static ConversionWorkspace workspace;
    return workspace;
}

bool init_process_paths(int* error) {
    ProcessPaths& paths = process_paths();
    paths.program_folder = platform::program_folder();
    platform::UserFileLocations locations = platform::locate_user_files(paths.program_folder);
    paths.settings_file_path = locations.settings_file;
    paths.log_file_path = locations.log_file;
    paths.default_log_file_path = locations.log_file;
    paths.log_parent_folder = locations.log_parent_folder;
    paths.temp_folder = platform::temp_folder();

    const std::string& tmp = paths.temp_folder;
    paths.temp_work_path = unique_name(tmp, "tvntmp");
    paths.segment_work_path = unique_name(tmp, "tvnseg");
    paths.tiff_work_path = unique_name(tmp, "tvntif");
    copy_for_signals(signal_safe_paths[0], paths.temp_work_path);
    copy_for_signals(signal_safe_paths[1], paths.segment_work_path);
    copy_for_signals(signal_safe_paths[2], paths.tiff_work_path);

    ConversionWorkspace& workspace = default_workspace();
    // The window's workspace: one file a page is a command-line choice (/m=1), and a
    // command-line run makes workspaces of its own.
    const bool created = workspace.create(tmp, false);
    copy_for_signals(signal_safe_page_stem, page_file_stem(workspace.page_file_base()));
    if (error != nullptr)
        *error = created ? 0 : workspace.error();
    return created;
}

void remove_work_files() {
    ProcessPaths& paths = process_paths();
    for (const std::string* path :
         {&paths.temp_work_path, &paths.segment_work_path, &paths.tiff_work_path}) {
        if (!path->empty())
            platform::remove_file(*path);
    }
    default_workspace().clear();
}

void remove_work_files_on_signals() {
    platform::on_stop_signals(remove_work_files_and_die);
}

void set_startup_settings(faxread::ConversionSettings& settings, const ProcessPaths& paths) {
    settings = faxread::ConversionSettings{};
    settings.page_count = 0;
    settings.temp_work_path = paths.temp_work_path;
    settings.segment_work_path = paths.segment_work_path;
    settings.tiff_work_path = paths.tiff_work_path;
    settings.threshold = 50;
    settings.flag_num = 3;
    settings.bit_order = 0;
    settings.vertical_resolution = 0;
    settings.nonstandard_width = 1;
    settings.min_width = 300;
    settings.page_file_mode = 0;
    settings.raw_mode = 0;
    settings.recalculate_lines = 0;
}

}  // namespace trelvane::app
