#include "faxread/fax_reader.h"

namespace trelvane::faxread {

int32_t FaxReader::open_fax_file(const std::string& path, FaxTypeCode type) {
    system_error_ = 0;
    if (type != kFaxTypeWinFax)
        return kFailed;
    winfax_.open_file(path);
    if (!winfax_.is_open()) {
        system_error_ = winfax_.system_error();
        return kFailed;
    }
    settings_.page_count = winfax_.count_pages();
    // Decoding the first page is how a WinFax file is recognised as a fax: it is one when a
    // line of it decodes, so decoding stops there (for faxes of a page or two this was as much
    // work as converting them).
    winfax_.describe_page(0, page_image_, PageDecode::kFirstLine);
    winfax_.read_title(0, metadata_);
    return kOk;
}

bool FaxReader::is_fax() const {
    return page_image_.width >= 1 && page_image_.lines >= 1;
}

int32_t FaxReader::write_intermediate_tiff(const std::string& path, FaxTypeCode type,
                                           const std::string& page_file_base) {
    system_error_ = 0;
    if (type != kFaxTypeWinFax || !winfax_.is_open())
        return kFailed;
    const uint16_t count = settings_.page_count;
    const uint8_t recount = settings_.recalculate_lines;
    if (settings_.page_file_mode == 1) {
        const std::string& base = page_file_base.empty() ? path : page_file_base;
        const int32_t result = winfax_.write_page_files(base, count, recount);
        if (result != kOk) {
            system_error_ = winfax_.system_error();
            return result;
        }
    }
    // In page-file mode too: the next stage reads the multi-page file at path.
    const int32_t result = winfax_.write_multipage_tiff(path, count, recount);
    system_error_ = winfax_.system_error();
    return result;
}

}  // namespace trelvane::faxread
