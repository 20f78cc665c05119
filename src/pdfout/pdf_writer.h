// The PDF writer: turns a normalised TIFF file into a PDF, one page per page directory, each
// page one image XObject (the page's Group 4 strip, copied without decoding).
#pragma once

#include <tiffio.h>

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "pdfout/archive_level.h"
#include "pdfout/diagnostic_sink.h"
#include "pdfout/pdf_output.h"
#include "pdfout/pdf_writer_state.h"
#include "pdfout/result_codes.h"
#include "pdfout/source_record.h"

namespace trelvane::pdfout {

// The texts of the PDF's information dictionary. An absent text falls back on the TIFF's tags;
// a present but empty one writes nothing.
struct PdfDocumentInfo {
    std::optional<std::string> title, subject, author, keywords;
    // The fax the PDF is made from, for a later run that leaves up-to-date PDFs alone
    // (source_record.h); none: the dictionary is exactly as without.
    std::optional<FaxSourceRecord> source = {};
    // Archive PDFs (PDF/A) of this level; none: the document is exactly as without.
    ArchiveLevel archive = ArchiveLevel::kNone;
    // With archive: the fax as the run found it before reading it, by its full path. Its
    // modification time is the document's CreationDate, and level 3b embeds the file.
    std::optional<FaxSourceRecord> fax = {};
};

// Compression request codes; none of them changes the output.
inline constexpr int kRequestNothing = 0;
inline constexpr int kRequestJpeg = 1;
inline constexpr int kRequestZip = 2;
inline constexpr int kRequestNone = 3;

// Writes the PDF beside `output` under a temporary name and renames it into place when it is
// complete: on failure nothing is left behind and an existing file at `output` is kept.
int convert_tiff_to_pdf(const std::string& input, const std::string& output,
                        int compression_request, const PdfDocumentInfo& info);
// kPdfFailed leaves the system's reason, if it was the system's failure, in
// sink.system_error().
using PdfCommitCheck = std::function<std::string(int fd)>;
struct PdfWriteOptions {
    // Every page whose provider gives words gets an invisible text layer over its image (the
    // image itself unchanged); without, the document is exactly the image-only one.
    PageTextProvider* text = nullptr;
    // Reads the finished file (open for writing on the descriptor it gets) before it is put in
    // place and says what is wrong with it, or nothing; a file it finds wrong is not put in
    // place (kPdfNotVerified, and what was at output stays).
    PdfCommitCheck check = {};
    // Gets every byte of the file as it is written.
    platform::Sha256* hash = nullptr;
};
int convert_tiff_to_pdf(const std::string& input, const std::string& output,
                        int compression_request, const PdfDocumentInfo& info, DiagnosticSink& sink,
                        const PdfWriteOptions& options = {});

// Writes the whole document from the open input; returns the bytes written (0 on error, with
// state.error set).
uint64_t write_pdf_document(PdfWriterState& state, TIFF* input, PdfOutput& output);

// Writes the text as a PDF literal string; returns the bytes written.
size_t write_pdf_string(PdfOutput& output, std::string_view text);

// The file identifier of the next document written on this thread (32 hexadecimal digits).
std::string next_file_id();

}  // namespace trelvane::pdfout
