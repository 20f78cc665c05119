#include "gui/column_fit.h"

#include <algorithm>

namespace trelvane::gui {

std::array<int, 3> fit_column_widths(const std::array<ColumnNeed, 3>& needs, int available) {
    std::array<int, 3> wanted{};
    std::array<int, 3> minimum{};
    for (size_t i = 0; i < needs.size(); ++i) {
        minimum[i] = std::max(0, needs[i].minimum);
        wanted[i] = std::max(needs[i].wanted, minimum[i]);
    }
    available = std::max(0, available);
    if (wanted[0] + wanted[1] + wanted[2] <= available) {
        return {wanted[0], wanted[1], available - wanted[0] - wanted[1]};
    }
    const int result = std::min(wanted[2], std::max(minimum[2], available / 2));
    const int rest = available - result;
    if (wanted[0] + wanted[1] <= rest) {
        return {wanted[0], wanted[1], available - wanted[0] - wanted[1]};
    }
    const int share = rest - minimum[0] - minimum[1];
    if (share <= 0) {
        return {minimum[0], minimum[1], std::max(minimum[2], available - minimum[0] - minimum[1])};
    }
    // Each path column gives up in proportion to what it wants beyond its minimum.
    const long long extra0 = wanted[0] - minimum[0];
    const long long extra1 = wanted[1] - minimum[1];
    const int source = minimum[0] + static_cast<int>(share * extra0 / (extra0 + extra1));
    return {source, rest - source, result};
}

}  // namespace trelvane::gui
