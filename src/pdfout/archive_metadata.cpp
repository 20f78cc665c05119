#include "pdfout/archive_metadata.h"

#include <array>
#include <cstdio>
#include <ctime>

#include "platform/clock.h"
#include "platform/utf8.h"

namespace trelvane::pdfout {
namespace {

constexpr char32_t kNoCharacter = 0;
constexpr char32_t kReplacement = 0xFFFD;

// PDFDocEncoding where it differs from ISO Latin-1; 0: the code has no character.
constexpr std::array<char32_t, 8> kCodes18To1F = {0x02D8, 0x02C7, 0x02C6, 0x02D9,
                                                  0x02DD, 0x02DB, 0x02DA, 0x02DC};
constexpr std::array<char32_t, 33> kCodes80ToA0 = {
    0x2022, 0x2020, 0x2021, 0x2026, 0x2014, 0x2013, 0x0192, 0x2044, 0x2039, 0x203A,       0x2212,
    0x2030, 0x201E, 0x201C, 0x201D, 0x2018, 0x2019, 0x201A, 0x2122, 0xFB01, 0xFB02,       0x0141,
    0x0152, 0x0160, 0x0178, 0x017D, 0x0131, 0x0142, 0x0153, 0x0161, 0x017E, kNoCharacter, 0x20AC};

char32_t pdfdoc_character(unsigned char byte) {
    if (byte == 0x09 || byte == 0x0A || byte == 0x0D)
        return byte;
    if (byte < 0x18 || byte == 0x7F || byte == 0xAD)
        return kNoCharacter;
    if (byte < 0x20)
        return kCodes18To1F[byte - 0x18];
    if (byte >= 0x80 && byte <= 0xA0)
        return kCodes80ToA0[byte - 0x80];
    return byte;
}

// Text for an XML element. Tab, line feed and carriage return go as references: a parser
// turns a raw carriage return into a line feed, and the value must equal the dictionary's.
std::string xml_text(std::string_view utf8) {
    std::string out;
    for (const char c : utf8) {
        switch (c) {
            case '&':
                out += "&amp;";
                break;
            case '<':
                out += "&lt;";
                break;
            case '>':
                out += "&gt;";
                break;
            case '\t':
                out += "&#x9;";
                break;
            case '\n':
                out += "&#xA;";
                break;
            case '\r':
                out += "&#xD;";
                break;
            default:
                out += c;
        }
    }
    return out;
}

// Length of the well-formed UTF-8 sequence at text[i], or 0; the noncharacters U+FFFE and
// U+FFFF, which XML does not allow, count as malformed.
size_t utf8_sequence(std::string_view text, size_t i) {
    const platform::Utf8Character c = platform::decode_utf8_at(text, i);
    return c.code == 0xFFFE || c.code == 0xFFFF ? 0 : c.length;
}

std::string format_date(const char* format, const std::tm& t, long offset_minutes,
                        const char* offset_format) {
    char date[64];
    std::snprintf(date, sizeof date, format, t.tm_year + 1900, t.tm_mon + 1, t.tm_mday, t.tm_hour,
                  t.tm_min, t.tm_sec);
    char offset[32];
    const long magnitude = offset_minutes < 0 ? -offset_minutes : offset_minutes;
    std::snprintf(offset, sizeof offset, offset_format, offset_minutes < 0 ? '-' : '+',
                  magnitude / 60, magnitude % 60);
    return std::string(date) + offset;
}

std::string element(const char* name, const std::string& utf8) {
    return std::string("<") + name + ">" + xml_text(utf8) + "</" + name + ">\n";
}

std::string language_alternative(const char* name, const std::string& utf8) {
    return std::string("<") + name + "><rdf:Alt><rdf:li xml:lang=\"x-default\">" + xml_text(utf8) +
           "</rdf:li></rdf:Alt></" + name + ">\n";
}

constexpr const char* kRecordNamespace = "http://ns.trelvane.invalid/fax/1.0/";

std::string record_property(const char* name, const char* description) {
    return std::string("<rdf:li rdf:parseType=\"Resource\">\n<pdfaProperty:name>") + name +
           "</pdfaProperty:name>\n<pdfaProperty:valueType>Text</pdfaProperty:valueType>\n"
           "<pdfaProperty:category>internal</pdfaProperty:category>\n"
           "<pdfaProperty:description>" +
           description + "</pdfaProperty:description>\n</rdf:li>\n";
}

std::string record_description(const FaxSourceRecord& record) {
    std::string s =
        "<rdf:Description rdf:about=\"\"\n"
        " xmlns:pdfaExtension=\"http://www.aiim.org/pdfa/ns/extension/\"\n"
        " xmlns:pdfaSchema=\"http://www.aiim.org/pdfa/ns/schema#\"\n"
        " xmlns:pdfaProperty=\"http://www.aiim.org/pdfa/ns/property#\">\n"
        "<pdfaExtension:schemas><rdf:Bag>\n<rdf:li rdf:parseType=\"Resource\">\n"
        "<pdfaSchema:schema>Trelvane fax source</pdfaSchema:schema>\n"
        "<pdfaSchema:namespaceURI>";
    s += kRecordNamespace;
    s += "</pdfaSchema:namespaceURI>\n<pdfaSchema:prefix>trelvane</pdfaSchema:prefix>\n"
         "<pdfaSchema:property><rdf:Seq>\n";
    s += record_property("Fax",
                         "The fax file's path below the source folder; bytes that are no UTF-8 "
                         "and the percent sign as %XX");
    s += record_property("FaxSize", "The fax file's size in bytes");
    s += record_property("FaxModified",
                         "The fax file's modification time: seconds since 1970 (UTC), a dot "
                         "and nine digits of nanoseconds");
    s += "</rdf:Seq></pdfaSchema:property>\n</rdf:li>\n</rdf:Bag></pdfaExtension:schemas>\n"
         "</rdf:Description>\n";
    s += std::string("<rdf:Description rdf:about=\"\" xmlns:trelvane=\"") + kRecordNamespace +
         "\">\n";
    s += element("trelvane:Fax", record_path_text(record.path));
    s += element("trelvane:FaxSize", record_size_text(record));
    s += element("trelvane:FaxModified", record_modified_text(record));
    s += "</rdf:Description>\n";
    return s;
}

}  // namespace

DocumentDate document_date(int64_t seconds_since_1970) {
    const auto when = static_cast<std::time_t>(seconds_since_1970);
    std::tm local{};
    constexpr int kLastYear = 9999 - 1900;  // dates have four digits of year
    long offset_seconds = 0;
    if (!platform::local_time(when, local, &offset_seconds) || local.tm_year < -1900 ||
        local.tm_year > kLastYear) {
        // Out of the dates' range (a clock set wildly): the epoch, rather than no date at all.
        platform::utc_time(0, local);
        offset_seconds = 0;
    }
    const long offset_minutes = offset_seconds / 60;
    return {format_date("D:%.4d%.2d%.2d%.2d%.2d%.2d", local, offset_minutes, "%c%.2ld'%.2ld'"),
            format_date("%.4d-%.2d-%.2dT%.2d:%.2d:%.2d", local, offset_minutes, "%c%.2ld:%.2ld")};
}

std::optional<std::u32string> pdfdoc_characters(std::string_view bytes) {
    std::u32string text;
    for (const char byte : bytes) {
        const char32_t c = pdfdoc_character(static_cast<unsigned char>(byte));
        if (c == kNoCharacter)
            return std::nullopt;
        text += c;
    }
    return text;
}

std::u32string pdfdoc_characters_replaced(std::string_view bytes) {
    std::u32string text;
    for (const char byte : bytes) {
        const char32_t c = pdfdoc_character(static_cast<unsigned char>(byte));
        text += c == kNoCharacter ? kReplacement : c;
    }
    return text;
}

std::optional<std::u32string> utf8_characters(std::string_view text) {
    std::u32string out;
    size_t i = 0;
    while (i < text.size()) {
        const size_t length = utf8_sequence(text, i);
        const auto lead = static_cast<unsigned char>(text[i]);
        if (length == 0 || lead < 0x20 || lead == 0x7F)
            return std::nullopt;
        out += platform::decode_utf8_at(text, i).code;
        i += length;
    }
    return out;
}

std::string utf8_text(std::u32string_view text) {
    std::string out;
    for (const char32_t c : text)
        platform::append_utf8(out, c);
    return out;
}

std::string utf16_pdf_string(std::u32string_view text) {
    std::string out = "<FEFF";
    char unit[8];
    for (const char32_t c : text) {
        if (c >= 0x10000) {
            const char32_t v = c - 0x10000;
            std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(0xD800 + (v >> 10)));
            out += unit;
            std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(0xDC00 + (v & 0x3FF)));
        } else {
            std::snprintf(unit, sizeof unit, "%04X", static_cast<unsigned>(c));
        }
        out += unit;
    }
    return out + ">";
}

