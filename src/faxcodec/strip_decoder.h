// Decodes one page's Group 3 one-dimensional or Group 4 strip row by row into changing
// elements, and recovers from damaged data exactly as the TIFF library's decoder does: a
// damaged line keeps the pixels decoded before the damage and is completed as the library
// completes it, lines after it stay in place, and the page ends where the library's picture
// ends. The copy stage re-encodes what this gives, so converting a page never changes its
// picture, and the status says where the picture is not what the sender sent.
//
// One deliberate difference: the library keeps as many runs per Group 3 line as the width
// rounded up to 32, so a line that changes colour at every pixel (width + 1 runs) stops its
// decoding and leaves the rest of the page white. This decoder keeps every run a line can
// hold and decodes such lines exactly.
#pragma once

#include <cstdint>
#include <span>
#include <vector>

#include "faxcodec/coded_strip.h"

namespace trelvane::faxcodec {

enum class StripCoding : uint8_t {
    kGroup3OneDimensional,  // T.4 modified Huffman, every line after an end-of-line code
    kGroup4,                // T.6
};

// What one page's decoding met, row by row.
struct StripDecodeStatus {
    StripCoding coding = StripCoding::kGroup4;
    uint32_t rows_decoded = 0;  // rows taken from the data; the page is white after them
    // Rows up to the last one that holds coded content or damage: what a recount of the
    // page's lines gives. Empty lines at the end (the end-of-page codes) do not count.
    uint32_t content_rows = 0;
    // Rows with invalid codes, with a wrong length, or after skipped data (Group 3 lines are
    // resynchronised at their next end-of-line code; a Group 4 page is decoded on as the
    // library does, against the damaged line).
    uint32_t damaged_rows = 0;
    int64_t first_damaged_row = -1;
    // The data ended inside a line, or before the first one, before the rows asked for.
    bool cut_short = false;
    // A Group 4 line held more runs than the library keeps; decoding stopped there, as the
    // library's does.
    bool run_overflow = false;

    bool clean() const { return damaged_rows == 0 && !cut_short && !run_overflow; }
};

class StripDecoder {
  public:
    // `strip` is borrowed for the decoder's life. A width of 0 gives empty rows.
    StripDecoder(const CodedStrip& strip, StripCoding coding, uint32_t width);

    // The next row's changing elements: the ascending positions where the colour changes,
    // the first from white to black. Valid until the next call. Once decoding has stopped
    // every row is white (empty).
    std::span<const uint32_t> next_row();

    bool stopped() const { return stopped_; }
    const StripDecodeStatus& status() const { return status_; }

    // Decodes `rows` rows and gives the status, for counting a page's lines.
    static StripDecodeStatus count_rows(const CodedStrip& strip, StripCoding coding, uint32_t width,
                                        uint32_t rows);

  private:
    enum class RowEnd { kComplete, kEndOfData, kOverflow };
    struct Row;

    // The bit reader, as the library's accumulator would stand (see the .cpp). The row
    // decoders work on a copy in locals.
    struct Bits {
        const uint8_t* data = nullptr;
        int64_t end = 0;  // bits of data
        int64_t consumed = 0;
        int64_t demand = 0;      // the most bits any read has asked for so far
        int64_t loaded = 0;      // bits the library has loaded, once near the end
        int64_t fast_limit = 0;  // up to here the data cannot run out within one read
        bool exact = false;

        bool need(int n, bool wide);
        bool need_exact(int n, bool wide);
        uint64_t peek64() const;
        uint32_t peek(int n) const;
    };

    bool sync_end_of_line(Bits& b, bool& skipped_data);
    RowEnd decode_row_1d(Row& row);
    RowEnd decode_row_2d(Row& row);
    bool set_value(Row& row, int32_t x);
    bool cleanup_runs(Row& row);
    // The picture of the row's runs (clamped to the width in place), as changing elements.
    void take_changes(uint32_t* runs, uint32_t count);
    void finish_row(const Row& row, RowEnd end);

    Bits bits_;

    StripCoding coding_;
    int32_t width_;
    int eol_count_ = 0;
    bool stopped_ = false;
    bool previous_row_complete_ = false;  // ended at the width with no damage
    uint32_t row_index_ = 0;

    // Group 4: the library's two run arrays, with whatever earlier lines left in them (a damaged
    // reference line can make the decoder read them). Group 3: the current line's runs.
    uint32_t nruns_ = 0;
    std::vector<uint32_t> runs_;
    uint32_t current_ = 0;    // offset of the coding line's array in runs_
    uint32_t reference_ = 0;  // offset of the reference line's array in runs_
    std::vector<uint32_t> changes_;
    uint32_t change_count_ = 0;

    StripDecodeStatus status_;
};

}  // namespace trelvane::faxcodec
