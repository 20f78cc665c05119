// The fax record of a PDF: written by the writer, found again in what a later run reads of it.
#include "pdfout/source_record.h"

#include <gtest/gtest.h>

#include <string>

#include "pdfout/pdf_writer.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

using testsupport::read_file;
using testsupport::TempDir;

// A path with every kind of byte the writer escapes, a size beyond 32 bits, a time before 1970.
FaxSourceRecord awkward_record() {
    FaxSourceRecord record;
    record.path = std::string("sub (1)/\\a\r\n\x1b\xc3\xa9\x7f.fxs");
    record.path += std::string(600, 'x');  // longer than any other text of the dictionary
    record.size = 5'000'000'000;
    record.modified_seconds = -86400;
    record.modified_nanoseconds = 999'999'999;
    return record;
}

TEST(SourceRecord, WhatTheWriterRecordsIsFoundWholeAndNeverWrong) {
    TempDir dir;
    test::PageSpec page;
    page.raw = test::pattern_bytes(1000);
    ASSERT_TRUE(test::write_tiff(dir.file("in.tif"), {page}));
    PdfDocumentInfo info;
    info.title = std::string("(title) with \\ and \r");
    info.source = awkward_record();
    ASSERT_EQ(convert_tiff_to_pdf(dir.file("in.tif"), dir.file("out.pdf"), 0, info), kPdfOk);
    const std::string pdf = read_file(dir.file("out.pdf"));
    ASSERT_LT(pdf.find("/TrelvaneFaxModified (-86400.999999999)"), kRecordSearchBytes);

    const RecordLookup whole = find_source_record(pdf);
    EXPECT_TRUE(whole.has_keys);
    EXPECT_EQ(whole.record, awkward_record());
    // A PDF read only in part (cut short, or its dictionary beyond what is read) has the whole
    // record or none: a cut never yields another fax's record.
    for (size_t size = 0; size < pdf.size(); size += 7) {
        const RecordLookup part = find_source_record(std::string_view(pdf).substr(0, size));
        if (part.record) {
            EXPECT_EQ(*part.record, awkward_record()) << size;
        }
    }

    info.source.reset();
    ASSERT_EQ(convert_tiff_to_pdf(dir.file("in.tif"), dir.file("plain.pdf"), 0, info), kPdfOk);
    const RecordLookup none = find_source_record(read_file(dir.file("plain.pdf")));
    EXPECT_FALSE(none.has_keys);
    EXPECT_FALSE(none.record);
}

}  // namespace
}  // namespace trelvane::pdfout
