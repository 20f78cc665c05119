#include "pdfout/pdf_writer.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <ctime>
#include <span>

#include "pdfout/archive_metadata.h"
#include "pdfout/embedded_fax.h"
#include "pdfout/pdf_page.h"
#include "pdfout/srgb_profile.h"
#include "pdfout/tiff_handle.h"
#include "platform/atomic_file.h"
#include "platform/clock.h"

namespace trelvane::pdfout {
namespace {

constexpr size_t kMaxInfoText = 512;
constexpr int kProducerVersion = 20050315;
constexpr const char* kProducerFormat = "Corvenna Studio - %d / %s";
constexpr uint16_t kMaxPages = UINT16_MAX;  // page indexes are 16-bit

// Archive PDFs: the versions the parts are based on, and the largest page side a PDF 1.4
// reader must take (200 inches), which PDF/A-1 keeps; PDF/A-2 and 3 allow a user unit beyond.
constexpr uint16_t kArchiveOneMinor = 4;
constexpr uint16_t kArchiveTwoMinor = 7;
constexpr float kMaxPageSide = 14400;
// Metadata and output profile, and for 3b the file entry, the embedded file and its
// length.
constexpr uint32_t kArchiveObjects = 2;
constexpr uint32_t kEmbeddedFileObjects = 3;

bool is_archive(const PdfWriterState& state) {
    return state.archive != ArchiveLevel::kNone;
}

// PDF/A validators take a lone carriage return before "endstream" for a wrong length, so
// archive PDFs end their stream data with a line feed; other PDFs keep their bytes.
const char* stream_end(const PdfWriterState& state) {
    return is_archive(state) ? "\nendstream\r" : "\rendstream\r";
}

uint32_t archive_object_count(const PdfWriterState& state) {
    if (!is_archive(state))
        return 0;
    return kArchiveObjects + (state.embedded_fax != nullptr ? kEmbeddedFileObjects : 0);
}

// The runtime library's classic generator, one per thread, never reseeded: the identifiers of
// a thread's documents follow a fixed sequence.
thread_local uint32_t generator_state = 1;

int next_random() {
    generator_state = generator_state * 214013u + 2531011u;
    return static_cast<int>((generator_state >> 16) & 0x7fff);
}

void report(PdfWriterState& state, const char* format, auto... args) {
    state.sink->error(kWriterModule, format, args...);
    state.error = true;
}

std::optional<std::string> tag_text(TIFF* input, ttag_t tag) {
    const char* text = nullptr;
    if (TIFFGetField(input, tag, &text) && text != nullptr)
        return std::string(text);
    return std::nullopt;
}

// A supplied text wins even when empty; otherwise the tag is used.
std::optional<std::string> supplied_or_tag(const std::optional<std::string>& supplied, TIFF* input,
                                           ttag_t tag) {
    if (supplied)
        return supplied->empty() ? std::nullopt : supplied;
    return tag_text(input, tag);
}

bool is_page_directory(TIFF* input) {
    uint16_t page = 0, pages = 0;
    if (TIFFGetField(input, TIFFTAG_PAGENUMBER, &page, &pages))
        return true;
    uint32_t subfile_type = 0;
    if (TIFFGetField(input, TIFFTAG_SUBFILETYPE, &subfile_type)) {
        return subfile_type == 0 || (subfile_type & FILETYPE_PAGE) != 0;
    }
    uint16_t old_type = 0;
    if (TIFFGetField(input, TIFFTAG_OSUBFILETYPE, &old_type)) {
        return old_type == 0 || old_type == OFILETYPE_IMAGE || old_type == OFILETYPE_PAGE;
    }
    return true;
}

// Objects a page needs between its content length and its image.
uint32_t extra_objects(TIFF* input, PageEntry& page) {
    uint32_t extra = 0;
    uint16_t photometric = 0;
    uint16_t indexed = 0;
    if ((TIFFGetField(input, TIFFTAG_PHOTOMETRIC, &photometric) &&
         photometric == PHOTOMETRIC_PALETTE) ||
        (TIFFGetField(input, TIFFTAG_INDEXED, &indexed) && indexed != 0)) {
        extra += 1;
    }
    uint16_t *t1 = nullptr, *t2 = nullptr, *t3 = nullptr;
    if (TIFFGetField(input, TIFFTAG_TRANSFERFUNCTION, &t1, &t2, &t3)) {
        page.has_transfer_function = true;
        extra += (t2 == nullptr || t2 == t1) ? 2 : 4;
    }
    uint32_t icc_length = 0;
    void* icc = nullptr;
    if (TIFFGetField(input, TIFFTAG_ICCPROFILE, &icc_length, &icc))
        extra += 1;
    return extra;
}

void build_page_list(PdfWriterState& state, TIFF* input) {
    const tdir_t directories = TIFFNumberOfDirectories(input);
    uint64_t planned = 3;
    uint32_t next_object = 4;
    for (tdir_t i = 0; i < directories; ++i) {
        if (!go_to_directory(input, i)) {
            return report(state, "Can't set directory %u of input file %s", unsigned{i},
                          TIFFFileName(input));
        }
        if (!is_page_directory(input))
            continue;
        if (state.pages.size() >= kMaxPages) {
            return report(state, "Too many pages in input file %s", TIFFFileName(input));
        }
        PageEntry page;
        page.directory = static_cast<uint16_t>(i);
        page.page_number = static_cast<uint32_t>(state.pages.size());
        page.object_number = next_object;
        page.extra_objects = extra_objects(input, page);
        if (TIFFIsTiled(input))
            page.tile_count = TIFFNumberOfTiles(input);
        planned += 5 + page.extra_objects;
        if (page.tile_count > 1)
            planned += (page.tile_count - 1) * uint64_t{2};
        next_object += 3 + page.extra_objects + (page.tile_count ? 2 * page.tile_count : 2);
        state.pages.push_back(page);
    }
    state.first_archive_object = static_cast<uint32_t>(planned + 1);
    planned += archive_object_count(state);
    if (planned > UINT32_MAX / 2) {
        return report(state, "Can't allocate %llu bytes of memory for t2p_write_pdf",
                      static_cast<unsigned long long>(planned * 4));
    }
    state.object_offsets.assign(static_cast<size_t>(planned), 0);
}

// Records where the next object starts and writes its opening line.
void begin_object(PdfWriterState& state, PdfOutput& out) {
    if (state.object_count >= state.object_offsets.size()) {
        report(state, "Object count exceeds the planned %zu objects", state.object_offsets.size());
        return;
    }
    state.object_offsets[state.object_count++] = out.bytes_written();
    out.format("%lu 0 obj\r", static_cast<unsigned long>(state.object_count));
}

void end_object(PdfOutput& out) {
    out.write("endobj\r");
}

void make_date_text(PdfWriterState& state, TIFF* input) {
    const std::optional<std::string> stamp = tag_text(input, TIFFTAG_DATETIME);
    if (stamp && stamp->size() >= 19) {
        const std::string& s = *stamp;
        state.date_text = "D:" + s.substr(0, 4) + s.substr(5, 2) + s.substr(8, 2) +
                          s.substr(11, 2) + s.substr(14, 2) + s.substr(17, 2);
        return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    platform::local_time(now, local);
    char text[96];
    std::snprintf(text, sizeof text, "D:%.4d%.2d%.2d%.2d%.2d%.2d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec);
    state.date_text = text;
}

size_t write_info_entry(PdfOutput& out, const char* key, const std::string& value) {
    size_t n = out.write(key);
    n += write_pdf_string(out, std::string_view(value).substr(0, kMaxInfoText));
    n += out.write("\r");
    return n;
}

// An archive PDF's text: the same bytes as in any PDF when they are PDFDocEncoding text that
// XMP can repeat alike, else the characters in UTF-16. Returns the text XMP repeats.
std::string write_archive_entry(PdfOutput& out, const char* key, const std::string& value) {
    const std::string_view bytes = std::string_view(value).substr(0, kMaxInfoText);
    out.write(key);
    std::optional<std::u32string> text = pdfdoc_characters(bytes);
    // A string that starts with FE FF is read as UTF-16 whatever was meant.
    if (text && !bytes.starts_with("\xFE\xFF")) {
        write_pdf_string(out, bytes);
    } else {
        text = pdfdoc_characters_replaced(bytes);
        out.write(utf16_pdf_string(*text));
    }
    out.write("\r");
    return utf8_text(*text);
}

std::string producer_text() {
    char producer[64];
    std::snprintf(producer, sizeof producer, kProducerFormat, kProducerVersion, "d");
    return producer;
}

void write_source_record(const PdfWriterState& state, PdfOutput& out) {
    if (!state.source_record)
        return;
    // Whole, however long the path: a cut path would never match its fax again.
    const FaxSourceRecord& record = *state.source_record;
    const std::pair<std::string_view, std::string> entries[] = {
        {kRecordPathKey, record.path},
        {kRecordSizeKey, record_size_text(record)},
        {kRecordModifiedKey, record_modified_text(record)}};
    for (const auto& [key, value] : entries) {
        out.write(key);
        out.write(" ");
        write_pdf_string(out, value);
        out.write("\r");
    }
}

// The information dictionary of an archive PDF: the dates with their offset (created: the
// fax's own date; modified: now), and every text as XMP repeats it, which `metadata` collects.
void write_archive_info(PdfWriterState& state, TIFF* input, PdfOutput& out,
                        ArchiveMetadata& metadata) {
    const int64_t now = static_cast<int64_t>(std::time(nullptr));
    metadata.level = state.archive;
    metadata.modified = document_date(now);
    metadata.created = state.archived_fax ? document_date(state.archived_fax->modified_seconds)
                                          : metadata.modified;
    metadata.producer = producer_text();
    metadata.record = state.source_record;
    out.write("<< \r/CreationDate ");
    write_pdf_string(out, metadata.created.pdf);
    out.write("\r/ModDate ");
    write_pdf_string(out, metadata.modified.pdf);
    out.write("\r/Producer ");
    write_pdf_string(out, metadata.producer);
    out.write("\r");
    if (auto creator = supplied_or_tag(state.creator, input, TIFFTAG_SOFTWARE))
        metadata.creator = write_archive_entry(out, "/Creator ", *creator);
    std::optional<std::string> author = supplied_or_tag(state.author, input, TIFFTAG_ARTIST);
    if (!state.author && !author)
        author = tag_text(input, TIFFTAG_COPYRIGHT);
    if (author)
        metadata.author = write_archive_entry(out, "/Author ", *author);
    if (auto title = supplied_or_tag(state.title, input, TIFFTAG_DOCUMENTNAME))
        metadata.title = write_archive_entry(out, "/Title ", *title);
    if (auto subject = supplied_or_tag(state.subject, input, TIFFTAG_IMAGEDESCRIPTION))
        metadata.subject = write_archive_entry(out, "/Subject ", *subject);
    if (state.keywords && !state.keywords->empty())
        metadata.keywords = write_archive_entry(out, "/Keywords ", *state.keywords);
    write_source_record(state, out);
    out.write(">> \r");
}

void write_info(PdfWriterState& state, TIFF* input, PdfOutput& out) {
    make_date_text(state, input);
    const std::string_view date = std::string_view(state.date_text).substr(0, kMaxInfoText);
    out.write("<< \r/CreationDate ");
    write_pdf_string(out, date);
    out.write("\r/ModDate ");
    write_pdf_string(out, date);
    out.write("\r/Producer ");
    write_pdf_string(out, producer_text());
    out.write("\r");
    if (auto creator = supplied_or_tag(state.creator, input, TIFFTAG_SOFTWARE)) {
        write_info_entry(out, "/Creator ", *creator);
    }
    std::optional<std::string> author = supplied_or_tag(state.author, input, TIFFTAG_ARTIST);
    if (!state.author && !author)
        author = tag_text(input, TIFFTAG_COPYRIGHT);
    if (author)
        write_info_entry(out, "/Author ", *author);
    if (auto title = supplied_or_tag(state.title, input, TIFFTAG_DOCUMENTNAME)) {
        write_info_entry(out, "/Title ", *title);
    }
    if (auto subject = supplied_or_tag(state.subject, input, TIFFTAG_IMAGEDESCRIPTION)) {
        write_info_entry(out, "/Subject ", *subject);
    }
    if (state.keywords && !state.keywords->empty()) {
        write_info_entry(out, "/Keywords ", *state.keywords);
    }
    write_source_record(state, out);
    out.write(">> \r");
}

void write_page_tree(const PdfWriterState& state, PdfOutput& out) {
    out.write("<< \r/Type /Pages \r/Kids [ ");
    for (size_t i = 0; i < state.pages.size(); ++i) {
        out.format("%d 0 R ", static_cast<int>(state.pages[i].object_number));
        if ((i + 1) % 8 == 0)
            out.write("\r");
    }
    out.format("] \r/Count %d \r>> \r", static_cast<int>(state.pages.size()));
}

// The fonts of the text layers follow every page's objects.
uint32_t first_font_object(const PdfWriterState& state) {
    return static_cast<uint32_t>(state.object_offsets.size()) + 1;
}

TextLayerContent page_text_layer(PdfWriterState& state) {
    if (state.text_provider == nullptr)
        return {};
    const std::optional<PageText> text = state.text_provider->page_text(state.current_page);
    if (!text)
        return {};
    const PageImage& im = state.image;
    const float* m = im.image_box.matrix;
    const TextLayerGeometry geometry{im.width, im.length, {m[0], m[1], m[3], m[4], m[6], m[7]}};
    return build_text_layer(*text, geometry, state.text_fonts);
}

std::string with_stream_end(const PdfWriterState& state, std::string body) {
    constexpr std::string_view kPlainEnd = "\rendstream\r";
    if (is_archive(state) && body.ends_with(kPlainEnd))
        body.replace(body.size() - kPlainEnd.size(), kPlainEnd.size(), stream_end(state));
    return body;
}

void write_text_fonts(PdfWriterState& state, PdfOutput& out) {
    const uint32_t count = state.text_fonts.object_count();
    if (count == 0)
        return;
    const uint32_t first = first_font_object(state);
    if (state.object_count + 1 != first) {
        return report(state, "Object count %lu differs from the planned %lu objects",
                      static_cast<unsigned long>(state.object_count),
                      static_cast<unsigned long>(first - 1));
    }
    state.object_offsets.resize(state.object_offsets.size() + count, 0);
    begin_object(state, out);
    out.write(with_stream_end(state, TextLayerFonts::glyph_procedure_object()));
    end_object(out);
    begin_object(state, out);
    out.write(TextLayerFonts::font_descriptor_object());
    end_object(out);
    for (size_t f = 0; f < state.text_fonts.font_count(); ++f) {
        begin_object(state, out);
        out.write(state.text_fonts.font_object_body(f, first));
        end_object(out);
        begin_object(state, out);
        out.write(with_stream_end(state, state.text_fonts.to_unicode_object(f)));
        end_object(out);
    }
}

void write_page_objects(PdfWriterState& state, TIFF* input, PdfOutput& out) {
    const PageEntry& page = state.pages[state.current_page];
    const uint32_t p = page.object_number;
    const TextLayerContent text = page_text_layer(state);

    begin_object(state, out);
    write_page_dictionary(state, out, p, font_resources(text.fonts, first_font_object(state)));
    end_object(out);

    begin_object(state, out);
    size_t content_length = 0;
    std::string packed;
    if (!text.operators.empty()) {
        // A text layer is mostly text operators, which shrink to a fifth with Flate.
        PdfOutput content;
        write_page_content(state, content);
        content.write(text.operators);
        packed = flate_compress(content.contents());
    }
    if (packed.empty()) {
        out.format("<< \r/Length %lu 0 R \r >>\rstream\r\n", static_cast<unsigned long>(p + 2));
        content_length = write_page_content(state, out) + out.write(text.operators);
    } else {
        out.format("<< \r/Length %lu 0 R \r/Filter /FlateDecode \r >>\rstream\r\n",
                   static_cast<unsigned long>(p + 2));
        content_length = out.write(packed);
    }
    out.write(stream_end(state));
    end_object(out);

    begin_object(state, out);
    out.format("%lu\r", static_cast<unsigned long>(content_length));
    end_object(out);

    begin_object(state, out);
    out.write("<< \r");
    write_image_dictionary(state, out, 0);
    out.write(" >>\rstream\r\n");
    const size_t image_length = write_image_data(state, input, out);
    if (state.error)
        return;
    out.write(stream_end(state));
    end_object(out);

    begin_object(state, out);
    out.format("%lu\r", static_cast<unsigned long>(image_length));
    end_object(out);
}

// A page beyond the part's largest side: in PDF/A-1 the file cannot be made (the reason goes
// to the report), in PDF/A-2 and 3 the page is given in larger units, its image untouched.
void fit_archive_page(PdfWriterState& state) {
    PageImage& im = state.image;
    const float side = std::max(im.media_box[2], im.media_box[3]);
    if (!is_archive(state) || side <= kMaxPageSide)
        return;
    if (state.archive == ArchiveLevel::kPdfA1b) {
        char reason[160];
        std::snprintf(reason, sizeof reason,
                      "page %u measures %.0f inches, PDF/A-1 allows 200; /pdfa=2b takes it",
                      unsigned{state.current_page} + 1, double{side} / 72);
        state.sink->set_reason(reason);
        return report(state, "Page %u of %s is too large for PDF/A-1",
                      unsigned{state.current_page} + 1, "the document");
    }
    const auto unit = static_cast<uint32_t>(std::ceil(side / kMaxPageSide));
    im.user_unit = unit;
    for (float& v : im.media_box)
        v /= static_cast<float>(unit);
    for (const int i : {0, 1, 3, 4, 6, 7})
        im.image_box.matrix[i] /= static_cast<float>(unit);
}

std::string reference(uint32_t object) {
    return std::to_string(object) + " 0 R";
}

void write_archive_catalog_entries(const PdfWriterState& state, PdfOutput& out) {
    const uint32_t first = state.first_archive_object;
    out.write("/Metadata " + reference(first) + " \r");
    out.write(std::string("/OutputIntents [ << /Type /OutputIntent /S /GTS_PDFA1 ") +
              "/OutputConditionIdentifier (" + kSrgbCondition + ") /Info (" + kSrgbCondition +
              ") /DestOutputProfile " + reference(first + 1) + " >> ] \r");
    if (state.embedded_fax != nullptr) {
        const std::string spec = reference(first + 2);
        out.write("/AF [ " + spec + " ] \r/Names << /EmbeddedFiles << /Names [ " +
                  state.embedded_fax->name_string() + " " + spec + " ] >> >> \r");
    }
}

// The metadata stream, the output profile and, for 3b, the fax file: after the pages, before
// the text layers' fonts.
void write_archive_objects(PdfWriterState& state, PdfOutput& out, const ArchiveMetadata& metadata) {
    if (!is_archive(state))
        return;
    if (state.object_count + 1 != state.first_archive_object) {
        return report(state, "Object count %lu differs from the planned %lu objects",
                      static_cast<unsigned long>(state.object_count),
                      static_cast<unsigned long>(state.first_archive_object - 1));
    }
    const std::string packet = xmp_packet(metadata);
    begin_object(state, out);
    out.format("<< \r/Type /Metadata \r/Subtype /XML \r/Length %zu \r>>\rstream\r\n",
               packet.size());
    out.write(packet);
    out.write(stream_end(state));
    end_object(out);

    const std::span<const uint8_t> profile = srgb_profile();
    begin_object(state, out);
    out.format("<< \r/N %d \r/Length %zu \r>>\rstream\r\n", kSrgbComponents, profile.size());
    out.write(profile.data(), profile.size());
    out.write(stream_end(state));
    end_object(out);

    if (state.embedded_fax == nullptr)
        return;
    begin_object(state, out);
    out.write(state.embedded_fax->file_entry(state.object_count + 1));
    end_object(out);
    begin_object(state, out);
    out.write(state.embedded_fax->stream_dictionary(state.object_count + 1));
    uint64_t length = 0;
    if (!state.embedded_fax->write_data(out, length)) {
        state.sink->set_reason(state.embedded_fax->problem());
        return report(state, "%s", "Can't embed the fax file in the PDF");
    }
    out.write(stream_end(state));
    end_object(out);
    begin_object(state, out);
    out.format("%llu\r", static_cast<unsigned long long>(length));
    end_object(out);
}

void write_xref_and_trailer(PdfWriterState& state, PdfOutput& out) {
    state.xref_start = out.bytes_written();
    out.format("xref\r0 %lu \r0000000000 65535 f\r\n",
               static_cast<unsigned long>(state.object_count + 1));
    for (uint32_t i = 0; i < state.object_count; ++i) {
        out.format("%.10lu 00000 n\r\n", static_cast<unsigned long>(state.object_offsets[i]));
    }
    state.file_id = next_file_id();
    out.format(
        "trailer\r<<\r/Size %lu\r/Root %lu 0 R \r/Info %lu 0 R \r/ID[<%s><%s>]\r>>\r"
        "startxref\r%lu",
        static_cast<unsigned long>(state.object_count + 1),
        static_cast<unsigned long>(state.catalog_object),
        static_cast<unsigned long>(state.info_object), state.file_id.c_str(), state.file_id.c_str(),
        static_cast<unsigned long>(state.xref_start));
    out.write("\r%%EOF\r");
}

}  // namespace

std::string next_file_id() {
    uint8_t bytes[16];
    for (int i = 0; i < 4; ++i) {
        const uint32_t value = static_cast<uint32_t>(next_random());
        // Stored little-endian, as the identifier was always made.
        for (int b = 0; b < 4; ++b)
            bytes[i * 4 + b] = static_cast<uint8_t>(value >> (8 * b));
    }
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string id;
    for (uint8_t byte : bytes) {
        id += kHex[byte >> 4];
        id += kHex[byte & 0x0F];
    }
    return id;
}

size_t write_pdf_string(PdfOutput& output, std::string_view text) {
    std::string s = "(";
    for (const char ch : text) {
        const auto byte = static_cast<unsigned char>(ch);
        if (byte >= 0x80 || byte < 0x20 || byte == 0x7F) {
            char octal[5];
            std::snprintf(octal, sizeof octal, "\\%.3o", unsigned{byte});
            s += octal;
        } else if (ch == '(' || ch == ')' || ch == '\\') {
            s += '\\';
            s += ch;
        } else {
            s += ch;
        }
    }
    s += ')';
    return output.write(s);
}

uint64_t write_pdf_document(PdfWriterState& state, TIFF* input, PdfOutput& out) {
    build_page_list(state, input);
    if (state.error)
        return 0;

    state.object_count = 0;
    // PDF/A validators want the header line to end right after the version.
    out.format(is_archive(state) ? "%%PDF-%u.%u" : "%%PDF-%u.%u ", unsigned{state.version_major},
               unsigned{state.version_minor});
    out.write("\r%\xE2\xE3\xCF\xD3\r\n");

    begin_object(state, out);
    out.format("<< \r/Type /Catalog \r/Pages %lu 0 R \r",
               static_cast<unsigned long>(state.pages_object));
    if (state.fit_window)
        out.write("/ViewerPreferences <</FitWindow true>>\r");
    if (is_archive(state))
        write_archive_catalog_entries(state, out);
    out.write(">>\r");
    end_object(out);

    // The page list left the input at its last directory, whose tags the dictionary uses.
    ArchiveMetadata metadata;
    begin_object(state, out);
    if (is_archive(state)) {
        write_archive_info(state, input, out, metadata);
    } else {
        write_info(state, input, out);
    }
    end_object(out);

    begin_object(state, out);
    write_page_tree(state, out);
    end_object(out);

    for (size_t i = 0; i < state.pages.size(); ++i) {
        state.current_page = static_cast<uint16_t>(i);
        read_page_image(state, input);
        fit_archive_page(state);
        if (state.error)
            return 0;
        write_page_objects(state, input, out);
        if (state.error)
            return 0;
    }

    write_archive_objects(state, out, metadata);
    if (state.error)
        return 0;
    write_text_fonts(state, out);
    if (state.error)
        return 0;
    write_xref_and_trailer(state, out);
    if (state.error)
        return 0;
    return out.bytes_written();
}

int convert_tiff_to_pdf(const std::string& input, const std::string& output,
                        int compression_request, const PdfDocumentInfo& info) {
    DiagnosticSink discard;
    return convert_tiff_to_pdf(input, output, compression_request, info, discard);
}

int convert_tiff_to_pdf(const std::string& input, const std::string& output,
                        int compression_request, const PdfDocumentInfo& info, DiagnosticSink& sink,
                        const PdfWriteOptions& options) {
    PageTextProvider* text = options.text;
    const PdfCommitCheck& check = options.check;
    // The sink takes errno as the reason of an error: a value left from before this call must
    // not pass for one.
    errno = 0;
    PdfWriterState state;
    state.sink = &sink;
    state.text_provider = text;
    // ToUnicode maps came with PDF 1.2.
    if (text != nullptr)
        state.version_minor = std::max<uint16_t>(state.version_minor, 2);

    platform::AtomicFile file;
    if (!file.open(output)) {
        sink.set_system_error(file.error());
        sink.error(kWriterModule, "Can't open output file %s for writing", output.c_str());
        return kPdfFailed;
    }
    switch (compression_request) {
        case kRequestJpeg:
            sink.warning(kWriterModule,
                         "JPEG support in libtiff required for JPEG compression, ignoring option");
            break;
        case kRequestZip:
            sink.warning(kWriterModule,
                         "Zip support in libtiff required for Zip compression, ignoring option");
            break;
        case kRequestNone:
            state.default_compression = PdfCompression::kNone;
            break;
        default:
            break;
    }
    state.title = info.title;
    state.subject = info.subject;
    state.author = info.author;
    state.keywords = info.keywords;
    state.source_record = info.source;
    state.archive = info.archive;
    state.archived_fax = info.fax;
    EmbeddedFax embedded;
    if (state.archive != ArchiveLevel::kNone) {
        state.version_minor =
            state.archive == ArchiveLevel::kPdfA1b ? kArchiveOneMinor : kArchiveTwoMinor;
    }
    if (state.archive == ArchiveLevel::kPdfA3b) {
        // Read (for its checksum) before anything is written: a fax that cannot go in leaves
        // no PDF.
        if (!info.fax) {
            sink.set_reason("no fax file to embed");
            sink.error(kWriterModule, "No fax file to embed in %s", output.c_str());
            return kPdfFailed;
        }
        if (!embedded.open(*info.fax)) {
            sink.set_reason(embedded.problem());
            sink.error(kWriterModule, "Can't embed %s in %s", info.fax->path.c_str(),
                       output.c_str());
            return kPdfFailed;
        }
        state.embedded_fax = &embedded;
    }

    TiffPtr tiff = open_tiff_for_reading(input, sink);
    if (!tiff) {
        sink.error(kWriterModule, "Can't open input file %s for reading", input.c_str());
        return kPdfFailed;  // the temporary file goes with `file`
    }
    {
        PdfOutput pdf(file.fd());
        pdf.hash_into(options.hash);
        write_pdf_document(state, tiff.get(), pdf);
        if (!pdf.flush() && !state.error) {
            sink.set_system_error(pdf.error());
            sink.error(kWriterModule, "Can't write output file %s", output.c_str());
            state.error = true;
        }
    }
    if (state.error) {
        sink.error(kWriterModule, "An error occurred in converting TIFF %s to PDF %s",
                   TIFFFileName(tiff.get()), output.c_str());
        return kPdfFailed;
    }
    tiff.reset();
    if (check) {
        if (const std::string problem = check(file.fd()); !problem.empty()) {
            sink.error(kWriterModule, "%s does not hold what it was made from: %s", output.c_str(),
                       problem.c_str());
            return kPdfNotVerified;  // the file goes with `file`; what was at output stays
        }
    }
    if (!file.commit()) {
        sink.set_system_error(file.error());
        sink.error(kWriterModule, "Can't write output file %s", output.c_str());
        return kPdfFailed;
    }
    return kPdfOk;
}

}  // namespace trelvane::pdfout
