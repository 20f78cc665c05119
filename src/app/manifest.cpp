#include "app/manifest.h"

#include <cstdio>
#include <ctime>

#include "app/printable_name.h"
#include "app/report_text.h"
#include "platform/clock.h"
#include "platform/file_system.h"

namespace trelvane::app {

namespace {

constexpr const char* kHeader =
    "source,source_bytes,source_sha256,source_modified,pages,result,notes,pdf,pdf_bytes,"
    "pdf_sha256,verified\r\n";

const char* result_word(const FileOutcome& outcome) {
    switch (outcome.status) {
        case FileStatus::Converted:
            return outcome.times_error == 0 ? "converted" : "failed";
        case FileStatus::Skipped:
            return "skipped";
        case FileStatus::LeftForNextRun:
        case FileStatus::LeftForNextPass:
            return "left";
        default:
            return "failed";
    }
}

}  // namespace

std::string csv_field(const std::string& value) {
    if (value.find_first_of(",\"\r\n") == std::string::npos)
        return value;
    std::string quoted = "\"";
    for (char c : value) {
        if (c == '"')
            quoted += '"';
        quoted += c;
    }
    return quoted + "\"";
}

std::string iso8601_utc(int64_t seconds, uint32_t nanoseconds) {
    const std::time_t t = static_cast<std::time_t>(seconds);
    std::tm utc{};
    if (!platform::utc_time(t, utc))
        return {};
    char text[64];
    std::snprintf(text, sizeof text, "%04d-%02d-%02dT%02d:%02d:%02d.%09uZ", utc.tm_year + 1900,
                  utc.tm_mon + 1, utc.tm_mday, utc.tm_hour, utc.tm_min, utc.tm_sec, nanoseconds);
    return text;
}

void Manifest::add(const FileOutcome& outcome) {
    if (outcome.status == FileStatus::NotWinFax)
        return;
    const FileChecksums sums = outcome.checksums.value_or(FileChecksums{});
    const bool has_source = !sums.source_sha256.empty();
    const bool has_pdf = !sums.pdf_sha256.empty();
    std::string row;
    row += csv_field(printable_name(outcome.source)) + ",";
    row += (has_source ? std::to_string(sums.source_bytes) : std::string()) + ",";
    row += sums.source_sha256 + ",";
    row += (has_source ? iso8601_utc(sums.source_modified_seconds, sums.source_modified_nanoseconds)
                       : std::string()) +
           ",";
    row += (sums.pages_known ? std::to_string(sums.pages) : std::string()) + ",";
    row += std::string(result_word(outcome)) + ",";
    row += csv_field(outcome_text(outcome)) + ",";
    row += csv_field(printable_name(outcome.pdf)) + ",";
    row += (has_pdf ? std::to_string(sums.pdf_bytes) : std::string()) + ",";
    row += sums.pdf_sha256 + ",";
    if (verify_asked_)
        row += outcome.verified ? "yes" : "no";
    rows_ += row + "\r\n";
}

std::string Manifest::text() const {
    return kHeader + rows_;
}

bool Manifest::write(const std::string& path, int& error) const {
    error = 0;
    return platform::replace_file_atomically(path, text(), &error);
}

}  // namespace trelvane::app
