// The WinFax container reader on arbitrary file contents: the page chain, every page's load
// and title, each page decoded to count its lines, and the intermediate TIFF file written with
// and without recounting. Without, it must open in libtiff with one directory per page.
#include <tiffio.h>

#include <cstdint>
#include <memory>
#include <string>

#include "faxcodec/fax_page_image.h"
#include "faxread/fax_metadata.h"
#include "faxread/winfax_reader.h"
#include "fuzz_common.h"

using namespace trelvane;

namespace {

struct TiffCloser {
    void operator()(TIFF* tiff) const { TIFFClose(tiff); }
};

const std::string& input_path() {
    static const std::string path = fuzz::scratch_folder() + "/input.fxd";
    return path;
}
const std::string& tiff_path() {
    static const std::string path = fuzz::scratch_folder() + "/pages.tif";
    return path;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    TIFFSetErrorHandler(nullptr);
    TIFFSetWarningHandler(nullptr);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* bytes, size_t size) {
    if (!fuzz::write_bytes(input_path(), bytes, size))
        fuzz::fail("cannot write the input file");

    faxread::WinFaxReader reader;
    reader.open_file(input_path());
    fuzz::check(reader.is_open(), "the input file does not open");
    const uint16_t count = reader.count_pages();
    fuzz::check(count <= reader.page_limit(), "more pages than the file can hold");
    fuzz::check(reader.page_limit() <= faxread::FaxFileReader::kMaxPages &&
                    int64_t{reader.page_limit()} * faxread::FaxFileReader::kMinPageBytes <
                        int64_t{reader.file_size()} + faxread::FaxFileReader::kMinPageBytes,
                "the page bound is not the file's size");
    fuzz::check(reader.pages_left_out() == 0 || count == reader.page_limit(),
                "pages left out below the bound");
    fuzz::check(count == 0 || reader.page_offset(0) == 0, "the first page is not at offset 0");
    for (uint16_t i = 1; i < count; ++i) {
        fuzz::check(reader.page_offset(i) > reader.page_offset(i - 1),
                    "the page chain does not move forward");
        fuzz::check(reader.page_offset(i) < reader.file_size(), "a page starts past the end");
    }

    faxread::FaxMetadata metadata;
    for (uint16_t i = 0; i < count; ++i) {
        reader.read_title(i, metadata);
        if (metadata.title_text)
            fuzz::check(metadata.title_text->size() <= 119, "title longer than its field");
        if (reader.load_page(i) != faxread::WinFaxReader::kOk)
            continue;
        fuzz::check(reader.page_data_length() <= reader.file_size(),
                    "page data longer than the file");
        faxcodec::FaxPageImage image;
        reader.describe_page(i, image);
        fuzz::check(image.bitmap.empty(), "count-only decode kept a bitmap");
        fuzz::check(image.lines >= 0 && image.lines <= reader.page_length(),
                    "more lines than the page length");
    }

    // Without recounting every page keeps a length of at least 1, so libtiff must open the
    // file. A recount may give a page no lines at all (length 0, which libtiff refuses by
    // design), so that pass is left to the sanitizers.
    if (count > 0 &&
        reader.write_multipage_tiff(tiff_path(), count, 0) == faxread::WinFaxReader::kOk) {
        std::unique_ptr<TIFF, TiffCloser> tiff(TIFFOpen(tiff_path().c_str(), "r"));
        fuzz::check(tiff != nullptr, "the intermediate TIFF file does not open");
        fuzz::check(TIFFNumberOfDirectories(tiff.get()) == count,
                    "the intermediate TIFF file lacks pages");
    }
    if (count > 0)
        reader.write_multipage_tiff(tiff_path(), count, 1);
    reader.close_file();
    std::remove(tiff_path().c_str());
    return 0;
}
