// The fixity record of a run (/manifest=FILE): one CSV row per fax of the run, in report order,
// with the checksums of what went in and what came out, to keep beside an archive.
//
//   source,source_bytes,source_sha256,source_modified,pages,result,notes,pdf,pdf_bytes,
//   pdf_sha256,verified
//
// RFC 4180: a header row, CR LF line ends, fields with a comma, a quote or a line break in
// double quotes (quotes doubled). Paths are shown as the report shows them (control characters
// escaped). source_modified is ISO 8601 in UTC to the nanosecond. result is converted, skipped,
// failed, or left (changed a moment ago, for the next run); notes are the report line's words
// after its head. pages, pdf_bytes and pdf_sha256 are empty where there is no PDF (or the
// pages of a kept PDF were not counted); verified is yes or no with /verify, else empty.
#pragma once

#include <string>

#include "app/file_outcome.h"

namespace trelvane::app {

class Manifest {
  public:
    explicit Manifest(bool verify_asked) : verify_asked_(verify_asked) {}
    void add(const FileOutcome& outcome);
    // The whole file, header first.
    std::string text() const;
    // Writes it in place of `path` atomically: readers see the old file or the whole new one.
    // False, with the reason in error, when it cannot be written.
    bool write(const std::string& path, int& error) const;

  private:
    bool verify_asked_;
    std::string rows_;
};

// One CSV field, quoted when it must be.
std::string csv_field(const std::string& value);
// Seconds and nanoseconds since 1970 as 2024-05-01T10:20:30.123456789Z.
std::string iso8601_utc(int64_t seconds, uint32_t nanoseconds);

}  // namespace trelvane::app
