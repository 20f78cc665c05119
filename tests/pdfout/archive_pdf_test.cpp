// The pieces of archive PDFs that have an oracle of their own: MD5 against RFC 1321's test
// suite and coreutils' md5sum, dates against the time zone database, and the embedded fax's
// refusal of a file that is no longer the one converted.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <sys/stat.h>

#include <cstdlib>
#include <ctime>
#include <string>

#include "pdfout/archive_metadata.h"
#include "pdfout/embedded_fax.h"
#include "pdfout/md5.h"

#include <zlib.h>
#include "support/pdf_tools.h"
#include "support/temp_dir.h"
#include "tiff_fixture.h"

namespace trelvane::pdfout {
namespace {

std::string hex(const std::array<uint8_t, 16>& digest) {
    std::string s;
    char two[3];
    for (const uint8_t b : digest) {
        std::snprintf(two, sizeof two, "%02x", unsigned{b});
        s += two;
    }
    return s;
}

std::string md5_of(std::string_view text, size_t piece) {
    Md5 md5;
    for (size_t at = 0; at < text.size(); at += piece) {
        const std::string_view part = text.substr(at, piece);
        md5.update({reinterpret_cast<const uint8_t*>(part.data()), part.size()});
    }
    return hex(md5.finish());
}

TEST(Md5, RfcTestSuite) {
    const std::pair<const char*, const char*> suite[] = {
        {"", "d41d8cd98f00b204e9800998ecf8427e"},
        {"a", "0cc175b9c0f1b6a831c399e269772661"},
        {"abc", "900150983cd24fb0d6963f7d28e17f72"},
        {"message digest", "f96b697d7cb7938d525a2f31aaf161d0"},
        {"abcdefghijklmnopqrstuvwxyz", "c3fcd3d76192e4007dfb496cca67e13b"},
        {"ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789",
         "d174ab98d277d9f5a5611c2c9f419d9f"},
        {"12345678901234567890123456789012345678901234567890123456789012345678901234567890",
         "57edf4a22be3c955ac49da2e2107b67a"},
    };
    for (const auto& [text, digest] : suite) {
        for (const size_t piece : {size_t{1}, size_t{7}, size_t{64}, size_t{1000}})
            EXPECT_EQ(md5_of(text, piece), digest) << '"' << text << "\" in pieces of " << piece;
    }
}

TEST(Md5, AgreesWithMd5sumOnAMegabyteInUnevenPieces) {
    testsupport::TempDir dir;
    const std::vector<uint8_t> bytes = test::pattern_bytes(1'000'003, 77);
    const std::string data(bytes.begin(), bytes.end());
    ASSERT_TRUE(testsupport::write_file(dir.file("data"), data));
    const testsupport::ToolRun sum = testsupport::run_tool({"md5sum", dir.file("data")});
    ASSERT_EQ(sum.exit_code, 0);
    for (const size_t piece : {size_t{63}, size_t{65}, size_t{65536}})
        EXPECT_EQ(md5_of(data, piece), sum.output.substr(0, 32)) << piece;
}

// Sets TZ for the test and restores it.
class TimeZone {
  public:
    explicit TimeZone(const char* zone) {
        if (const char* old = std::getenv("TZ"))
            old_ = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~TimeZone() {
        if (old_.empty())
            unsetenv("TZ");
        else
            setenv("TZ", old_.c_str(), 1);
        tzset();
    }

  private:
    std::string old_;
};

TEST(DocumentDate, LocalTimeWithItsOffsetInBothForms) {
    struct Case {
        const char* zone;
        int64_t seconds;
        const char* pdf;
        const char* xmp;
    };
    const Case cases[] = {
        {"UTC", 1242117000, "D:20090512083000+00'00'", "2009-05-12T08:30:00+00:00"},
        {"Europe/Berlin", 1242117000, "D:20090512103000+02'00'", "2009-05-12T10:30:00+02:00"},
        {"Europe/Berlin", 1234567890, "D:20090214003130+01'00'", "2009-02-14T00:31:30+01:00"},
        {"America/St_Johns", 1242117000, "D:20090512060000-02'30'", "2009-05-12T06:00:00-02:30"},
        {"Asia/Kolkata", 0, "D:19700101053000+05'30'", "1970-01-01T05:30:00+05:30"},
        // Beyond four digits of year: the epoch, in UTC.
        {"Europe/Berlin", 400'000'000'000, "D:19700101000000+00'00'", "1970-01-01T00:00:00+00:00"},
    };
    for (const Case& c : cases) {
        const TimeZone zone(c.zone);
        const DocumentDate date = document_date(c.seconds);
        EXPECT_EQ(date.pdf, c.pdf) << c.zone;
        EXPECT_EQ(date.xmp, c.xmp) << c.zone;
    }
}

TEST(ArchiveText, RecordPathKeepsUtf8AndEscapesEverythingElse) {
    EXPECT_EQ(record_path_text("in/Caf\xC3\xA9 1.fxs"), "in/Caf\xC3\xA9 1.fxs");
    EXPECT_EQ(record_path_text("100%\xFF\x01.fxs"), "100%25%FF%01.fxs");
    EXPECT_EQ(record_path_text("\xC3"), "%C3");                // cut short
    EXPECT_EQ(record_path_text("\xED\xA0\x80"), "%ED%A0%80");  // a surrogate
}

class EmbeddedFaxTest : public ::testing::Test {
  protected:
    void SetUp() override {
        ASSERT_TRUE(testsupport::write_file(path, "WinFax bytes"));
        struct stat st {};
        ASSERT_EQ(stat(path.c_str(), &st), 0);
        record = {path, 12, st.st_mtim.tv_sec, st.st_mtim.tv_nsec};
    }
    testsupport::TempDir dir;
    const std::string path = dir.file("fax.fxs");
    FaxSourceRecord record;
};

TEST_F(EmbeddedFaxTest, TakesTheFaxAsRecordedWithItsChecksum) {
    EmbeddedFax fax;
    ASSERT_TRUE(fax.open(record)) << fax.problem();
    EXPECT_NE(fax.stream_dictionary(9).find("/Size 12 /CheckSum <"), std::string::npos);
    const testsupport::ToolRun sum = testsupport::run_tool({"md5sum", path});
    std::string upper = sum.output.substr(0, 32);
    for (char& c : upper)
        c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    EXPECT_NE(fax.stream_dictionary(9).find("<" + upper + ">"), std::string::npos);
    PdfOutput out;
    uint64_t length = 0;
    ASSERT_TRUE(fax.write_data(out, length));
    EXPECT_EQ(length, out.contents().size());
    // zlib's own inflate is the oracle for the stream's data.
    std::string back(64, '\0');
    uLongf back_size = back.size();
    ASSERT_EQ(
        uncompress(reinterpret_cast<Bytef*>(back.data()), &back_size,
                   reinterpret_cast<const Bytef*>(out.contents().data()), out.contents().size()),
        Z_OK);
    EXPECT_EQ(back.substr(0, back_size), "WinFax bytes");
}

TEST_F(EmbeddedFaxTest, RefusesAFaxThatIsNoLongerTheOneConverted) {
    FaxSourceRecord other_size = record;
    other_size.size = 11;
    FaxSourceRecord other_time = record;
    other_time.modified_nanoseconds = (record.modified_nanoseconds + 1) % 1'000'000'000;
    for (const FaxSourceRecord& r : {other_size, other_time}) {
        EmbeddedFax fax;
        EXPECT_FALSE(fax.open(r));
        EXPECT_EQ(fax.problem(), "the fax changed while it was converted");
    }
    FaxSourceRecord gone = record;
    gone.path = dir.file("gone.fxs");
    EmbeddedFax fax;
    EXPECT_FALSE(fax.open(gone));
    EXPECT_EQ(fax.problem(), "the fax could not be read again: No such file or directory");
}

// Bytes changed behind the same size and time between the checksum and the copy: the copy's
// own checksum tells.
TEST_F(EmbeddedFaxTest, RefusesBytesThatChangedBehindTheSameSizeAndTime) {
    EmbeddedFax fax;
    ASSERT_TRUE(fax.open(record)) << fax.problem();
    ASSERT_TRUE(testsupport::write_file(path, "WinFax BYTES"));
    const timespec times[2] = {{record.modified_seconds, record.modified_nanoseconds},
                               {record.modified_seconds, record.modified_nanoseconds}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, 0), 0);
    PdfOutput out;
    uint64_t length = 0;
    EXPECT_FALSE(fax.write_data(out, length));
    EXPECT_EQ(fax.problem(), "the fax changed while it was converted");
}

}  // namespace
}  // namespace trelvane::pdfout
