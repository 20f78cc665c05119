// The document frame of the PDF writer, checked byte for byte against the worked examples.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <filesystem>
#include <string>

#include "pdfout/pdf_writer.h"
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

using test::on_fresh_thread;
using test::PageSpec;
using testsupport::read_file;
using testsupport::TempDir;

const std::string kFirstId = "2900000023480000BE18000084670000";
const std::string kSecondId = "E14A00006C3D0000D62C0000AE720000";

PageSpec invoice_page() {
    PageSpec page;
    page.raw = test::pattern_bytes(1000);
    page.date_time = "2009:05:12 10:30:00";
    page.software = "Corvenna Studio";
    return page;
}

// Converts on a fresh thread, so the identifier is always the thread's first.
int convert_fresh(const std::string& in, const std::string& out, const PdfDocumentInfo& info,
                  DiagnosticSink* sink = nullptr) {
    int result = 99;  // neither result
    on_fresh_thread([&] {
        result = sink ? convert_tiff_to_pdf(in, out, 0, info, *sink)
                      : convert_tiff_to_pdf(in, out, 0, info);
    });
    return result;
}

std::string expected_invoice_pdf(const std::vector<uint8_t>& data) {
    std::string pdf = "%PDF-1.1 \r%\xE2\xE3\xCF\xD3\r\n";
    pdf += "1 0 obj\r<< \r/Type /Catalog \r/Pages 3 0 R \r>>\rendobj\r";
    pdf +=
        "2 0 obj\r<< \r/CreationDate (D:20090512103000)\r/ModDate (D:20090512103000)\r"
        "/Producer (Corvenna Studio - 20050315 / d)\r/Creator (Corvenna Studio)\r"
        "/Title (Invoice)\r>> \rendobj\r";
    pdf += "3 0 obj\r<< \r/Type /Pages \r/Kids [ 4 0 R ] \r/Count 1 \r>> \rendobj\r";
    pdf +=
        "4 0 obj\r<<\r/Type /Page \r/Parent 3 0 R \r/MediaBox [0.0000 0.0000 622.0800 "
        "792.0000] \r/Contents 5 0 R \r/Resources << \r/XObject <<\r/Im1 7 0 R >>\r"
        "/ProcSet [ /ImageB ]\r>>\r>>\rendobj\r";
    pdf +=
        "5 0 obj\r<< \r/Length 6 0 R \r >>\rstream\r\n"
        "q  622.0800 0.0000 0.0000 792.0000 0.0000 0.0000 cm /Im1 Do Q\r"
        "\rendstream\rendobj\r";
    pdf += "6 0 obj\r62\rendobj\r";
    pdf +=
        "7 0 obj\r<< \r/Length 8 0 R \r/Type /XObject \r/Subtype /Image \r/Name /Im1\r"
        "/Width 1728\r/Height 2200\r/BitsPerComponent 1\r/ColorSpace /DeviceGray \r"
        "/Filter /CCITTFaxDecode /DecodeParms << /K -1 /Columns 1728 /Rows 2200>>\r >>\r"
        "stream\r\n";
    pdf.append(data.begin(), data.end());
    pdf += "\rendstream\rendobj\r";
    pdf += "8 0 obj\r1000\rendobj\r";
    pdf += "xref\r0 9 \r0000000000 65535 f\r\n";
    for (const char* offset : {"0000000017", "0000000069", "0000000240", "0000000304", "0000000480",
                               "0000000599", "0000000617", "0000001861"}) {
        pdf += std::string(offset) + " 00000 n\r\n";
    }
    pdf += "trailer\r<<\r/Size 9\r/Root 1 0 R \r/Info 2 0 R \r/ID[<" + kFirstId + "><" + kFirstId +
           ">]\r>>\rstartxref\r1881\r%%EOF\r";
    return pdf;
}

TEST(PdfDocument, OnePageFaxMatchesTheWorkedExampleByteForByte) {
    TempDir dir;
    const PageSpec page = invoice_page();
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
    PdfDocumentInfo info;
    info.title = "Invoice";
    ASSERT_EQ(convert_fresh(dir.file("in.tif"), dir.file("out.pdf"), info), kPdfOk);

    const std::string pdf = read_file(dir.file("out.pdf"));
    const std::string expected = expected_invoice_pdf(page.raw);
    EXPECT_EQ(expected.size(), 2214u);  // the example's own figures
    EXPECT_EQ(expected.find("7 0 obj"), 617u);
    EXPECT_EQ(expected.find("xref"), 1881u);
    EXPECT_EQ(pdf.size(), 2214u);
    EXPECT_EQ(pdf, expected);

    TRELVANE_REQUIRE_TOOL("qpdf");
    const testsupport::ToolRun check = testsupport::qpdf_check(dir.file("out.pdf"));
    EXPECT_EQ(check.exit_code, 0) << check.output;
}

