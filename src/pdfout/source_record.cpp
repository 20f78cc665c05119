#include "pdfout/source_record.h"

#include <charconv>
#include <cinttypes>
#include <cstdio>

namespace trelvane::pdfout {

namespace {

// Object 2 as the writer opens and closes it. Its strings never hold a raw carriage return
// (write_pdf_string escapes control bytes), so the first close is the dictionary's.
constexpr std::string_view kInfoOpening = "\r2 0 obj\r<< \r";
constexpr std::string_view kInfoClosing = "\r>> \rendobj";

// The literal string that starts at text[0] == '(' decoded; nothing when it does not close.
std::optional<std::string> literal_string(std::string_view text) {
    if (text.empty() || text.front() != '(')
        return std::nullopt;
    std::string value;
    int depth = 1;
    for (size_t i = 1; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\\') {
            if (++i >= text.size())
                return std::nullopt;
            const char e = text[i];
            if (e >= '0' && e <= '7') {
                unsigned code = 0;
                size_t digits = 0;
                while (digits < 3 && i < text.size() && text[i] >= '0' && text[i] <= '7') {
                    code = code * 8 + static_cast<unsigned>(text[i] - '0');
                    ++i, ++digits;
                }
                --i;
                value += static_cast<char>(code & 0xFF);
                continue;
            }
            switch (e) {
                case 'n':
                    value += '\n';
                    break;
                case 'r':
                    value += '\r';
                    break;
                case 't':
                    value += '\t';
                    break;
                case 'b':
                    value += '\b';
                    break;
                case 'f':
                    value += '\f';
                    break;
                default:
                    value += e;
                    break;  // \( \) \\ and anything else stands for itself
            }
            continue;
        }
        if (c == '(') {
            ++depth;
        } else if (c == ')' && --depth == 0) {
            return value;
        }
        value += c;
    }
    return std::nullopt;
}

// The value of "\r<key> (...)" in the dictionary; nothing when the key is absent or its value
// is no string.
std::optional<std::string> entry(std::string_view dictionary, std::string_view key, bool& seen) {
    const std::string needle = "\r" + std::string(key) + " ";
    const size_t at = dictionary.find(needle);
    if (at == std::string_view::npos)
        return std::nullopt;
    seen = true;
    return literal_string(dictionary.substr(at + needle.size()));
}

template <typename Number>
bool whole_number(std::string_view text, Number& value) {
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return !text.empty() && error == std::errc() && end == text.data() + text.size();
}

}  // namespace

std::string record_size_text(const FaxSourceRecord& record) {
    return std::to_string(record.size);
}

std::string record_modified_text(const FaxSourceRecord& record) {
    char text[48];
    std::snprintf(text, sizeof text, "%" PRId64 ".%09" PRId64, record.modified_seconds,
                  record.modified_nanoseconds);
    return text;
}

RecordLookup find_source_record(std::string_view pdf_start) {
    RecordLookup lookup;
    if (!pdf_start.starts_with("%PDF-"))
        return lookup;
    const size_t opening = pdf_start.find(kInfoOpening);
    if (opening == std::string_view::npos)
        return lookup;
    // From the carriage return before the first key, so every key is found as "\r/Key ".
    const size_t start = opening + kInfoOpening.size() - 1;
    const size_t closing = pdf_start.find(kInfoClosing, start);
    if (closing == std::string_view::npos)
        return lookup;
    const std::string_view dictionary = pdf_start.substr(start, closing + 1 - start);

    const std::optional<std::string> path = entry(dictionary, kRecordPathKey, lookup.has_keys);
    const std::optional<std::string> size = entry(dictionary, kRecordSizeKey, lookup.has_keys);
    const std::optional<std::string> modified =
        entry(dictionary, kRecordModifiedKey, lookup.has_keys);
    if (!path || !size || !modified)
        return lookup;
    FaxSourceRecord record;
    record.path = *path;
    const size_t dot = modified->find('.');
    if (!whole_number(std::string_view(*size), record.size) || dot == std::string::npos ||
        modified->size() - dot - 1 != 9 ||
        !whole_number(std::string_view(*modified).substr(0, dot), record.modified_seconds) ||
        !whole_number(std::string_view(*modified).substr(dot + 1), record.modified_nanoseconds) ||
        record.modified_nanoseconds < 0 || record.modified_nanoseconds > 999'999'999) {
        return lookup;
    }
    lookup.record = std::move(record);
    return lookup;
}

}  // namespace trelvane::pdfout
