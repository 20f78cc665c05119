#include "pdfout/embedded_fax.h"

#include <cerrno>
#include <cstring>
#include <optional>
#include <vector>

#include <zlib.h>

#include "pdfout/archive_metadata.h"
#include "pdfout/md5.h"
#include "pdfout/pdf_writer.h"
#include "platform/file_io.h"
#include "platform/paths.h"

namespace trelvane::pdfout {
namespace {

constexpr size_t kChunk = 64 * 1024;
// The fastest level: the higher ones gain under one per cent more on fax data.
constexpr int kFlateLevel = Z_BEST_SPEED;
// WinFax files have no registered media type.
constexpr const char* kMediaType = "/application#2Foctet-stream";

std::string base_name(const std::string& path) {
    return platform::name_of(path);
}

std::string literal(std::string_view text) {
    PdfOutput out;
    write_pdf_string(out, text);
    return out.contents();
}

// The name as text: UTF-8 where it is, else its bytes as PDFDocEncoding.
std::u32string name_characters(const std::string& name) {
    if (std::optional<std::u32string> text = utf8_characters(name))
        return *text;
    return pdfdoc_characters_replaced(name);
}

}  // namespace

EmbeddedFax::~EmbeddedFax() {
    if (fd_ >= 0)
        platform::close_descriptor(fd_);
}

bool EmbeddedFax::still_as_recorded() {
    int error = 0;
    const std::optional<platform::DescriptorStatus> st = platform::descriptor_status(fd_, &error);
    if (!st) {
        problem_ = std::string("the fax could not be read again: ") + std::strerror(error);
        return false;
    }
    if (st->size != fax_.size || st->modification_seconds != fax_.modified_seconds ||
        st->modification_nanoseconds != fax_.modified_nanoseconds) {
        problem_ = "the fax changed while it was converted";
        return false;
    }
    return true;
}

bool EmbeddedFax::open(const FaxSourceRecord& fax) {
    fax_ = fax;
    int error = 0;
    fd_ = platform::open_for_reading(fax.path, &error);
    if (fd_ < 0) {
        problem_ = std::string("the fax could not be read again: ") + std::strerror(error);
        return false;
    }
    return still_as_recorded() && read_all(nullptr, digest_, nullptr);
}

namespace {

// Deflates what it is given into the PDF as it goes.
class FlateWriter {
  public:
    explicit FlateWriter(PdfOutput& out) : out_(out), packed_(kChunk) {
        ok_ = deflateInit(&z_, kFlateLevel) == Z_OK;
    }
    ~FlateWriter() { deflateEnd(&z_); }
    FlateWriter(const FlateWriter&) = delete;
    FlateWriter& operator=(const FlateWriter&) = delete;

    bool write(const uint8_t* data, size_t size) { return run(data, size, Z_NO_FLUSH); }
    bool finish() { return run(nullptr, 0, Z_FINISH); }
    uint64_t written() const { return written_; }

  private:
    bool run(const uint8_t* data, size_t size, int flush) {
        z_.next_in = const_cast<Bytef*>(data);
        z_.avail_in = static_cast<uInt>(size);
        int result = Z_OK;
        do {
            z_.next_out = packed_.data();
            z_.avail_out = static_cast<uInt>(packed_.size());
            result = deflate(&z_, flush);
            if (result == Z_STREAM_ERROR)
                ok_ = false;
            const size_t produced = packed_.size() - z_.avail_out;
            out_.write(packed_.data(), produced);
            written_ += produced;
        } while (ok_ && (z_.avail_out == 0 || (flush == Z_FINISH && result != Z_STREAM_END)));
        return ok_;
    }

    PdfOutput& out_;
    z_stream z_{};
    std::vector<uint8_t> packed_;
    uint64_t written_ = 0;
    bool ok_ = false;
};

}  // namespace

bool EmbeddedFax::read_all(PdfOutput* out, std::array<uint8_t, 16>& digest, uint64_t* length) {
    Md5 md5;
    std::optional<FlateWriter> flate;
    if (out != nullptr)
        flate.emplace(*out);
    std::vector<uint8_t> chunk(kChunk);
    uint64_t done = 0;
    while (done < fax_.size) {
        const size_t want = static_cast<size_t>(std::min<uint64_t>(kChunk, fax_.size - done));
        const int64_t got = platform::read_at(fd_, chunk.data(), want, done);
        if (got <= 0) {
            problem_ = got < 0
                           ? std::string("the fax could not be read again: ") + std::strerror(errno)
                           : "the fax changed while it was converted";
            return false;
        }
        md5.update({chunk.data(), static_cast<size_t>(got)});
        if (flate && !flate->write(chunk.data(), static_cast<size_t>(got))) {
            problem_ = "the fax could not be compressed";
            return false;
        }
        done += static_cast<uint64_t>(got);
    }
    if (flate) {
        if (!flate->finish()) {
            problem_ = "the fax could not be compressed";
            return false;
        }
        *length = flate->written();
    }
    digest = md5.finish();
    return still_as_recorded();
}

bool EmbeddedFax::write_data(PdfOutput& out, uint64_t& length) {
    std::array<uint8_t, 16> again{};
    if (!read_all(&out, again, &length))
        return false;
    if (again != digest_) {
        problem_ = "the fax changed while it was converted";
        return false;
    }
    return true;
}

std::string EmbeddedFax::name_string() const {
    return literal(base_name(fax_.path));
}

std::string EmbeddedFax::file_entry(uint32_t stream_object) const {
    const std::string uf = utf16_pdf_string(name_characters(base_name(fax_.path)));
    char ref[32];
    std::snprintf(ref, sizeof ref, "%lu 0 R", static_cast<unsigned long>(stream_object));
    return "<< \r/Type /Filespec \r/F " + name_string() + " \r/UF " + uf +
           " \r/Desc (The WinFax file this PDF was made from) \r/AFRelationship /Source \r"
           "/EF << /F " +
           ref + " /UF " + ref + " >> \r>>\r";
}

std::string EmbeddedFax::stream_dictionary(uint32_t length_object) const {
    std::string checksum;
    char hex[3];
    for (const uint8_t b : digest_) {
        std::snprintf(hex, sizeof hex, "%02X", unsigned{b});
        checksum += hex;
    }
    const DocumentDate modified = document_date(fax_.modified_seconds);
    return "<< \r/Type /EmbeddedFile \r/Subtype " + std::string(kMediaType) +
           " \r/Params << /Size " + std::to_string(fax_.size) + " /CheckSum <" + checksum +
           "> /ModDate " + literal(modified.pdf) + " >> \r/Filter /FlateDecode \r/Length " +
           std::to_string(length_object) + " 0 R \r>>\rstream\r\n";
}

}  // namespace trelvane::pdfout
