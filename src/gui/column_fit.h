// How the result list shares its width among its three columns, kept apart from the widgets so
// it can be checked without a display.
#pragma once

#include <array>

namespace trelvane::gui {

struct ColumnNeed {
    int wanted = 0;   // the widest text of the column (or its header), with margins
    int minimum = 0;  // below this the column stops shrinking: its header stays readable
};

// Source, PDF, result. When everything fits, every column gets what it wants and the result
// column takes what is left over. When the list is too narrow, the two path columns give way
// first (their texts are elided in the middle, so file names stay in view), down to their
// minimums; the result column keeps its whole text as long as that takes no more than half the
// width. When even the minimums do not fit, the sum exceeds `available` (a scroll bar shows).
std::array<int, 3> fit_column_widths(const std::array<ColumnNeed, 3>& needs, int available);

}  // namespace trelvane::gui
