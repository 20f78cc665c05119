// The files one conversion writes between its stages: the reader's intermediate TIFF file and
// the copy stage's normalised one. Each thread that converts has a workspace of its own, so
// conversions on several threads never share a file. The files have no names in the file
// system (see platform::WorkFile), so nothing of them survives the process.
//
// A workspace has two pairs: one in the temporary folder and one in memory. A fax of up to
// kInMemoryFaxBytes uses the pair in memory: its work files hold its pages coded about twice
// over (the reader's copy of the fax's coding and the copy stage's Group 4 coding, which is
// rarely larger), so a worker keeps a few megabytes there, and such faxes, nearly all of them,
// cost the file system nothing. A larger fax uses the temporary folder.
#pragma once

#include <cstdint>
#include <string>

#include "platform/cleanup.h"
#include "platform/work_file.h"

namespace trelvane::app {

class ConversionWorkspace {
  public:
    ConversionWorkspace() = default;
    ~ConversionWorkspace();
    ConversionWorkspace(const ConversionWorkspace&) = delete;
    ConversionWorkspace& operator=(const ConversionWorkspace&) = delete;
    ConversionWorkspace(ConversionWorkspace&&) = default;
    ConversionWorkspace& operator=(ConversionWorkspace&&) = default;

    static constexpr uint64_t kInMemoryFaxBytes = 2u << 20;

    // Creates both files in the temporary folder, and their stand-ins in memory where the
    // system has such files. False, with the reason in error(), when the files in the
    // temporary folder cannot be made. With page_files (the run writes one file a page), the
    // page files' names are watched for removal from the start.
    bool create(const std::string& temp_folder, bool page_files);
    // Before a conversion: picks the pair for a fax of fax_bytes.
    void prepare_for(uint64_t fax_bytes);
    // A workspace over files of the caller's choosing (tests point it at unwritable places).
    static ConversionWorkspace at_paths(std::string intermediate_tiff, std::string normalised_tiff,
                                        std::string page_file_base);

    int error() const { return error_; }
    const std::string& intermediate_tiff_path() const { return intermediate_path_; }
    const std::string& normalised_tiff_path() const { return normalised_path_; }
    // Page-file mode names its page files after this path ("...001.tif", "...002.tif").
    const std::string& page_file_base() const { return page_file_base_; }

    // After a conversion: gives the files' space back and removes the page files.
    void clear();

  private:
    platform::WorkFile intermediate_;
    platform::WorkFile normalised_;
    platform::WorkFile memory_intermediate_;
    platform::WorkFile memory_normalised_;
    bool using_memory_ = false;
    std::string intermediate_path_;
    std::string normalised_path_;
    std::string page_file_base_;
    platform::CleanupName page_files_cleanup_;
    int error_ = 0;
};

// Removes from the temporary folder the page files (and named work files) that runs killed
// outright left behind: those whose process is gone.
void remove_stale_page_files(const std::string& temp_folder);

// Removes the page files stem + "001.tif", "002.tif", ... up to the first that is missing (page
// files are written from 001 on without gaps). Builds each name in a plain buffer, so a signal
// handler may call it.
void remove_page_files(const char* page_file_stem);

// The stem of the page files named after base.
std::string page_file_stem(const std::string& page_file_base);

}  // namespace trelvane::app
