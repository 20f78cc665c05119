// The files one conversion writes between its stages: the reader's intermediate TIFF file and
// the copy stage's normalised one. Each thread that converts has a workspace of its own, so
// conversions on several threads never share a file. The files have no names in the file
// system (see platform::WorkFile), so nothing of them survives the process.
#pragma once

#include <string>

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

    // Creates both files in the temporary folder. False, with the reason in error(), when that
    // is impossible.
    bool create(const std::string& temp_folder);
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
    std::string intermediate_path_;
    std::string normalised_path_;
    std::string page_file_base_;
    int error_ = 0;
};

// Removes the page files stem + "001.tif", "002.tif", ... up to the first that is missing (page
// files are written from 001 on without gaps). Builds each name in a plain buffer, so a signal
// handler may call it.
void remove_page_files(const char* page_file_stem);

// The stem of the page files named after base.
std::string page_file_stem(const std::string& page_file_base);

}  // namespace trelvane::app
