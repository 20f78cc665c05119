// Checking a PDF against the fax it was made from, before the fax may be deleted.
//
// The two sides are decoded by different decoders: the PDF's page images by libtiff, from the
// PDF's own CCITT streams and decode parameters (pdfout/pdf_readback.h), the fax's pages by the
// reader's decoders, which took no part in making the PDF's images (the copy stage decodes with
// a codec of its own and encodes them anew). A PDF passes when it has one page for each of the
// fax's pages the conversion keeps, each of the fax page's size and resolution, every row
// equal. Where the fax's data is damaged the decoders may draw the damage differently, so the
// rows the conversion documents as damaged are not compared: on a Group 4 page, the rows from
// the first damaged one on ("damaged from line N"); on a Group 3 page, as many rows as it
// documents as damaged may stand in the PDF without their like in the fax's decoding ("N
// damaged lines", each dropped by the reader's decoder); a row cut short at the end of the data
// likewise. A page the conversion left blank must be white; one it left out is not in the PDF.
#pragma once

#include <string>

#include "faxread/conversion_settings.h"
#include "pdfout/pdf_readback.h"
#include "pdfout/tiff_copy.h"

namespace trelvane::app {

// Empty when `pdf` holds the fax at `fax_path` as the conversion makes it with `settings`;
// otherwise what differs, worded for the report line ("page 2 differs from the fax from line
// 37 on"). `copied`, when given, is what the copy stage met (pages it left out or left blank,
// its decoder's findings); without it they are found again.
std::string pdf_mismatch(const std::string& fax_path, pdfout::PdfReadBack& pdf,
                         const faxread::ConversionSettings& settings,
                         const pdfout::TiffCopyReport* copied = nullptr);

// False in a build that cannot read PDFs back: /verify is refused before a run starts.
inline bool pdf_checks_available() {
    return pdfout::pdf_readback_available();
}

// The same for the PDF file at `pdf_path`.
std::string pdf_file_mismatch(const std::string& fax_path, const std::string& pdf_path,
                              const faxread::ConversionSettings& settings);

}  // namespace trelvane::app