std::string record_path_text(std::string_view path) {
    std::string out;
    size_t i = 0;
    while (i < path.size()) {
        const auto byte = static_cast<unsigned char>(path[i]);
        const size_t length = utf8_sequence(path, i);
        if (length == 0 || byte < 0x20 || byte == 0x7F || byte == '%') {
            char escaped[4];
            std::snprintf(escaped, sizeof escaped, "%%%02X", unsigned{byte});
            out += escaped;
            ++i;
            continue;
        }
        out.append(path.substr(i, length));
        i += length;
    }
    return out;
}

std::string xmp_packet(const ArchiveMetadata& m) {
    std::string s = "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n";
    s += "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n";
    s += "<rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n";
    s += "<rdf:Description rdf:about=\"\" xmlns:pdfaid=\"http://www.aiim.org/pdfa/ns/id/\">\n";
    s += element("pdfaid:part", std::to_string(archive_part(m.level)));
    s += element("pdfaid:conformance", "B");
    s += "</rdf:Description>\n";
    s += "<rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\">\n";
    s += element("dc:format", "application/pdf");
    if (m.title)
        s += language_alternative("dc:title", *m.title);
    if (m.author) {
        s += "<dc:creator><rdf:Seq><rdf:li>" + xml_text(*m.author) +
             "</rdf:li></rdf:Seq></dc:creator>\n";
    }
    if (m.subject)
        s += language_alternative("dc:description", *m.subject);
    s += "</rdf:Description>\n";
    s += "<rdf:Description rdf:about=\"\" xmlns:xmp=\"http://ns.adobe.com/xap/1.0/\">\n";
    if (m.creator)
        s += element("xmp:CreatorTool", *m.creator);
    s += element("xmp:CreateDate", m.created.xmp);
    s += element("xmp:ModifyDate", m.modified.xmp);
    s += element("xmp:MetadataDate", m.modified.xmp);
    s += "</rdf:Description>\n";
    s += "<rdf:Description rdf:about=\"\" xmlns:pdf=\"http://ns.adobe.com/pdf/1.3/\">\n";
    s += element("pdf:Producer", m.producer);
    if (m.keywords)
        s += element("pdf:Keywords", *m.keywords);
    s += "</rdf:Description>\n";
    if (m.record)
        s += record_description(*m.record);
    s += "</rdf:RDF>\n</x:xmpmeta>\n";
    // Room for an editor to change the packet in place, as XMP writers leave.
    for (int i = 0; i < 20; ++i)
        s += std::string(99, ' ') + "\n";
    s += "<?xpacket end=\"w\"?>";
    return s;
}

}  // namespace trelvane::pdfout
