// The fax file itself inside its PDF (PDF/A-3): an embedded file stream with the file's size,
// MD5 checksum and modification date, and the file entry (a Filespec dictionary) that names it as
// the document's source. The stream is Flate-compressed: WinFax files, Group 3 ones above all,
// shrink by a tenth to a third, so that the fax adds less than its own size to the PDF.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "pdfout/pdf_output.h"
#include "pdfout/source_record.h"

namespace trelvane::pdfout {

class EmbeddedFax {
  public:
    EmbeddedFax() = default;
    ~EmbeddedFax();
    EmbeddedFax(const EmbeddedFax&) = delete;
    EmbeddedFax& operator=(const EmbeddedFax&) = delete;

    // Opens the fax (`fax.path`) and reads it once for its checksum. False, with the reason in
    // problem(), when it cannot be read or is no longer the file the run converted (another
    // size or modification time than `fax` says).
    bool open(const FaxSourceRecord& fax);

    // The bodies of the objects (without "n 0 obj" and "endobj"): the file entry,
    // which refers to the stream object, and the stream's dictionary up to "stream\r\n",
    // whose length is the object after it.
    std::string file_entry(uint32_t stream_object) const;
    std::string stream_dictionary(uint32_t length_object) const;
    // The file's bytes compressed as the stream's data, checked against the checksum taken at
    // open; the number of bytes written goes to `length`.
    bool write_data(PdfOutput& out, uint64_t& length);
    // The name under which viewers offer the file, as a PDF string.
    std::string name_string() const;

    const std::string& problem() const { return problem_; }

  private:
    // Reads the whole file for its checksum; with `out`, also writes it there compressed.
    bool read_all(PdfOutput* out, std::array<uint8_t, 16>& digest, uint64_t* length);
    bool still_as_recorded();

    int fd_ = -1;
    FaxSourceRecord fax_;
    std::array<uint8_t, 16> digest_{};
    std::string problem_;
};

}  // namespace trelvane::pdfout
