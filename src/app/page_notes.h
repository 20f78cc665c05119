// What a converted file's report line adds after "Success !" when not every page is whole:
// which pages, and how. A whole file's line is "Success !" alone, as it always was. These are
// the notes as data; report_text.cpp words them as below.
//
//   Success ! (page 3: 4 damaged lines; page 7: data cut short)
//
// Kinds of note, for one page (joined by ", " when a page has several):
//   "1 damaged line", "N damaged lines"  Group 3 lines with invalid codes or a wrong length,
//                                        each resynchronised at the next line
//   "damaged from line N"                a Group 4 page: the lines after a damaged one are
//                                        decoded against it, so none of them can be trusted
//   "N of M lines missing"               the page's data holds N lines fewer than the M its
//                                        header declares, and more than a twentieth of them
//                                        (fewer is the usual slack of a sender's count): the
//                                        page is white below its data, or shorter with /relines
//   "N lines past line M left out"       the page's data holds N lines more than the M its
//                                        header declares (or the default length when it
//                                        declares none); the page ends where the header says,
//                                        with or without /relines
//   "no usable data, left blank"         the page's data yields no line at all (no bytes, only
//                                        zero bytes, an end code first): a blank page of the
//                                        size its header declares
//   "data cut short"                     the page's data ends before its last line
//   "file cut short"                     the file ends before the page's data does
//   "unreadable, left blank"             the page's data could not be read at all
//   "left out"                           the page could not be read or copied (a size the
//                                        TIFF library refuses, memory ran out) and is not in
//                                        the PDF; the other pages are
//   "no text layer"                      /ocr: the page's text could not be recognised, so it
//                                        is only the image
// and for the file: "page N left out" or "pages N to M left out" for pages past the most a
// file can have.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "faxread/winfax_reader.h"
#include "pdfout/tiff_copy.h"

namespace trelvane::app {

struct PageNote {
    uint32_t page = 0;               // from 0
    uint32_t damaged_lines = 0;      // Group 3
    int64_t damaged_from_line = -1;  // Group 4, from 0
    bool data_cut_short = false;
    bool file_cut_short = false;
    bool unreadable = false;
    bool left_out = false;
    bool no_text_layer = false;  // /ocr: the page's recognition failed
    bool no_data = false;        // no line decoded: left blank
    uint32_t lines_missing = 0;  // of lines_declared, when far short
    uint32_t lines_declared = 0;
    uint32_t lines_beyond = 0;  // past lines_declared, not in the PDF
};

struct FileNotes {
    std::vector<PageNote> pages;  // pages that are not whole, in page order
    uint32_t pages_kept = 0;      // pages converted
    uint32_t pages_left_out = 0;  // pages after them that were not
};

// A page is noted as short when its data holds fewer lines than its header declares by more
// than the declared count divided by this.
inline constexpr uint32_t kShortPageDivisor = 20;

// What the reader and the copy stage met on the file's pages, page by page. declared_lengths
// are the headers' line counts (0: none declared), by page; the lines a page's data holds are
// checked against them for the pages it covers.
FileNotes collect_page_notes(const std::vector<faxread::PageReadStatus>& read,
                             const pdfout::TiffCopyReport& copied, uint32_t pages_kept,
                             uint32_t pages_left_out,
                             const std::vector<uint16_t>& declared_lengths = {});

// Marks the pages (from 0) whose text layer is missing, in page order with the others.
void add_pages_without_text(FileNotes& notes, const std::vector<uint32_t>& pages);

}  // namespace trelvane::app