TEST(PdfDocument, FillOrderTwoStripIsBitReversedInTheStream) {
    TempDir dir;
    PageSpec page = invoice_page();
    page.fill_order = FILLORDER_LSB2MSB;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
    ASSERT_EQ(convert_fresh(dir.file("in.tif"), dir.file("out.pdf"), {}), kPdfOk);
    const std::string stream = test::stream_data(read_file(dir.file("out.pdf")), 1);
    ASSERT_EQ(stream.size(), page.raw.size());
    for (size_t i = 0; i < page.raw.size(); ++i) {
        uint8_t reversed = 0;
        for (int b = 0; b < 8; ++b)
            reversed |= ((page.raw[i] >> b) & 1) << (7 - b);
        ASSERT_EQ(static_cast<uint8_t>(stream[i]), reversed) << "byte " << i;
    }
}

TEST(PdfDocument, NinePagesBreakTheKidsArrayAfterTheEighth) {
    TempDir dir;
    PageSpec page = invoice_page();
    page.raw = test::pattern_bytes(10);
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), std::vector<PageSpec>(9, page)));
    ASSERT_EQ(convert_fresh(dir.file("in.tif"), dir.file("out.pdf"), {}), kPdfOk);
    const std::string pdf = read_file(dir.file("out.pdf"));
    EXPECT_NE(pdf.find("3 0 obj\r<< \r/Type /Pages \r/Kids [ 4 0 R 9 0 R 14 0 R 19 0 R 24 0 R "
                       "29 0 R 34 0 R 39 0 R \r44 0 R ] \r/Count 9 \r>> \rendobj\r"),
              std::string::npos);
    EXPECT_NE(pdf.find("/Size 49\r"), std::string::npos);
    EXPECT_NE(pdf.find("44 0 obj\r<<\r/Type /Page "), std::string::npos);
    EXPECT_NE(pdf.find("/Im9 47 0 R "), std::string::npos);
}

TEST(PdfDocument, SubfileTypeOneOnlyGivesAnEmptyPageTree) {
    TempDir dir;
    PageSpec page = invoice_page();
    page.subfile_type = FILETYPE_REDUCEDIMAGE;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
    ASSERT_EQ(convert_fresh(dir.file("in.tif"), dir.file("out.pdf"), {}), kPdfOk);
    const std::string pdf = read_file(dir.file("out.pdf"));
    EXPECT_NE(pdf.find("<< \r/Type /Pages \r/Kids [ ] \r/Count 0 \r>> \r"), std::string::npos);
    EXPECT_NE(pdf.find("/Size 4\r"), std::string::npos);
    TRELVANE_REQUIRE_TOOL("qpdf");
    const testsupport::ToolRun check = testsupport::qpdf_check(dir.file("out.pdf"));
    EXPECT_EQ(check.exit_code, 0) << check.output;
}

TEST(PdfDocument, IdentifiersFollowTheThreadsGenerator) {
    TempDir dir;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {invoice_page()}));
    std::string first, second, again;
    on_fresh_thread([&] {
        convert_tiff_to_pdf(dir.file("in.tif"), dir.file("1.pdf"), 0, {});
        convert_tiff_to_pdf(dir.file("in.tif"), dir.file("2.pdf"), 0, {});
    });
    on_fresh_thread([&] { convert_tiff_to_pdf(dir.file("in.tif"), dir.file("3.pdf"), 0, {}); });
    EXPECT_NE(read_file(dir.file("1.pdf")).find("/ID[<" + kFirstId + "><" + kFirstId + ">]"),
              std::string::npos);
    EXPECT_NE(read_file(dir.file("2.pdf")).find("/ID[<" + kSecondId + "><" + kSecondId + ">]"),
              std::string::npos);
    EXPECT_NE(read_file(dir.file("3.pdf")).find("/ID[<" + kFirstId + ">"), std::string::npos);
}

struct InfoCase {
    const char* name;
    PdfDocumentInfo info;
    std::function<void(PageSpec&)> tags;
    std::vector<std::string> present;
    std::vector<std::string> absent;
};

class PdfInfoDictionary : public ::testing::TestWithParam<InfoCase> {};

