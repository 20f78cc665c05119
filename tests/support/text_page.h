// Pages of known text for the searchable-PDF tests: PostScript typeset and rendered by
// Ghostscript, and what poppler's pdftotext finds in a PDF (words with their boxes).
#pragma once

#include <string>
#include <vector>

#include "support/bitmap.h"

namespace trelvane::testsupport {

// Renders a one-page PostScript program (letter size, 612 x 792 points) as a bilevel page of
// width x height pixels at x_res by y_res pixels per inch (1 = black).
bool render_postscript(const std::string& program, int x_res, int y_res, int width, int height,
                       Bitmap& out, std::string* log = nullptr);

// A PostScript page with the lines in Times-Roman of the given size, one under the other,
// starting an inch from the top left.
std::string text_page_program(const std::vector<std::string>& lines, int point_size);

struct PdfWord {
    std::string text;
    double x_min = 0, y_min = 0, x_max = 0, y_max = 0;  // points, origin top left
};

// `pdftotext -bbox` of one page (counted from 1); false when the tool fails.
bool pdf_words(const std::string& pdf, int page, std::vector<PdfWord>& words);

// `pdftotext` of one page, as text.
std::string pdf_text(const std::string& pdf, int page);

struct InkBox {
    int left = 0, top = 0, right = 0, bottom = 0;  // exclusive right and bottom
    bool empty() const { return right <= left || bottom <= top; }
};

// The box of the black pixels inside the rectangle (clipped to the page).
InkBox ink_box(const Bitmap& page, int left, int top, int right, int bottom);

// Where a viewer's selection of each word lies against the rendered page (x_res by y_res pixels
// per inch): across, the word's box must be the ink of the word (within `slack` pixels); down,
// the box must hold it. Empty when every word fits; else one line per word that does not.
std::string words_off_their_ink(const std::vector<PdfWord>& words, const Bitmap& rendered,
                                int x_res, int y_res, double slack = 2.5);

}  // namespace trelvane::testsupport
