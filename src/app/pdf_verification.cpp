#include "app/pdf_verification.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <map>
#include <optional>
#include <span>
#include <vector>

#include "faxcodec/coded_strip.h"
#include "faxcodec/fax_page_image.h"
#include "faxcodec/strip_decoder.h"
#include "faxread/winfax_reader.h"

namespace trelvane::app {

namespace {

constexpr uint8_t kLsbFirst = 2;  // WinFax data: first coded bit in the least significant bit
constexpr double kPointsPerInch = 72.0;

std::string page_name(size_t page) {
    return "page " + std::to_string(page + 1);
}

std::string size_text(uint32_t width, uint32_t height) {
    return std::to_string(width) + " x " + std::to_string(height) + " pixels";
}

// How the rows of one page are compared.
struct RowRules {
    uint32_t compared_rows = 0;   // rows from the top that are compared (the rest are damaged)
    uint32_t unmatched_rows = 0;  // PDF rows that may stand without their like in the fax
    bool blank = false;           // the conversion left the page white
};

RowRules rules_for(const faxcodec::StripDecodeStatus& decode, uint32_t height, bool blank) {
    RowRules rules;
    rules.compared_rows = height;
    rules.blank = blank;
    const bool damaged = decode.damaged_rows > 0 || decode.run_overflow;
    if (damaged && decode.coding == faxcodec::StripCoding::kGroup4) {
        const int64_t from =
            decode.first_damaged_row >= 0 ? decode.first_damaged_row : int64_t{decode.rows_decoded};
        rules.compared_rows = static_cast<uint32_t>(std::min<int64_t>(from, height));
    } else if (damaged) {
        rules.unmatched_rows = decode.damaged_rows;
    }
    if (decode.cut_short)
        ++rules.unmatched_rows;
    return rules;
}

// Compares the PDF's rows with the fax's, row by row, under the rules. Empty when they match.
std::string compare_rows(const pdfout::ReadBackPage& got, const faxcodec::FaxPageImage& fax,
                         const RowRules& rules, size_t page) {
    const size_t row_bytes = (got.width + 7) / 8;
    const std::vector<uint8_t> white(row_bytes, 0);
    const uint8_t last_mask = static_cast<uint8_t>(0xFF << (row_bytes * 8 - got.width));
    // The reader's decoders draw white as 1; the PDF's rows are read back with black as 1.
    std::vector<uint8_t> scratch(row_bytes);
    const auto fax_row = [&](size_t j) -> const uint8_t* {
        if (rules.blank || j >= static_cast<size_t>(fax.lines) ||
            static_cast<size_t>(fax.row_bytes) != row_bytes)
            return white.data();
        const uint8_t* row = fax.bitmap.data() + j * row_bytes;
        for (size_t b = 0; b < row_bytes; ++b)
            scratch[b] = static_cast<uint8_t>(~row[b]);
        return scratch.data();
    };
    const auto same = [&](const uint8_t* a, const uint8_t* b) {
        if (row_bytes == 0)
            return true;
        return std::memcmp(a, b, row_bytes - 1) == 0 &&
               ((a[row_bytes - 1] ^ b[row_bytes - 1]) & last_mask) == 0;
    };
    uint32_t unmatched_left = rules.unmatched_rows;
    size_t j = 0;
    for (size_t i = 0; i < rules.compared_rows; ++i) {
        const uint8_t* pdf_row = got.rows.data() + i * row_bytes;
        if (same(pdf_row, fax_row(j))) {
            ++j;
            continue;
        }
        if (unmatched_left > 0) {
            --unmatched_left;  // a damaged row the fax's decoding dropped
            continue;
        }
        return page_name(page) + " differs from the fax from line " + std::to_string(i + 1) + " on";
    }
    return {};
}

std::string check_page(faxread::WinFaxReader& reader, uint16_t page, pdfout::PdfReadBack& pdf,
                       size_t pdf_index, const faxread::ConversionSettings& settings,
                       const pdfout::CopiedPage* copied) {
    pdfout::ReadBackPage got;
    if (std::string problem = pdf.read_page(pdf_index, got); !problem.empty())
        return page_name(page) + " of the PDF: " + problem;
    faxcodec::FaxPageImage image;
    const bool blank = copied != nullptr && copied->unreadable;
    const int32_t loaded =
        blank ? reader.load_page(page)
              : reader.describe_page(page, image, faxread::PageDecode::kFullBitmap);
    if (loaded != faxread::WinFaxReader::kOk)
        return page_name(page) + " of the fax cannot be read again";
    const uint32_t width = reader.page_width();
    const uint32_t declared = reader.page_length();
    const faxcodec::StripCoding coding = reader.page_coding() == 0
                                             ? faxcodec::StripCoding::kGroup3OneDimensional
                                             : faxcodec::StripCoding::kGroup4;
    // What the copy stage's decoder meets on the page: known from a conversion, else counted
    // again, but only when it matters (a recount's length, or rows that differ, which damage
    // may explain): most pages are whole, and the count is a decoding of its own.
    std::optional<faxcodec::StripDecodeStatus> decode;
    if (copied != nullptr && !settings.recalculate_lines)
        decode = copied->decode;
    const auto count = [&]() -> const faxcodec::StripDecodeStatus& {
        if (!decode) {
            decode = faxcodec::StripDecoder::count_rows(
                faxcodec::CodedStrip(reader.page_data(), kLsbFirst), coding, width, declared);
        }
        return *decode;
    };
    // A recount makes the page as long as its data, never longer than declared, and leaves a
    // page without data its declared length.
    uint32_t height = declared;
    if (settings.recalculate_lines != 0 && count().content_rows > 0)
        height = std::min(count().content_rows, declared);
    if (got.width != width || got.height != height) {
        return page_name(page) + " is " + size_text(got.width, got.height) + ", the fax's " +
               size_text(width, height);
    }
    const double x_resolution = reader.horizontal_resolution();
    const double y_resolution = reader.vertical_resolution();
    const auto off = [](double points, uint32_t pixels, double resolution) {
        return resolution <= 0 ||
               std::fabs(points - pixels * kPointsPerInch / resolution) > 0.01 * points + 0.01;
    };
    if (off(got.width_points, width, x_resolution) || off(got.height_points, height, y_resolution))
        return page_name(page) + " does not have the fax page's resolution";
    if (!decode) {
        RowRules whole;
        whole.compared_rows = height;
        whole.blank = blank;
        if (compare_rows(got, image, whole, page).empty())
            return {};
    }
    return compare_rows(got, image, rules_for(count(), height, blank), page);
}

}  // namespace

std::string pdf_mismatch(const std::string& fax_path, pdfout::PdfReadBack& pdf,
                         const faxread::ConversionSettings& settings,
                         const pdfout::TiffCopyReport* copied) {
    faxread::WinFaxReader reader;
    reader.open_file(fax_path);
    if (!reader.is_open())
        return "the fax cannot be read again";
    const uint16_t pages = reader.count_pages();
    std::map<uint32_t, const pdfout::CopiedPage*> copied_pages;
    size_t left_out = 0;
    if (copied != nullptr) {
        for (const pdfout::CopiedPage& c : copied->pages) {
            copied_pages[c.index] = &c;
            left_out += c.left_out ? 1 : 0;
        }
    }
    const size_t expected = pages - std::min<size_t>(left_out, pages);
    if (pdf.page_count() != expected) {
        return "the PDF has " + std::to_string(pdf.page_count()) + " pages, the fax " +
               std::to_string(expected);
    }
    size_t pdf_index = 0;
    for (uint16_t page = 0; page < pages; ++page) {
        const auto found = copied_pages.find(page);
        const pdfout::CopiedPage* c = found != copied_pages.end() ? found->second : nullptr;
        if (c != nullptr && c->left_out)
            continue;
        if (std::string problem = check_page(reader, page, pdf, pdf_index++, settings, c);
            !problem.empty())
            return problem;
    }
    return {};
}

std::string pdf_file_mismatch(const std::string& fax_path, const std::string& pdf_path,
                              const faxread::ConversionSettings& settings) {
    pdfout::PdfReadBack pdf;
    if (std::string problem = pdf.open(pdf_path); !problem.empty())
        return problem;
    return pdf_mismatch(fax_path, pdf, settings);
}

}  // namespace trelvane::app
