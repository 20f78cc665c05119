// Which fax a PDF was made from, kept in the PDF's information dictionary under private keys,
// so that a later run can tell whether the PDF still stands for the fax as it is now:
//   /TrelvaneFax          the fax's path below the source folder (its path as given for a
//                         single file), as bytes
//   /TrelvaneFaxSize      its size in bytes, in decimal
//   /TrelvaneFaxModified  its modification time as the run read it: seconds since 1970 (UTC),
//                         a dot and nine digits of nanoseconds
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace trelvane::pdfout {

struct FaxSourceRecord {
    std::string path;
    uint64_t size = 0;
    int64_t modified_seconds = 0;
    int64_t modified_nanoseconds = 0;

    bool operator==(const FaxSourceRecord&) const = default;
};

inline constexpr std::string_view kRecordPathKey = "/TrelvaneFax";
inline constexpr std::string_view kRecordSizeKey = "/TrelvaneFaxSize";
inline constexpr std::string_view kRecordModifiedKey = "/TrelvaneFaxModified";

// How many bytes from the start of a PDF hold the record, if it has one: the information
// dictionary follows the catalog, and its texts are bounded.
inline constexpr size_t kRecordSearchBytes = 64 * 1024;

// The value texts of the record's three keys, in key order.
std::string record_size_text(const FaxSourceRecord& record);
std::string record_modified_text(const FaxSourceRecord& record);

struct RecordLookup {
    bool has_keys = false;                  // any of the keys is there
    std::optional<FaxSourceRecord> record;  // all three, well formed
};

// Looks for the record in the start of a PDF that this program wrote (its information
// dictionary is object 2). Any bytes may come in: a PDF of another program, a damaged one, or
// none at all simply has no record.
RecordLookup find_source_record(std::string_view pdf_start);

}  // namespace trelvane::pdfout
