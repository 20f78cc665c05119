// The object through which the conversion pipeline reads one fax file: it holds the reader's
// own copy of the conversion settings, the decoded first page, the document texts and the
// format reader, and dispatches by the file's type code (only WinFax files, code 11, exist).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "faxcodec/fax_page_image.h"
#include "faxread/conversion_settings.h"
#include "faxread/fax_metadata.h"
#include "faxread/fax_type.h"
#include "faxread/winfax_reader.h"

namespace trelvane::faxread {

class FaxReader {
  public:
    // The values of WinFaxReader's results of the same meaning: one layer, one value a meaning.
    static constexpr int32_t kOk = WinFaxReader::kOk;
    // No WinFax file is (or could be) opened.
    static constexpr int32_t kFailed = WinFaxReader::kNoFile;
    static constexpr int32_t kOutOfMemory = WinFaxReader::kOutOfMemory;  // a page cannot be loaded
    static constexpr int32_t kOutputFailed = WinFaxReader::kOutputFailed;

    FaxReader() = default;
    FaxReader(const FaxReader&) = delete;
    FaxReader& operator=(const FaxReader&) = delete;

    // The reader's own copy; the pipeline overwrites it whole before opening.
    ConversionSettings& settings() { return settings_; }
    const ConversionSettings& settings() const { return settings_; }

    // Opens the file, counts its pages, measures the first page and reads the title.
    // kFailed when the file cannot be opened or the type is not a WinFax file.
    int32_t open_fax_file(const std::string& path, FaxTypeCode type);
    // Why the last open_fax_file or write_intermediate_tiff failed, as an errno value; 0 when
    // it succeeded or the failure was not the system's (a type that is not WinFax, no file).
    int system_error() const { return system_error_; }
    // True when the first page decoded to at least one complete row of at least one pixel.
    bool is_fax() const;
    const FaxMetadata& metadata() const { return metadata_; }
    // The first page's size fields; its lines are 1 when a line decoded (0 when none did), not
    // the page's line count (WinFaxReader::describe_page gives that).
    const faxcodec::FaxPageImage& page_image() const { return page_image_; }
    // Pages the file holds past the most it can have (FaxFileReader::page_limit), which are
    // not converted.
    uint32_t pages_left_out() const { return winfax_.pages_left_out(); }
    // After write_intermediate_tiff: the pages whose reading met something to report.
    const std::vector<PageReadStatus>& page_statuses() const { return winfax_.page_statuses(); }
    // After write_intermediate_tiff: each page's line count as its header declares it (0: none).
    const std::vector<uint16_t>& declared_lengths() const { return winfax_.declared_lengths(); }

    // Writes the intermediate TIFF file (and, in page-file mode, one file per page as well,
    // named after page_file_base, or after path when that is empty). kFailed when no file is
    // open; kOutputFailed when an output file cannot be created or written; kOutOfMemory when
    // a page cannot be loaded.
    int32_t write_intermediate_tiff(const std::string& path, FaxTypeCode type,
                                    const std::string& page_file_base = {});

    void set_time_source(LocalTimeSource source) { winfax_.set_time_source(std::move(source)); }

  private:
    ConversionSettings settings_{};
    int system_error_ = 0;
    faxcodec::FaxPageImage page_image_{};
    FaxMetadata metadata_;
    WinFaxReader winfax_;
};

}  // namespace trelvane::faxread
