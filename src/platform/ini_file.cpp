#include "platform/ini_file.h"

#include <cerrno>
#include <climits>
#include <optional>
#include <vector>

#include "platform/file_system.h"

namespace trelvane::platform {

namespace {

// Settings files are small; a larger one is not a settings file and reads as missing.
constexpr size_t kMaxIniSize = 4 * 1024 * 1024;

bool is_blank(char c) {
    return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\v' || c == '\f';
}

std::string_view trim(std::string_view text) {
    while (!text.empty() && is_blank(text.front()))
        text.remove_prefix(1);
    while (!text.empty() && is_blank(text.back()))
        text.remove_suffix(1);
    return text;
}

char ascii_lower(char c) {
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool equal_ignoring_case(std::string_view a, std::string_view b) {
    if (a.size() != b.size())
        return false;
    for (size_t i = 0; i < a.size(); ++i) {
        if (ascii_lower(a[i]) != ascii_lower(b[i]))
            return false;
    }
    return true;
}

struct Line {
    size_t begin = 0;          // offset of the line in the text
    size_t end = 0;            // offset just past its line break (or the end of the text)
    std::string_view content;  // without the line break
};

std::vector<Line> split_lines(std::string_view text) {
    std::vector<Line> lines;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t nl = text.find('\n', pos);
        size_t end = nl == std::string_view::npos ? text.size() : nl + 1;
        std::string_view content =
            text.substr(pos, (nl == std::string_view::npos ? end : nl) - pos);
        if (!content.empty() && content.back() == '\r')
            content.remove_suffix(1);
        lines.push_back({pos, end, content});
        pos = end;
    }
    return lines;
}

// The section name of a "[name]" line.
std::optional<std::string_view> section_name(std::string_view line) {
    line = trim(line);
    if (line.empty() || line.front() != '[')
        return std::nullopt;
    size_t close = line.find(']');
    if (close == std::string_view::npos)
        close = line.size();
    return trim(line.substr(1, close - 1));
}

struct KeyLine {
    std::string_view key;
    std::string_view value;
};

std::optional<KeyLine> key_line(std::string_view line) {
    size_t eq = line.find('=');
    if (eq == std::string_view::npos)
        return std::nullopt;
    return KeyLine{trim(line.substr(0, eq)), trim(line.substr(eq + 1))};
}

// Where a key stands in the text: the section's line range and the key's line, if present.
struct Lookup {
    bool section_found = false;
    size_t last_content_line = 0;  // last non-blank line of the section (its header at least)
    std::optional<size_t> key_index;
};

Lookup find_key(const std::vector<Line>& lines, std::string_view section, std::string_view key) {
    Lookup lookup;
    bool inside = false;
    for (size_t i = 0; i < lines.size(); ++i) {
        if (auto name = section_name(lines[i].content)) {
            if (lookup.section_found)
                break;  // only the first section of that name counts
            inside = equal_ignoring_case(*name, section);
            if (inside) {
                lookup.section_found = true;
                lookup.last_content_line = i;
            }
            continue;
        }
        if (!inside)
            continue;
        if (!trim(lines[i].content).empty())
            lookup.last_content_line = i;
        auto entry = key_line(lines[i].content);
        if (entry && equal_ignoring_case(entry->key, key)) {
            lookup.key_index = i;
            break;
        }
    }
    return lookup;
}

std::optional<std::string> read_value(const std::string& file, std::string_view section,
                                      std::string_view key) {
    std::optional<std::string> text = read_small_file(file, kMaxIniSize);
    if (!text)
        return std::nullopt;
    std::vector<Line> lines = split_lines(*text);
    Lookup lookup = find_key(lines, section, key);
    if (!lookup.key_index)
        return std::nullopt;
    std::string_view value = key_line(lines[*lookup.key_index].content)->value;
    if (value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
        value.back() == value.front()) {
        value = value.substr(1, value.size() - 2);
    }
    return std::string(value);
}

// The value as the file must hold it to read back unchanged: the reader drops blanks around a
// value and one pair of enclosing quotes, so such a value gets a pair of its own (a window's
// source text "folder" "a b.fxs" would otherwise lose its outer quotes).
std::string stored_value(std::string_view value) {
    const bool enclosed = value.size() >= 2 && (value.front() == '"' || value.front() == '\'') &&
                          value.back() == value.front();
    if (enclosed || (!value.empty() && (is_blank(value.front()) || is_blank(value.back()))))
        return "\"" + std::string(value) + "\"";
    return std::string(value);
}

bool has_line_break(std::string_view text) {
    return text.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

std::string read_profile_string(const std::string& file, std::string_view section,
                                std::string_view key, std::string_view default_value) {
    std::optional<std::string> value = read_value(file, section, key);
    return value ? *value : std::string(default_value);
}

int read_profile_int(const std::string& file, std::string_view section, std::string_view key,
                     int default_value) {
    std::optional<std::string> value = read_value(file, section, key);
    if (!value)
        return default_value;
    long long number = 0;
    for (char c : *value) {
        if (c < '0' || c > '9')
            break;
        number = number * 10 + (c - '0');
        if (number > INT_MAX)
            return INT_MAX;
    }
    return static_cast<int>(number);
}

bool write_profile_string(const std::string& file, std::string_view section, std::string_view key,
                          std::string_view value, int* error) {
    if (has_line_break(section) || has_line_break(key) || has_line_break(value) ||
        trim(key).empty()) {
        if (error != nullptr)
            *error = EINVAL;
        return false;
    }
    std::string text;
    if (file_exists(file)) {
        std::optional<std::string> old = read_small_file(file, kMaxIniSize, error);
        if (!old)
            return false;  // never replace a file we could not read in full
        text = std::move(*old);
    }
    // New lines follow the file's own line ends.
    const std::string eol = text.find("\r\n") != std::string::npos ? "\r\n" : "\n";
    const std::string entry = std::string(key) + "=" + stored_value(value) + eol;

    std::vector<Line> lines = split_lines(text);
    Lookup lookup = find_key(lines, section, key);
    if (lookup.key_index) {
        const Line& line = lines[*lookup.key_index];
        std::string replacement = entry;
        if (line.end == text.size() && (text.empty() || text.back() != '\n')) {
            replacement.resize(replacement.size() - eol.size());  // the last line had no break
        }
        text.replace(line.begin, line.end - line.begin, replacement);
    } else if (lookup.section_found) {
        const Line& line = lines[lookup.last_content_line];
        std::string insertion = entry;
        if (line.end == text.size() && !text.empty() && text.back() != '\n') {
            insertion.insert(0, eol);
        }
        text.insert(line.end, insertion);
    } else {
        if (!text.empty() && text.back() != '\n')
            text += eol;
        text += "[" + std::string(section) + "]" + eol + entry;
    }
    return replace_file_atomically(file, text, error);
}

}  // namespace trelvane::platform
