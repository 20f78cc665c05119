#include "faxread/fax_type.h"

#include <optional>
#include <string_view>

#include "platform/file_system.h"

namespace trelvane::faxread {

// Our choice of signature: neither this family nor code 0 is ever converted.
const char kG3fSignature[17] = "G3F FAX DOCUMENT";

namespace {

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

// The extension's first characters equal the literal, ignoring case; a shorter extension
// never matches.
bool starts_with_literal(std::string_view extension, std::string_view literal) {
    if (extension.size() < literal.size())
        return false;
    for (size_t i = 0; i < literal.size(); ++i) {
        if (ascii_lower(extension[i]) != literal[i])
            return false;
    }
    return true;
}

struct Rule {
    std::string_view literal;
    FaxTypeCode code;
};

// Stands for "ask the file's first bytes" in the table below.
constexpr FaxTypeCode kSniff = -100;

// In the order they are tried; the first match decides.
constexpr Rule kRules[] = {
    {"tif", kFaxTypeTiff},        {"tiff", kFaxTypeTiff},       {"fmf", kFaxTypeFmf},
    {"fxd", kFaxTypeWinFax},      {"fxm", kFaxTypeWinFax},      {"fxr", kFaxTypeWinFax},
    {"fxs", kFaxTypeWinFax},      {"awd", kFaxTypeAwd},         {"apf", kFaxTypeApf},
    {"bfx", kFaxTypeBfx},         {"dcx", kFaxTypeDcx},         {"bmp", kFaxTypeBmp},
    {"cal", kFaxTypeCals},        {"cg4", kFaxTypeCals},        {"gp4", kFaxTypeCals},
    {"img", kFaxTypeCals},        {"mil", kFaxTypeCals},        {"oda", kFaxTypeCals},
    {"ras", kFaxTypeCals},        {"cals", kFaxTypeCals},       {"ig4", kFaxTypeIg4},
    {"qfx", kFaxTypeQfx},         {"g3n", kFaxTypeG3WithText},  {"g3f", kSniff},
    {"ds", kFaxTypeDs},           {"ed", kFaxTypeEd},           {"sft", kFaxTypeSft},
    {"sys", kFaxTypeKnownNonFax}, {"dll", kFaxTypeKnownNonFax}, {"bat", kFaxTypeKnownNonFax},
    {"lnk", kFaxTypeKnownNonFax}, {"txt", kFaxTypeKnownNonFax}, {"zip", kFaxTypeKnownNonFax},
    {"rar", kFaxTypeKnownNonFax}, {"db", kFaxTypeKnownNonFax},
};

}  // namespace

FaxTypeCode classify_fax_file(const std::string& path) {
    // The last dot of the whole path, even one inside a folder name; without any dot, the
    // last two characters stand in for the extension.
    std::string_view whole(path);
    size_t dot = whole.rfind('.');
    std::string_view extension = dot != std::string_view::npos
                                     ? whole.substr(dot + 1)
                                     : whole.substr(whole.size() >= 2 ? whole.size() - 2 : 0);
    for (const Rule& rule : kRules) {
        if (!starts_with_literal(extension, rule.literal))
            continue;
        return rule.code == kSniff ? sniff_g3f_file(path) : rule.code;
    }
    return kFaxTypeUnknown;
}

FaxTypeCode sniff_g3f_file(const std::string& path) {
    std::optional<std::string> start = platform::read_file_start(path, 18);
    if (!start)
        return kFaxTypeUnknown;
    start->resize(18, '\0');  // a short file reads as zero-filled
    const std::string& bytes = *start;
    if (bytes[2] == '*' && bytes[3] == '\0')
        return kFaxTypeG3WithText;
    if (bytes.compare(1, 16, kG3fSignature, 16) == 0)
        return kFaxTypeG3fSigned;
    return kFaxTypeUnknown;
}

}  // namespace trelvane::faxread
