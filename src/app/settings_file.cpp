#include "app/settings_file.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

#include "app/conversion_pool.h"
#include "platform/file_system.h"
#include "platform/ini_file.h"
#include "platform/paths.h"

namespace trelvane::app {

namespace {

constexpr const char* kMainSection = "Main";
constexpr const char* kOptionsSection = "Options";
constexpr const char* kParallelJobsKey = "ParallelJobs";
constexpr const char* kOcrKey = "Ocr";
constexpr const char* kOcrLanguagesKey = "OcrLanguages";
constexpr const char* kVerifyKey = "Verify";
constexpr const char* kPdfaKey = "Pdfa";
constexpr const char* kPdfaLevelKey = "PdfaLevel";
constexpr size_t kMaxLanguagesLength = 200;

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

// Only plain digits in range count; anything else (empty, "abc", "-2", "4x", 0) is not a choice
// the window made, so the default stands.
int32_t read_parallel_jobs(const std::string& path) {
    const std::string text =
        platform::read_profile_string(path, kOptionsSection, kParallelJobsKey, "");
    if (text.empty() || text.size() > 4 ||
        text.find_first_not_of("0123456789") != std::string::npos)
        return default_parallel_jobs();
    const int32_t value = std::stoi(text);
    return value >= kMinParallelJobs && value <= kMaxParallelJobs ? value : default_parallel_jobs();
}

// Names of letters, digits and '_' joined by '+'.
bool is_language_list(const std::string& text) {
    if (text.empty() || text.size() > kMaxLanguagesLength || text.front() == '+' ||
        text.back() == '+' || text.find("++") != std::string::npos)
        return false;
    return std::all_of(text.begin(), text.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
               c == '_' || c == '+';
    });
}

// Writes keys one by one into the settings file, keeping the reason of the first failure. An
// installed program's settings folder ($XDG_CONFIG_HOME/trelvane) does not exist before the
// first save, and nothing else makes it.
class SettingsWrite {
  public:
    SettingsWrite(const std::string& path, int* error) : path_(path), error_(error) {
        const std::string folder = platform::folder_of(path);
        int reason = 0;
        if (!folder.empty() && !platform::folder_exists(folder) &&
            !platform::create_folder_chain(folder, &reason, platform::kPrivateFolderMode)) {
            fail(reason);
            no_folder_ = true;
        }
        if (error_ != nullptr && ok_)
            *error_ = 0;
    }

    void key(const char* section, const char* key, const std::string& value) {
        if (no_folder_)
            return;  // each key would fail for the same reason
        int reason = 0;
        if (!platform::write_profile_string(path_, section, key, value, &reason))
            fail(reason);
    }

    bool ok() const { return ok_; }

  private:
    void fail(int reason) {
        if (ok_ && error_ != nullptr)
            *error_ = reason;
        ok_ = false;
    }

    const std::string& path_;
    int* error_;
    bool ok_ = true;
    bool no_folder_ = false;
};

}  // namespace

int32_t default_parallel_jobs() {
    const unsigned online = default_job_count();
    return static_cast<int32_t>(
        std::min<unsigned>(std::max<unsigned>(online, kMinParallelJobs), kMaxParallelJobs));
}

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
    options.parallel_jobs = read_parallel_jobs(settings_path);
    options.ocr =
        platform::read_profile_int(settings_path, kOptionsSection, kOcrKey, 0) == 1 ? 1 : 0;
    const std::string languages =
        platform::read_profile_string(settings_path, kOptionsSection, kOcrLanguagesKey, "");
    if (is_language_list(languages))
        options.ocr_languages = languages;
    options.verify =
        platform::read_profile_int(settings_path, kOptionsSection, kVerifyKey, 0) == 1 ? 1 : 0;
    options.pdfa =
        platform::read_profile_int(settings_path, kOptionsSection, kPdfaKey, 0) == 1 ? 1 : 0;
    options.pdfa_level =
        pdfout::archive_level_from_name(
            platform::read_profile_string(settings_path, kOptionsSection, kPdfaLevelKey, ""))
            .value_or(pdfout::kDefaultArchiveLevel);
    return options;
}

bool write_saved_folders(const std::string& settings_path, const SavedFolders& folders,
                         int* error) {
    SettingsWrite write(settings_path, error);
    write.key(kMainSection, "FaxDir", folders.fax_dir);
    write.key(kMainSection, "SaveDir", folders.save_dir);
    return write.ok();
}

bool write_saved_options(const std::string& settings_path, const SavedOptions& options,
                         int* error) {
    SettingsWrite write(settings_path, error);
    for (const auto& [key, field] : kOptionKeys)
        write.key(kOptionsSection, key, std::to_string(options.*field));
    write.key(kOptionsSection, kParallelJobsKey, std::to_string(options.parallel_jobs));
    write.key(kOptionsSection, kOcrKey, std::to_string(options.ocr));
    write.key(kOptionsSection, kOcrLanguagesKey, options.ocr_languages);
    write.key(kOptionsSection, kVerifyKey, std::to_string(options.verify));
    write.key(kOptionsSection, kPdfaKey, std::to_string(options.pdfa));
    write.key(kOptionsSection, kPdfaLevelKey,
              std::string(pdfout::archive_level_name(options.pdfa_level)));
    return write.ok();
}

}  // namespace trelvane::app
