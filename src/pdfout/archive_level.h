// Archive PDFs (PDF/A): which part a PDF is made to, conformance level B in every case.
#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace trelvane::pdfout {

enum class ArchiveLevel : uint8_t { kNone = 0, kPdfA1b, kPdfA2b, kPdfA3b };

// "1b", "2b", "3b" (any case); anything else is no level.
inline std::optional<ArchiveLevel> archive_level_from_name(std::string_view name) {
    if (name.size() != 2 || (name[1] != 'b' && name[1] != 'B'))
        return std::nullopt;
    switch (name[0]) {
        case '1':
            return ArchiveLevel::kPdfA1b;
        case '2':
            return ArchiveLevel::kPdfA2b;
        case '3':
            return ArchiveLevel::kPdfA3b;
        default:
            return std::nullopt;
    }
}

// "1b", "2b", "3b"; empty for none.
inline std::string_view archive_level_name(ArchiveLevel level) {
    switch (level) {
        case ArchiveLevel::kPdfA1b:
            return "1b";
        case ArchiveLevel::kPdfA2b:
            return "2b";
        case ArchiveLevel::kPdfA3b:
            return "3b";
        default:
            return {};
    }
}

// The part of ISO 19005 (1, 2 or 3); 0 for none.
inline int archive_part(ArchiveLevel level) {
    return static_cast<int>(level);
}

// What /pdfa alone and the window's check box make.
inline constexpr ArchiveLevel kDefaultArchiveLevel = ArchiveLevel::kPdfA2b;

}  // namespace trelvane::pdfout
