// The document texts a fax reader supplies for the PDF's information dictionary.
#pragma once

#include <optional>
#include <string>

namespace trelvane::faxread {

struct FaxMetadata {
    std::optional<std::string> author_text;
    std::optional<std::string> title_text;
    std::optional<std::string> subject_text;

    void clear() {
        author_text.reset();
        title_text.reset();
        subject_text.reset();
    }
};

}  // namespace trelvane::faxread