TEST_P(PdfInfoDictionary, WritesSuppliedTextsOrFallsBackOnTags) {
    const InfoCase& c = GetParam();
    TempDir dir;
    PageSpec page = invoice_page();
    page.raw = test::pattern_bytes(10);
    if (c.tags)
        c.tags(page);
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
    ASSERT_EQ(convert_fresh(dir.file("in.tif"), dir.file("out.pdf"), c.info), kPdfOk);
    const std::string pdf = read_file(dir.file("out.pdf"));
    const std::string info =
        pdf.substr(pdf.find("2 0 obj"), pdf.find("3 0 obj") - pdf.find("2 0 obj"));
    for (const std::string& s : c.present)
        EXPECT_NE(info.find(s), std::string::npos) << s;
    for (const std::string& s : c.absent)
        EXPECT_EQ(info.find(s), std::string::npos) << s;
}

PdfDocumentInfo with_title(std::string t) {
    PdfDocumentInfo i;
    i.title = std::move(t);
    return i;
}

INSTANTIATE_TEST_SUITE_P(
    Cases, PdfInfoDictionary,
    ::testing::Values(
        InfoCase{"TitleEscapes",
                 with_title("R\xE9union (1/2)"),
                 nullptr,
                 {"/Title (R\\351union \\(1/2\\))\r"},
                 {}},
        InfoCase{"TitleCutTo512",
                 with_title(std::string(600, 'x')),
                 nullptr,
                 {"/Title (" + std::string(512, 'x') + ")\r"},
                 {std::string(513, 'x')}},
        InfoCase{"TitleFallsBackOnDocumentName",
                 {},
                 [](PageSpec& p) { p.document_name = "Doc"; },
                 {"/Title (Doc)\r"},
                 {}},
        InfoCase{"EmptyTitleWritesNothing",
                 with_title(""),
                 [](PageSpec& p) { p.document_name = "Doc"; },
                 {},
                 {"/Title"}},
        InfoCase{"AuthorFromArtistSubjectFromDescription",
                 {},
                 [](PageSpec& p) {
                     p.artist = "Ann";
                     p.image_description = "About";
                 },
                 {"/Author (Ann)\r", "/Subject (About)\r"},
                 {"/Keywords"}},
        InfoCase{
            "SuppliedTextsWin",
            PdfDocumentInfo{std::string("T"), std::string("S"), std::string("A"), std::string("K")},
            [](PageSpec& p) { p.artist = "Ann"; },
            {"/Author (A)\r/Title (T)\r/Subject (S)\r/Keywords (K)\r>> \r"},
            {"Ann"}},
        InfoCase{
            "NoSoftwareNoCreator", {}, [](PageSpec& p) { p.software.reset(); }, {}, {"/Creator"}}),
    [](const ::testing::TestParamInfo<InfoCase>& i) { return std::string(i.param.name); });

TEST(PdfInfoDictionary, WithoutDateTimeTheLocalTimeIsUsed) {
    TempDir dir;
    PageSpec page = invoice_page();
    page.date_time = "2009:05:12";  // too short to be used
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
    ASSERT_EQ(convert_fresh(dir.file("in.tif"), dir.file("out.pdf"), {}), kPdfOk);
    const std::string pdf = read_file(dir.file("out.pdf"));
    const size_t at = pdf.find("/CreationDate (D:");
    ASSERT_NE(at, std::string::npos);
    const std::string digits = pdf.substr(at + 17, 15);
    EXPECT_EQ(digits.find_first_not_of("0123456789"), 14u) << digits;
    EXPECT_EQ(digits[14], ')');
    EXPECT_NE(digits.substr(0, 8), "20090512");
}

TEST(PdfWriteString, EscapesAsTheTableSays) {
    const struct {
        std::string in, out;
    } cases[] = {
        {"", "()"},
        {"plain text", "(plain text)"},
        {"a(b)c\\", "(a\\(b\\)c\\\\)"},
        {"\t\x7F\x01", "(\\011\\177\\001)"},
        {"\xE9\xFF\x80", "(\\351\\377\\200)"},
        {std::string("a\0b", 3), "(a\\000b)"},
    };
    for (const auto& c : cases) {
        PdfOutput out;
        EXPECT_EQ(write_pdf_string(out, c.in), c.out.size());
        EXPECT_EQ(out.contents(), c.out);
    }
}

bool has_leftovers(const std::string& folder, const std::string& keep) {
    for (const auto& entry : std::filesystem::directory_iterator(folder)) {
        const std::string name = entry.path().filename().string();
        if (name != keep && name != "in.tif" && name != "bad.tif")
            return true;
    }
    return false;
}

TEST(PdfFailure, MissingInputLeavesNoFile) {
    TempDir dir;
    DiagnosticSink sink(8);
    EXPECT_EQ(convert_fresh(dir.file("missing.tif"), dir.file("out.pdf"), {}, &sink), kPdfFailed);
    EXPECT_FALSE(std::filesystem::exists(dir.file("out.pdf")));
    EXPECT_FALSE(has_leftovers(dir.path(), ""));
    EXPECT_TRUE(sink.saw(DiagnosticSink::Kind::kError, "Can't open input file"));
}

