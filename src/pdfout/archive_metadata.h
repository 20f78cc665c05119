// The metadata of an archive PDF (PDF/A): dates with their offset from UTC, the information
// dictionary's texts as characters, and the XMP packet that repeats them.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "pdfout/archive_level.h"
#include "pdfout/source_record.h"

namespace trelvane::pdfout {

// A moment in the local time zone, as the information dictionary writes it
// (D:20090512103000+02'00') and as XMP writes it (2009-05-12T10:30:00+02:00).
struct DocumentDate {
    std::string pdf;
    std::string xmp;
};
DocumentDate document_date(int64_t seconds_since_1970);

// The characters a string of the information dictionary stands for, its bytes read as
// PDFDocEncoding. Nothing when a byte has no character there or is a control character that
// XMP cannot carry alike (the text then goes into both as `replaced`).
std::optional<std::u32string> pdfdoc_characters(std::string_view bytes);
// The same with U+FFFD for every byte that has no character.
std::u32string pdfdoc_characters_replaced(std::string_view bytes);

// The characters of UTF-8 text; nothing when it is not well formed or holds a control
// character.
std::optional<std::u32string> utf8_characters(std::string_view text);

// UTF-8 of the characters; and the text as a PDF string in UTF-16BE with its byte order mark.
std::string utf8_text(std::u32string_view text);
std::string utf16_pdf_string(std::u32string_view text);

// The information dictionary's texts as XMP repeats them (UTF-8), each absent when the
// dictionary has none.
struct ArchiveMetadata {
    ArchiveLevel level = ArchiveLevel::kNone;
    std::optional<std::string> title, author, subject, keywords, creator;
    std::string producer;
    DocumentDate created, modified;
    // The fax the PDF was made from, for /skip (kept in a schema of our own, described inside
    // the packet as PDF/A asks of every schema it does not know).
    std::optional<FaxSourceRecord> record;
};

// The whole packet, without a `bytes=` attribute and with room to spare, as the metadata
// stream holds it uncompressed.
std::string xmp_packet(const ArchiveMetadata& metadata);

// The record's path as XMP text: UTF-8 stands as it is; a byte that is no part of valid UTF-8,
// a control character and '%' itself are written %XX.
std::string record_path_text(std::string_view path);

}  // namespace trelvane::pdfout
