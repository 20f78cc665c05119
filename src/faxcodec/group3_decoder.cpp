#include "faxcodec/group3_decoder.h"

#include <algorithm>

#include "faxcodec/bit_cursor.h"
#include "faxcodec/page_buffers.h"

namespace trelvane::faxcodec {

Group3Decoder::Group3Decoder(const uint8_t* data, int32_t size, uint8_t fill_order,
                             uint8_t coding_kind, uint8_t invert)
    : coding_kind_(coding_kind), invert_(invert) {
    reader_.fill_order = fill_order;
    reader_.init(data, size);
}

void Group3Decoder::set_dimensions(int32_t width, int32_t height) {
    width_ = width;
    height_ = height;
}

int Group3Decoder::decode_page(FaxPageImage& image) {
    if (coding_kind_ == kGroup3OneDimensional)
        return decode_g3_lines(image);
    return kDecodeRefused;
}

int Group3Decoder::decode_g3_lines(FaxPageImage& image) {
    fill_page_fields(image, width_, height_, static_cast<uint32_t>(reader_.size),
                     reader_.fill_order, kGroup3OneDimensional, invert_);
    image.bitmap.clear();
    const int64_t row_bytes = row_bytes_for(width_);
    if (row_bytes < 0 || height_ < 0)
        return kDecodeRefused;
    if (!count_only_ && !allocate_zeroed(image.bitmap, row_bytes * height_))
        return kDecodeRefused;
    // Lines decode into the page row by row; a count draws nothing.
    std::vector<uint8_t> scratch;
    if (!allocate_zeroed(scratch, row_bytes)) {
        image.bitmap.clear();
        return kDecodeRefused;
    }

    int32_t lines = 0;
    LineWriter writer;
    // Points the writer at the row for line `lines`, cleared. Once the page holds `height`
    // lines the writer gets no room at all: later runs are refused and the page's last row
    // stays as decoded.
    auto start_row = [&]() {
        if (lines >= height_ || count_only_) {
            // Counting draws nothing: what is drawn never steers decoding.
            writer.reset(scratch.data(), 0);
            return;
        }
        uint8_t* row = image.bitmap.data() + static_cast<size_t>(lines) * row_bytes;
        std::fill_n(row, row_bytes, uint8_t{0});
        writer.reset(row, static_cast<uint32_t>(row_bytes));
    };
    start_row();

    int colour = 0;
    int64_t line_length = 0;  // pixels of the line so far
    int64_t make_up = 0;      // make-up lengths waiting for their terminating code
    int invalid_codes = 0;
    // The table-driven way reads through a cursor; the reader takes over at the data's end
    // and for the end-of-line search, each time from the state the cursor hands back.
    BitCursor cursor;
    cursor.load(reader_);
    auto next_run_code = [&](int run_colour) {
        if (tree_walk_)
            return reader_.decode_run(run_colour);
        int code = cursor.decode_run(run_colour);
        if (code == kCursorNeedsReader) {
            cursor.store(reader_);
            code = reader_.decode_run(run_colour);
            cursor.load(reader_);
        }
        return code;
    };
    // Drops the partial line and goes on after the next end-of-line code.
    auto resynchronise = [&]() {
        if (!tree_walk_)
            cursor.store(reader_);
        const int found = reader_.find_end_of_line();
        if (!tree_walk_)
            cursor.load(reader_);
        if (found != 0)
            return false;
        start_row();
        line_length = 0;
        make_up = 0;
        colour = 0;
        return true;
    };

    for (;;) {
        const int code = next_run_code(colour);
        if (code == kEndOfData)
            break;
        if (code == kInvalidCode) {
            ++invalid_codes;
            if (!resynchronise())
                break;
            continue;
        }
        if (code == kEndOfLine) {
            if (line_length == width_)
                ++lines;
            line_length = 0;
            make_up = 0;
            colour = 0;
            if (lines > height_)
                lines = height_;
            if (first_line_only_ && lines > 0)
                break;
            start_row();
            continue;
        }
        if (code > 63) {
            make_up += code;
            continue;
        }
        const int64_t run = make_up + code;
        line_length += run;
        write_run(writer, run, (colour != 0) != (invert_ != 0));
        colour ^= 1;
        make_up = 0;
        if (line_length > width_ && !resynchronise())
            break;
    }
    if (!tree_walk_)
        cursor.store(reader_);
    // A last complete line without an end-of-line code after it counts too.
    if (line_length == width_ && lines < height_)
        ++lines;

    image.lines = lines;
    if (!count_only_)
        image.bitmap.resize(static_cast<size_t>(lines) * row_bytes);
    return invalid_codes;
}

}  // namespace trelvane::faxcodec
