#include "app/conversion_workspace.h"

#include <atomic>
#include <climits>
#include <cstring>
#include <string_view>

#include "app/batch_job.h"
#include "faxread/winfax_reader.h"
#include "platform/cleanup.h"

namespace trelvane::app {

namespace {

constexpr size_t kPageNumberSuffix = 7;  // "001.tif"

constexpr std::string_view kPageFilePrefix = "tvnintif-";
constexpr std::string_view kPageFileSuffix = ".tif";

// "tvnintif-<owner>-<n>.tmp": the owner's tag lets a later run remove the page files of a run
// that was killed outright.
std::string unique_page_file_base(const std::string& temp_folder) {
    static std::atomic<unsigned> next{0};
    return temp_folder + std::string(kPageFilePrefix) + platform::owner_tag() + "-" +
           std::to_string(next.fetch_add(1)) + ".tmp";
}

bool all_digits(std::string_view text) {
    return !text.empty() && text.find_first_not_of("0123456789") == std::string_view::npos;
}

// The owner tag of a page file name ("tvnintif-<owner>-<n><page>.tif"); empty for other names.
std::string_view page_file_owner(std::string_view name) {
    if (!name.starts_with(kPageFilePrefix) || !name.ends_with(kPageFileSuffix))
        return {};
    const std::string_view middle = name.substr(
        kPageFilePrefix.size(), name.size() - kPageFilePrefix.size() - kPageFileSuffix.size());
    const size_t last_dash = middle.rfind('-');
    if (last_dash == std::string_view::npos || !all_digits(middle.substr(last_dash + 1)))
        return {};
    return middle.substr(0, last_dash);
}

}  // namespace

ConversionWorkspace::~ConversionWorkspace() {
    clear();
}

bool ConversionWorkspace::create(const std::string& temp_folder, bool page_files) {
    error_ = 0;
    if (!intermediate_.create(temp_folder, "tvnintif")) {
        error_ = intermediate_.error();
        return false;
    }
    if (!normalised_.create(temp_folder, "tvncptif")) {
        error_ = normalised_.error();
        return false;
    }
    if (!memory_intermediate_.create_in_memory("tvnintif") ||
        !memory_normalised_.create_in_memory("tvncptif")) {
        // No files in memory here: every fax uses the temporary folder.
        memory_intermediate_ = platform::WorkFile();
        memory_normalised_ = platform::WorkFile();
    }
    using_memory_ = false;
    intermediate_path_ = intermediate_.path();
    normalised_path_ = normalised_.path();
    page_file_base_ = unique_page_file_base(temp_folder);
    // Page files are written by name; their stem is watched before the first of them exists
    // (only in page-file mode: the watch list is small).
    if (page_files) {
        platform::set_numbered_files_remover(&remove_page_files);
        page_files_cleanup_ = platform::CleanupName(page_file_stem(page_file_base_),
                                                    platform::CleanupKind::NumberedFiles);
    }
    return true;
}

void remove_stale_page_files(const std::string& temp_folder) {
    platform::remove_stale_files(temp_folder, [](std::string_view name) {
        const std::string_view owner = page_file_owner(name);
        return owner.empty() ? platform::work_file_owner(name) : owner;
    });
}

void ConversionWorkspace::prepare_for(uint64_t fax_bytes) {
    if (!intermediate_.is_open())
        return;  // a workspace at the caller's paths
    using_memory_ = memory_intermediate_.is_open() && fax_bytes <= kInMemoryFaxBytes;
    const platform::WorkFile& intermediate = using_memory_ ? memory_intermediate_ : intermediate_;
    const platform::WorkFile& normalised = using_memory_ ? memory_normalised_ : normalised_;
    intermediate_path_ = intermediate.path();
    normalised_path_ = normalised.path();
}

ConversionWorkspace ConversionWorkspace::at_paths(std::string intermediate_tiff,
                                                  std::string normalised_tiff,
                                                  std::string page_file_base) {
    ConversionWorkspace workspace;
    workspace.intermediate_path_ = std::move(intermediate_tiff);
    workspace.normalised_path_ = std::move(normalised_tiff);
    workspace.page_file_base_ = std::move(page_file_base);
    return workspace;
}

void ConversionWorkspace::clear() {
    if (using_memory_) {
        memory_intermediate_.clear();
        memory_normalised_.clear();
    } else {
        intermediate_.clear();
        normalised_.clear();
    }
    if (!page_file_base_.empty())
        remove_page_files(page_file_stem(page_file_base_).c_str());
}

std::string page_file_stem(const std::string& base) {
    if (base.empty())
        return {};
    std::string first = faxread::WinFaxReader::page_file_name(base, 0);
    first.resize(first.size() - kPageNumberSuffix);
    return first;
}

void remove_page_files(const char* stem) {
    const size_t stem_length = std::strlen(stem);
    if (stem_length == 0 || stem_length + 16 > PATH_MAX)
        return;
    char name[PATH_MAX];
    std::memcpy(name, stem, stem_length);
    for (unsigned number = 1; number <= 65535; ++number) {
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

}  // namespace trelvane::app
