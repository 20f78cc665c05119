// Decoder of one page of Group 3 one-dimensional data (T.4 modified Huffman runs, each line
// introduced by an end-of-line code). Counts the lines that decode to exactly the width.
#pragma once

#include <cstdint>
#include <vector>

#include "faxcodec/bit_reader.h"
#include "faxcodec/fax_page_image.h"
#include "faxcodec/line_writer.h"

namespace trelvane::faxcodec {

class Group3Decoder {
  public:
    // `data` is borrowed: the caller keeps it alive while the decoder is used.
    Group3Decoder(const uint8_t* data, int32_t size, uint8_t fill_order, uint8_t coding_kind,
                  uint8_t invert);

    void set_dimensions(int32_t width, int32_t height);
    void set_coding_kind(uint8_t kind) { coding_kind_ = kind; }
    // Decode every line into one reused row and leave `image.bitmap` empty: memory stays
    // bounded by one row whatever the height. Size fields and result are those of a full decode.
    void set_count_only(bool on) { count_only_ = on; }
    // Stop at the first complete line: the page's lines are then 1 (0 when none completes),
    // which is all it takes to tell whether the data is a fax page at all.
    void set_first_line_only(bool on) { first_line_only_ = on; }
    // Decode through the code trees bit group by bit group instead of the lookup tables. Both
    // give identical results; the tree walk is the reference the tables are checked against.
    void set_tree_walk(bool on) { tree_walk_ = on; }
    // Re-pointing the reader: set the fill order, then init.
    void set_fill_order(uint8_t fill_order) { reader_.fill_order = fill_order; }
    void init(const uint8_t* data, int32_t size) { reader_.init(data, size); }
    FaxBitReader& reader() { return reader_; }

    int32_t width() const { return width_; }
    int32_t height() const { return height_; }
    uint8_t coding_kind() const { return coding_kind_; }

    // Decodes according to the coding kind: kind 5 runs decode_g3_lines; any other kind gives
    // kDecodeRefused and leaves the image untouched.
    int decode_page(FaxPageImage& image);
    // Gives the number of invalid codes met (0 or more), or kDecodeRefused when the page buffers
    // cannot be allocated (`lines` then stays `height`, `bitmap` empty).
    int decode_g3_lines(FaxPageImage& image);

  private:
    FaxBitReader reader_;
    uint8_t coding_kind_ = 0;
    uint8_t invert_ = 0;
    int32_t width_ = 0;
    int32_t height_ = 0;
    bool count_only_ = false;
    bool first_line_only_ = false;
    bool tree_walk_ = false;
};

}  // namespace trelvane::faxcodec
