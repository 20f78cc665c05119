// Classifying a candidate input file by its extension: which fax family it belongs to.
#pragma once

#include <cstdint>
#include <string>

namespace trelvane::faxread {

using FaxTypeCode = int32_t;

constexpr FaxTypeCode kFaxTypeKnownNonFax = -2;  // system, archive or text files
constexpr FaxTypeCode kFaxTypeUnknown = 0;
constexpr FaxTypeCode kFaxTypeApf = 1;
constexpr FaxTypeCode kFaxTypeAwd = 3;
constexpr FaxTypeCode kFaxTypeBfx = 4;
constexpr FaxTypeCode kFaxTypeBmp = 5;
constexpr FaxTypeCode kFaxTypeCals = 6;
constexpr FaxTypeCode kFaxTypeDcx = 7;
constexpr FaxTypeCode kFaxTypeDs = 8;
constexpr FaxTypeCode kFaxTypeEd = 9;
constexpr FaxTypeCode kFaxTypeFmf = 10;
constexpr FaxTypeCode kFaxTypeWinFax = 11;  // the only family that is converted
constexpr FaxTypeCode kFaxTypeG3fSigned = 12;
constexpr FaxTypeCode kFaxTypeIg4 = 13;
constexpr FaxTypeCode kFaxTypeQfx = 14;
constexpr FaxTypeCode kFaxTypeTiff = 16;
constexpr FaxTypeCode kFaxTypeG3WithText = 17;
constexpr FaxTypeCode kFaxTypeSft = 18;

// The vendor signature that bytes 1 to 16 of a signed .g3f file carry.
extern const char kG3fSignature[17];

// The family of the file, from the extension of its path (the text after the last dot of the
// whole path, or its last two characters when it has no dot). Only a .g3f file is opened.
FaxTypeCode classify_fax_file(const std::string& path);

// 17 when bytes 2 and 3 of the file are '*' and 0, 12 when bytes 1 to 16 carry the vendor
// signature, 0 otherwise (also when the file cannot be read).
FaxTypeCode sniff_g3f_file(const std::string& path);

}  // namespace trelvane::faxread
