#include "app/process_paths.h"

#include <unistd.h>

#include <array>
#include <csignal>
#include <cstring>

#include "faxread/winfax_reader.h"
#include "platform/file_system.h"
#include "platform/paths.h"

namespace trelvane::app {

namespace {

constexpr size_t kWorkFileCount = 5;
constexpr size_t kMaxSignalPath = 4096;

// Copies of the work file names in plain buffers, so that a signal handler can remove them
// without allocating.
std::array<std::array<char, kMaxSignalPath>, kWorkFileCount> signal_safe_paths{};
// The intermediate path's page-file stem (the page files of /m=1 are this + "001.tif", ...).
std::array<char, kMaxSignalPath> signal_safe_page_stem{};

constexpr size_t kPageNumberSuffix = 7;  // "001.tif"

std::string page_file_stem(const std::string& intermediate_tiff_path) {
    if (intermediate_tiff_path.empty())
        return {};
    std::string first = faxread::WinFaxReader::page_file_name(intermediate_tiff_path, 0);
    first.resize(first.size() - kPageNumberSuffix);
    return first;
}

// Removes stem + "001.tif", "002.tif", ... up to the first that is missing: page files are
// written from 001 on without gaps. The names carry this process's unique part, so nobody
// else's files are touched. Builds each name in a plain buffer: also used from a signal handler.
void remove_page_files(const char* stem) {
    const size_t stem_length = std::strlen(stem);
    if (stem_length == 0 || stem_length + 16 > kMaxSignalPath)
        return;
    char name[kMaxSignalPath];
    std::memcpy(name, stem, stem_length);
    for (unsigned number = 1; number <= faxread::WinFaxReader::kMaxPages; ++number) {
        char digits[8];
        size_t count = 0;
        for (unsigned rest = number; rest > 0 || count < 3; rest /= 10)
            digits[count++] = static_cast<char>('0' + rest % 10);
        size_t at = stem_length;
        while (count > 0)
            name[at++] = digits[--count];
        std::memcpy(name + at, ".tif", 5);
        if (unlink(name) != 0)
            return;
    }
}

void remember_for_signals(const ProcessPaths& paths) {
    const std::string* names[kWorkFileCount] = {
        &paths.temp_work_path, &paths.segment_work_path, &paths.tiff_work_path,
        &paths.intermediate_tiff_path, &paths.normalised_tiff_path};
    for (size_t i = 0; i < kWorkFileCount; ++i) {
        signal_safe_paths[i].fill('\0');
        if (names[i]->size() < kMaxSignalPath) {
            std::memcpy(signal_safe_paths[i].data(), names[i]->c_str(), names[i]->size());
        }
    }
    signal_safe_page_stem.fill('\0');
    const std::string stem = page_file_stem(paths.intermediate_tiff_path);
    if (stem.size() < kMaxSignalPath)
        std::memcpy(signal_safe_page_stem.data(), stem.c_str(), stem.size());
}

extern "C" void remove_work_files_and_die(int signal_number) {
    for (const auto& path : signal_safe_paths) {
        if (path[0] != '\0')
            unlink(path.data());
    }
    remove_page_files(signal_safe_page_stem.data());
    std::signal(signal_number, SIG_DFL);
    std::raise(signal_number);
}

}  // namespace

ProcessPaths& process_paths() {
    static ProcessPaths paths;
    return paths;
}

bool init_process_paths() {
    ProcessPaths& paths = process_paths();
    paths.program_folder = platform::program_folder();
    platform::UserFileLocations locations = platform::locate_user_files(paths.program_folder);
    paths.settings_file_path = locations.settings_file;
    paths.log_file_path = locations.log_file;
    paths.default_log_file_path = locations.log_file;
    paths.log_parent_folder = locations.log_parent_folder;
    paths.temp_folder = platform::temp_folder();

    // All five live in the temporary folder: the program folder is usually not writable here.
    const std::string& tmp = paths.temp_folder;
    paths.temp_work_path = platform::create_unique_file(tmp, "tvntmp", ".tmp");
    paths.segment_work_path = platform::create_unique_file(tmp, "tvnseg", ".tmp");
    paths.tiff_work_path = platform::create_unique_file(tmp, "tvntif", ".tmp");
    paths.intermediate_tiff_path = platform::create_unique_file(tmp, "tvnintif", ".tmp");
    paths.normalised_tiff_path = platform::create_unique_file(tmp, "tvncptif", ".tmp");
    remember_for_signals(paths);
    for (int signal_number : {SIGINT, SIGTERM, SIGHUP}) {
        std::signal(signal_number, remove_work_files_and_die);
    }
    return !paths.temp_work_path.empty() && !paths.segment_work_path.empty() &&
           !paths.tiff_work_path.empty() && !paths.intermediate_tiff_path.empty() &&
           !paths.normalised_tiff_path.empty();
}

void remove_work_files() {
    ProcessPaths& paths = process_paths();
    for (const std::string* path :
         {&paths.temp_work_path, &paths.segment_work_path, &paths.tiff_work_path,
          &paths.intermediate_tiff_path, &paths.normalised_tiff_path}) {
        if (!path->empty())
            platform::remove_file(*path);
    }
    remove_page_files(page_file_stem(paths.intermediate_tiff_path).c_str());
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
