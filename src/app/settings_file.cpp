#include "app/settings_file.h"

#include <array>
#include <string>
#include <utility>

#include "platform/ini_file.h"

namespace trelvane::app {

namespace {

constexpr const char* kMainSection = "Main";
constexpr const char* kOptionsSection = "Options";

// The "Options" keys in the order they are read and written.
using OptionField = int32_t SavedOptions::*;
constexpr std::array<std::pair<const char*, OptionField>, 8> kOptionKeys{{
    {"DirFile", &SavedOptions::convert_mode},
    {"Subdir", &SavedOptions::subdir},
    {"Hiberarchy", &SavedOptions::hierarchy},
    {"KeepDate", &SavedOptions::keep_date},
    {"KeepExt", &SavedOptions::keep_ext},
    {"Recaculate", &SavedOptions::recalculate},
    {"Cyclely", &SavedOptions::cycle_enabled},
    {"CycleMinutes", &SavedOptions::cycle_minutes},
}};

std::string read_folder(const std::string& path, const char* key) {
    std::string value = platform::read_profile_string(path, kMainSection, key, "");
    if (value.size() > kMaxSavedFolderLength) {
        value.resize(kMaxSavedFolderLength);
    }
    return value;
}

}  // namespace

SavedFolders read_saved_folders(const std::string& settings_path) {
    SavedFolders folders;
    folders.fax_dir = read_folder(settings_path, "FaxDir");
    folders.save_dir = read_folder(settings_path, "SaveDir");
    return folders;
}

SavedOptions read_saved_options(const std::string& settings_path, int32_t recalculate_default) {
    SavedOptions options;
    options.recalculate = recalculate_default;
    for (const auto& [key, field] : kOptionKeys) {
        options.*field =
            platform::read_profile_int(settings_path, kOptionsSection, key, options.*field);
    }
    return options;
}

bool write_saved_folders(const std::string& settings_path, const SavedFolders& folders) {
    bool ok =
        platform::write_profile_string(settings_path, kMainSection, "FaxDir", folders.fax_dir);
    ok = platform::write_profile_string(settings_path, kMainSection, "SaveDir", folders.save_dir) &&
         ok;
    return ok;
}

bool write_saved_options(const std::string& settings_path, const SavedOptions& options) {
    bool ok = true;
    for (const auto& [key, field] : kOptionKeys) {
        ok = platform::write_profile_string(settings_path, kOptionsSection, key,
                                            std::to_string(options.*field)) &&
             ok;
    }
    return ok;
}

}  // namespace trelvane::app
