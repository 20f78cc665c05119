#include "ocr/ocr_languages.h"

#include <tesseract/baseapi.h>

#include <cctype>

namespace trelvane::ocr {
namespace {

bool is_name_char(char c) {
    return std::isalnum(static_cast<unsigned char>(c)) != 0 || c == '_';
}

// Loads one language with Tesseract's messages silenced.
bool loads(const std::string& language, const std::string& data_path) {
    tesseract::TessBaseAPI api;
    const std::vector<std::string> names = {"debug_file"};
    const std::vector<std::string> values = {"/dev/null"};
    const char* data = data_path.empty() ? nullptr : data_path.c_str();
    std::lock_guard<std::mutex> setup(tesseract_setup_mutex());
    const bool ok = api.Init(data, language.c_str(), tesseract::OEM_LSTM_ONLY, nullptr, 0, &names,
                             &values, false) == 0;
    api.End();
    return ok;
}

}  // namespace

std::mutex& tesseract_setup_mutex() {
    static std::mutex mutex;
    return mutex;
}

std::vector<std::string> split_languages(const std::string& languages) {
    std::vector<std::string> names;
    std::string current;
    for (const char c : languages) {
        if (c == '+') {
            if (current.empty())
                return {};
            names.push_back(current);
            current.clear();
        } else if (is_name_char(c)) {
            current += c;
        } else {
            return {};
        }
    }
    if (current.empty())
        return {};
    names.push_back(current);
    return names;
}

std::string debian_package_for(const std::string& language) {
    std::string package = "tesseract-ocr-";
    for (const char c : language)
        package += c == '_' ? '-' : static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return package;
}

LanguageCheck check_languages(const std::string& languages, const std::string& data_path) {
    LanguageCheck check;
    check.languages = split_languages(languages);
    if (check.languages.empty()) {
        check.message = "Invalid OCR language list '" + languages +
                        "': give Tesseract language names joined by '+', such as eng or deu+eng";
        return check;
    }
    for (const std::string& language : check.languages) {
        if (!loads(language, data_path))
            check.missing.push_back(language);
    }
    check.ok = check.missing.empty();
    if (!check.ok) {
        std::string names, packages;
        for (const std::string& language : check.missing) {
            names += (names.empty() ? "" : ", ") + language;
            packages += " " + debian_package_for(language);
        }
        check.message = "The OCR language data for " + names +
                        " is not installed: install it with apt-get install" + packages;
    }
    return check;
}

}  // namespace trelvane::ocr
