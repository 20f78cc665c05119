// Decoder of one page of Group 4 data (T.6: every line coded against the line above, the line
// above the first taken as all white). Counts the decoded lines.
#pragma once

#include <cstdint>
#include <vector>

#include "faxcodec/bit_reader.h"
#include "faxcodec/fax_page_image.h"
#include "faxcodec/line_writer.h"

namespace trelvane::faxcodec {

// One line held as its run lengths, starting with a white run (0 when the line starts black)
// and alternating colours. `runs.size()` is the capacity; `count` runs are in use. On the
// reference line `index` is the next run to take.
struct RunList {
    uint32_t index = 0;
    uint32_t count = 0;
    std::vector<int32_t> runs;

    void set_all_white(int32_t width) {
        runs[0] = width;
        count = 1;
        index = 0;
    }
};

class Group4Decoder {
  public:
    // `data` is borrowed: the caller keeps it alive while the decoder is used. Decoding runs
    // only when `mode` % 4 is 0 or 2. `marker_count` is the length parameter of the
    // resynchronisation marker (WinFax uses 3).
    Group4Decoder(const uint8_t* data, int32_t size, uint8_t fill_order, uint8_t mode,
                  uint8_t invert, uint8_t marker_count);

    void set_dimensions(int32_t width, int32_t height);
    // Decode every line into one reused row and leave `image.bitmap` empty: memory stays
    // bounded by the width whatever the height. Size fields and result are those of a full
    // decode.
    void set_count_only(bool on) { count_only_ = on; }
    // Stop at the first complete line: the page's lines are then 1 (0 when none completes),
    // which is all it takes to tell whether the data is a fax page at all.
    void set_first_line_only(bool on) { first_line_only_ = on; }
    // Decode through the code trees instead of the lookup tables (the reference; both give
    // identical results).
    void set_tree_walk(bool on) { tree_walk_ = on; }
    // After an invalid code, resume at the current position instead of searching for a marker.
    void set_resume_in_place(bool on) { resume_in_place_ = on ? 1 : 0; }
    // Re-pointing the reader: set the fill order, then init.
    void set_fill_order(uint8_t fill_order) { reader_.fill_order = fill_order; }
    void init(const uint8_t* data, int32_t size) { reader_.init(data, size); }
    FaxBitReader& reader() { return reader_; }

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }

    // Gives 0; kDecodeRefused when `mode` % 4 is 1 or 3 (image untouched) or the buffers
    // cannot be allocated (`lines` stays `height`); kEndOfData when the data ended before any
    // line; kInvalidCode when an invalid code was not followed by any resynchronisation marker.
    int decode_g4_page(FaxPageImage& image);

    // Decodes one line against `reference` into `coding` and the writer's row. Gives the
    // line's total of written pixels (`width`, or more when the last run passes the width),
    // or a DecodeStatus.
    int64_t decode_g4_line(LineWriter& writer, RunList& coding, RunList& reference);

    // First changing element of the reference line right of `a0` whose colour is opposite to
    // `colour`, moving the reference cursor forward from `b1`.
    int64_t advance_b1(RunList& reference, int64_t a0, int64_t b1, int colour) const;
    // Moves the reference cursor back until b1 is not right of `a1` (after a VL code).
    static int64_t retreat_b1(RunList& reference, int64_t a1, int64_t b1);

    // Resynchronisation after an invalid code: gives 0 when decoding can go on (the reader
    // then stands after the marker), or a negative fetch status when the data is exhausted.
    int find_sync_marker();

  private:
    // decode_g4_line over a source of codes: the reader's tree walk, or a BitCursor.
    template <class Codes>
    int64_t decode_line(Codes& codes, LineWriter& writer, RunList& coding, RunList& reference);

    FaxBitReader reader_;
    uint8_t invert_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    uint8_t resume_in_place_ = 0;
    uint8_t mode_ = 0;
    uint8_t marker_count_ = 0;
    int32_t resume_position_ = 0;
    bool count_only_ = false;
    bool first_line_only_ = false;
    bool tree_walk_ = false;
};

}  // namespace trelvane::faxcodec