TEST(PdfFailure, UnsupportedPageKeepsTheOlderPdfAndLeavesNoTemporaryFile) {
    TempDir dir;
    PageSpec good = invoice_page();
    PageSpec rgb;
    rgb.width = 4;
    rgb.height = 4;
    rgb.compression = COMPRESSION_NONE;
    rgb.photometric = PHOTOMETRIC_RGB;
    rgb.bits_per_sample = 8;
    rgb.samples_per_pixel = 3;
    rgb.raw = std::vector<uint8_t>(48, 0x80);
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {good, rgb}));
    ASSERT_TRUE(testsupport::write_file(dir.file("out.pdf"), "older"));
    DiagnosticSink sink(8);
    EXPECT_EQ(convert_fresh(dir.file("in.tif"), dir.file("out.pdf"), {}, &sink), kPdfFailed);
    EXPECT_EQ(read_file(dir.file("out.pdf")), "older");
    EXPECT_FALSE(has_leftovers(dir.path(), "out.pdf"));
    EXPECT_TRUE(sink.saw(DiagnosticSink::Kind::kError, "with photometric interpretation 2"));
    EXPECT_TRUE(sink.saw(DiagnosticSink::Kind::kError, "An error occurred in converting TIFF"));
}

// Sets the StripByteCounts entry of a little-endian classic TIFF's first directory.
bool patch_strip_byte_count(std::string& tiff, uint32_t value) {
    const auto u16 = [&](size_t at) {
        return static_cast<uint32_t>(static_cast<uint8_t>(tiff[at]) |
                                     (static_cast<uint8_t>(tiff[at + 1]) << 8));
    };
    const auto u32 = [&](size_t at) { return u16(at) | (u16(at + 2) << 16); };
    const size_t ifd = u32(4);
    const uint32_t entries = u16(ifd);
    for (uint32_t i = 0; i < entries; ++i) {
        const size_t e = ifd + 2 + i * 12;
        if (u16(e) != TIFFTAG_STRIPBYTECOUNTS)
            continue;
        tiff[e + 2] = 4;  // LONG
        tiff[e + 3] = 0;
        for (int b = 0; b < 4; ++b)
            tiff[e + 8 + b] = static_cast<char>(value >> (8 * b));
        return true;
    }
    return false;
}

TEST(PdfFailure, StripLongerThanTheFileIsRefused) {
    TempDir dir;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {invoice_page()}));
    for (const uint32_t count : {0x0FFFFFFFu, 5000u}) {
        std::string bytes = read_file(dir.file("in.tif"));
        ASSERT_TRUE(patch_strip_byte_count(bytes, count));
        ASSERT_TRUE(testsupport::write_file(dir.file("bad.tif"), bytes));
        DiagnosticSink sink(8);
        EXPECT_EQ(convert_fresh(dir.file("bad.tif"), dir.file("out.pdf"), {}, &sink), kPdfFailed)
            << count;
        EXPECT_FALSE(std::filesystem::exists(dir.file("out.pdf")));
        EXPECT_TRUE(sink.saw(DiagnosticSink::Kind::kError, "An error occurred")) << count;
    }
}

TEST(PdfFailure, UnwritableFolderFailsCleanly) {
    TempDir dir;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {invoice_page()}));
    DiagnosticSink sink(4);
    EXPECT_EQ(convert_fresh(dir.file("in.tif"), dir.file("no/such/folder/out.pdf"), {}, &sink),
              kPdfFailed);
    EXPECT_TRUE(sink.saw(DiagnosticSink::Kind::kError, "Can't open output file"));
}

TEST(PdfFailure, CompressionRequestsOnlyWarn) {
    TempDir dir;
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {invoice_page()}));
    std::string reference;
    for (int request = 0; request <= 3; ++request) {
        DiagnosticSink sink(4);
        int result = -1;
        on_fresh_thread([&] {
            result =
                convert_tiff_to_pdf(dir.file("in.tif"), dir.file("out.pdf"), request, {}, sink);
        });
        ASSERT_EQ(result, kPdfOk);
        const std::string pdf = read_file(dir.file("out.pdf"));
        if (request == 0)
            reference = pdf;
        EXPECT_EQ(pdf.substr(pdf.find("3 0 obj")), reference.substr(reference.find("3 0 obj")));
        EXPECT_EQ(sink.warning_count(), request == 1 || request == 2 ? 1u : 0u);
    }
}

}  // namespace
}  // namespace trelvane::pdfout
