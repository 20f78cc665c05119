#include "app/page_notes.h"

#include <algorithm>
#include <map>

namespace trelvane::app {
namespace {

void add_decode(PageNote& note, const faxcodec::StripDecodeStatus& decode) {
    if (decode.damaged_rows > 0 || decode.run_overflow) {
        if (decode.coding == faxcodec::StripCoding::kGroup4) {
            const int64_t from = decode.first_damaged_row;
            if (note.damaged_from_line < 0 || (from >= 0 && from < note.damaged_from_line))
                note.damaged_from_line = from;
        } else {
            note.damaged_lines = std::max(note.damaged_lines, decode.damaged_rows);
        }
    }
    note.data_cut_short = note.data_cut_short || decode.cut_short;
}

// The lines the page's data holds against the lines its header declares.
void add_line_count(PageNote& note, uint32_t rows, uint16_t declared) {
    if (rows == 0) {
        note.no_data = true;
        return;
    }
    // A header without a count gets the default length, and the lines past it are not shown.
    const uint32_t length = declared != 0 ? declared : faxread::WinFaxReader::kDefaultLength;
    if (rows > length) {
        note.lines_beyond = rows - length;
        note.lines_declared = length;
    }
    const uint32_t missing = rows < declared ? declared - rows : 0;
    if (missing > 0 && uint64_t{missing} * kShortPageDivisor > declared) {
        note.lines_missing = missing;
        note.lines_declared = declared;
    }
}

bool has_note(const PageNote& n) {
    return n.damaged_lines > 0 || n.damaged_from_line >= 0 || n.data_cut_short ||
           n.file_cut_short || n.unreadable || n.left_out || n.no_text_layer || n.no_data ||
           n.lines_missing > 0 || n.lines_beyond > 0;
}

}  // namespace

FileNotes collect_page_notes(const std::vector<faxread::PageReadStatus>& read,
                             const pdfout::TiffCopyReport& copied, uint32_t pages_kept,
                             uint32_t pages_left_out,
                             const std::vector<uint16_t>& declared_lengths) {
    std::map<uint32_t, PageNote> by_page;
    auto note_of = [&](uint32_t page) -> PageNote& {
        PageNote& n = by_page[page];
        n.page = page;
        return n;
    };
    for (const faxread::PageReadStatus& r : read) {
        PageNote& n = note_of(r.index);
        n.file_cut_short = n.file_cut_short || r.file_cut_short;
        // The recount decoded the page down to the header's line count; the copy stage only
        // down to the recounted one, so a page that ends without its end code shows here.
        if (r.recounted)
            add_decode(n, r.decode);
        n.no_data = n.no_data || r.no_rows;
    }
    for (const pdfout::CopiedPage& c : copied.pages) {
        PageNote& n = note_of(c.index);
        n.unreadable = n.unreadable || c.unreadable;
        n.left_out = n.left_out || c.left_out;
        if (!c.unreadable && !c.left_out) {
            add_decode(n, c.decode);
            // The stage decoded the page's data to its end, whatever length the page has.
            if (c.index < declared_lengths.size())
                add_line_count(n, c.rows_held, declared_lengths[c.index]);
        }
    }
    FileNotes notes;
    notes.pages_kept = pages_kept;
    notes.pages_left_out = pages_left_out;
    for (const auto& [page, note] : by_page) {
        if (has_note(note))
            notes.pages.push_back(note);
    }
    return notes;
}

void add_pages_without_text(FileNotes& notes, const std::vector<uint32_t>& pages) {
    for (uint32_t page : pages) {
        auto at = std::lower_bound(notes.pages.begin(), notes.pages.end(), page,
                                   [](const PageNote& n, uint32_t p) { return n.page < p; });
        if (at == notes.pages.end() || at->page != page) {
            PageNote note;
            note.page = page;
            at = notes.pages.insert(at, note);
        }
        at->no_text_layer = true;
    }
}

}  // namespace trelvane::app
